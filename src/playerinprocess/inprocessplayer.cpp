#include "playerinprocess/inprocessplayer.h"

#include "pipeline/localpipeline.h"
#include "pipeline/playerservice.h"
#include "views/player/pipeline.h"

#include <QEventLoop>
#include <QThread>

namespace tovra {

InProcessPlayer::InProcessPlayer()
{
    PlayerService::preloadElements();
    Pipeline::setLauncher([this](int link) {
        QThread *thread = QThread::create([this, link] {
            PlayerService service(link);
            m_current = service.pipeline();
            QEventLoop loop;
            QObject::connect(&service, &PlayerService::closed, &loop, &QEventLoop::quit);
            loop.exec();
            LocalPipeline *served = service.pipeline();
            m_current.compare_exchange_strong(served, nullptr);
        });
        m_threads.append(thread);
        thread->start();
        return true;
    });
}

InProcessPlayer::~InProcessPlayer()
{
    Pipeline::setLauncher({});
    for (QThread *thread : std::as_const(m_threads)) {
        thread->wait(10000);
        delete thread;
    }
}

GstElement *InProcessPlayer::element() const
{
    LocalPipeline *pipeline = m_current;
    return pipeline ? pipeline->element() : nullptr;
}

}
