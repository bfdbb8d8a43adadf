#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include "support/testenv.h"

namespace tovra::test {

// Answers modal message boxes as they come up: each answer is "box object name:button text".
// What every box said (text, informative text, then its buttons joined by "|") is kept, and the
// first box may be grabbed to PNG before it is answered. A box without the wanted button is
// rejected.
class BoxAnswers : public QObject
{
public:
    QStringList answers;
    QStringList seen;
    QStringList texts;
    QString grabName;
    QString grabbed;

    explicit BoxAnswers(QStringList list, QString grab = {})
        : answers(std::move(list)), grabName(std::move(grab))
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswers::answerOne);
        m_timer.start();
    }

private:
    void answerOne()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        const QString answer = answers.isEmpty() ? QStringLiteral("?:") : answers.takeFirst();
        seen.append(box->objectName());
        QStringList buttons;
        for (auto *b : box->buttons())
            buttons.append(b->text());
        texts.append(box->text() + u'\n' + box->informativeText() + u'\n' + buttons.join(u'|'));
        if (!grabName.isEmpty() && seen.size() == 1)
            grabbed = grabToPng(box, grabName);
        for (auto *b : box->buttons())
            if (b->text() == answer.section(u':', 1)) {
                b->click();
                return;
            }
        box->reject();
    }

    QTimer m_timer;
};

}
