#include "views/usercenter/groupview.h"

#include "models/usercenterpages.h"
#include "models/webaddress.h"
#include "network/imageloader.h"
#include "views/components/busyindicator.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/usercenter/filledbox.h"

#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kCodeSide = 260;
constexpr int kCodePadding = 12;
constexpr int kBoxSide = kCodeSide + 2 * kCodePadding;
}

GroupView::GroupView(QWidget *parent) : GroupView(defaultAddress(), parent) {}

GroupView::GroupView(const QUrl &address, QWidget *parent) : QWidget(parent), m_address(address)
{
    auto *page = new QVBoxLayout(this);
    page->setSpacing(14);
    page->addStretch(1);
    page->addWidget(tintedLabel(QStringLiteral("官方信息交流群"), TextStyle::kTitle3, Palette::Name::Text, this, QFont::Bold),
                    0, Qt::AlignHCenter);
    page->addWidget(tintedLabel(QStringLiteral("扫码加入，获取最新公告和站点动态"), TextStyle::kCallout,
                                Palette::Name::TextDim, this),
                    0, Qt::AlignHCenter);

    // All three forms share one box, so nothing moves when the code arrives or the fetch fails.
    m_forms = new QStackedWidget(this);
    m_forms->setFixedSize(kBoxSide, kBoxSide);

    // The code keeps its white ground in the dark appearance too, or phones could not read it.
    auto *codeBox = new FilledBox(Palette::Name::Surface, 12, m_forms);
    codeBox->setFixedFill(Qt::white);
    codeBox->setBorder(Palette::Name::Border);
    auto *codeLayout = new QVBoxLayout(codeBox);
    codeLayout->setContentsMargins(kCodePadding, kCodePadding, kCodePadding, kCodePadding);
    m_code = new QLabel(codeBox);
    m_code->setAlignment(Qt::AlignCenter);
    m_code->setFixedSize(kCodeSide, kCodeSide);
    codeLayout->addWidget(m_code);
    m_forms->addWidget(codeBox);

    auto *failedBox = new FilledBox(Palette::Name::Surface2, 12, m_forms);
    auto *failedLayout = new QVBoxLayout(failedBox);
    failedLayout->setSpacing(8);
    failedLayout->addStretch(1);
    failedLayout->addWidget(new SymbolView(QStringLiteral("qrcode"), 30, Palette::Name::TextFaint, failedBox), 0,
                            Qt::AlignHCenter);
    failedLayout->addWidget(tintedLabel(QStringLiteral("二维码加载失败"), TextStyle::kCallout, Palette::Name::TextDim, failedBox),
                            0, Qt::AlignHCenter);
    m_retry = new QPushButton(QStringLiteral("重试"), failedBox);
    setPointingHand(m_retry);
    connect(m_retry, &QPushButton::clicked, this, &GroupView::load);
    failedLayout->addWidget(m_retry, 0, Qt::AlignHCenter);
    failedLayout->addStretch(1);
    m_forms->addWidget(failedBox);

    auto *progressBox = new QWidget(m_forms);
    auto *progressLayout = new QVBoxLayout(progressBox);
    progressLayout->addWidget(new BusyIndicator(28, progressBox), 0, Qt::AlignCenter);
    m_forms->addWidget(progressBox);

    page->addWidget(m_forms, 0, Qt::AlignHCenter);
    page->addStretch(1);
    render();
}

GroupView::~GroupView() = default;

QUrl GroupView::defaultAddress()
{
    return usercenterpages::groupQrAddress();
}

int GroupView::shownForm() const
{
    return m_forms->currentIndex();
}

void GroupView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_started)
        load();
}

void GroupView::load()
{
    m_started = true;
    m_failed = false;
    const quint64 generation = ++m_generation;
    render();
    ImageLoader *loader = ImageLoader::shared();
    if (!loader || !m_address.isValid() || m_address.host().isEmpty() || !isWebAddress(m_address)) {
        m_failed = true;
        render();
        return;
    }
    // The loader drops the callback once this page is gone.
    loader->loadIgnoringStatus(m_address, this, [this, generation](const QImage &image) {
        if (generation != m_generation)
            return;
        if (image.isNull())
            m_failed = true;
        else
            m_image = image;
        render();
    });
}

void GroupView::render()
{
    if (!m_image.isNull()) {
        const qreal dpr = devicePixelRatioF();
        QPixmap pixmap = QPixmap::fromImage(
            m_image.scaled(QSize(kCodeSide, kCodeSide) * dpr, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(dpr);
        m_code->setPixmap(pixmap);
        m_forms->setCurrentIndex(0);
    } else if (m_failed) {
        m_forms->setCurrentIndex(1);
    } else {
        m_forms->setCurrentIndex(2);
    }
}

}
