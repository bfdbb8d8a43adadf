#include "views/components/stateoverlay.h"

#include "views/components/appearance.h"
#include "views/components/busyindicator.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QLabel>
#include <QPushButton>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovra {

namespace {
void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    widget->setPalette(p);
}
}

StateOverlay::StateOverlay(Kind kind, QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);

    // Loading: spinner over its caption.
    m_loadingBox = new QWidget(this);
    auto *loading = new QVBoxLayout(m_loadingBox);
    loading->setContentsMargins(0, 0, 0, 0);
    loading->setSpacing(10);
    m_spinner = new BusyIndicator(28, m_loadingBox);
    loading->addWidget(m_spinner, 0, Qt::AlignHCenter);
    m_loadingLabel = new QLabel(QStringLiteral("加载中…"), m_loadingBox);
    m_loadingLabel->setTextFormat(Qt::PlainText);
    m_loadingLabel->setFont(uiFont(TextStyle::kBody));
    loading->addWidget(m_loadingLabel, 0, Qt::AlignHCenter);
    outer->addWidget(m_loadingBox, 0, Qt::AlignCenter);

    // Empty and failed: symbol, title, message and (failed only) the retry button. The column
    // is centred by stretches rather than an alignment flag: a word-wrapped label only gets
    // the height its lines need from a layout that hands it a width.
    m_unavailableBox = new QWidget(this);
    m_unavailableBox->setMaximumWidth(480);
    m_unavailableBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *box = new QVBoxLayout(m_unavailableBox);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(8);
    m_symbol = new SymbolView(QStringLiteral("tray"), 44, Palette::Name::TextDim, m_unavailableBox);
    box->addWidget(m_symbol, 0, Qt::AlignHCenter);
    box->addSpacing(4);
    m_title = new QLabel(m_unavailableBox);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(uiFont(TextStyle::kTitle2, QFont::Bold));
    m_title->setAlignment(Qt::AlignHCenter);
    box->addWidget(m_title);
    m_message = new QLabel(m_unavailableBox);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setFont(uiFont(TextStyle::kBody));
    m_message->setAlignment(Qt::AlignHCenter);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->addWidget(m_message);
    m_retry = new QPushButton(QStringLiteral("重试"), m_unavailableBox);
    m_retry->setFont(uiFont(TextStyle::kBody));
    m_retry->setAutoDefault(false);
    setPointingHand(m_retry);
    box->addSpacing(6);
    box->addWidget(m_retry, 0, Qt::AlignHCenter);
    auto *centred = new QHBoxLayout;
    centred->addStretch(0);
    centred->addWidget(m_unavailableBox, 1);
    centred->addStretch(0);
    outer->addLayout(centred);

    outer->addStretch(1);

    connect(m_retry, &QPushButton::clicked, this, [this] {
        // Copy first: the action may well set a new kind on this overlay.
        const auto retry = m_kind.retry;
        if (retry)
            retry();
        emit retryRequested();
    });

    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });
    setKind(std::move(kind));
}

void StateOverlay::applyColors()
{
    setTextColor(m_loadingLabel, Palette::textDim());
    setTextColor(m_title, Palette::text());
    setTextColor(m_message, Palette::textDim());
}

void StateOverlay::setKind(Kind kind)
{
    m_kind = std::move(kind);
    const bool loading = m_kind.kase == Kind::Case::Loading;
    m_loadingBox->setVisible(loading);
    m_unavailableBox->setVisible(!loading);
    if (loading) {
        setAccessibleName(titleText());
        return;
    }
    const bool failed = m_kind.kase == Kind::Case::Error;
    m_symbol->setName(failed ? QStringLiteral("exclamationmark.triangle") : QStringLiteral("tray"));
    m_title->setText(failed ? QStringLiteral("加载失败") : QStringLiteral("没有内容"));
    m_message->setText(m_kind.message);
    m_message->setVisible(!m_kind.message.isEmpty());
    m_retry->setVisible(failed);
    // The overlay stands for the whole screen: a screen reader names it by what it says.
    setAccessibleName(m_kind.message.isEmpty() ? titleText() : titleText() + QStringLiteral("，") + m_kind.message);
}

QString StateOverlay::titleText() const
{
    return m_kind.kase == Kind::Case::Loading ? m_loadingLabel->text() : m_title->text();
}

QString StateOverlay::messageText() const
{
    return m_kind.kase == Kind::Case::Loading ? QString() : m_message->text();
}

}
