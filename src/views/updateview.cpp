#include "views/updateview.h"

#include "store/installlocation.h"
#include "store/themestore.h"
#include "store/updateservice.h"
#include "views/components/busyindicator.h"
#include "views/components/filereveal.h"
#include "views/components/symbolview.h"
#include "views/logo.h"
#include "views/palette.h"

#include <QDesktopServices>
#include <functional>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

using Kind = UpdateService::Phase::Kind;

QLabel *plainLabel(const QString &text, QWidget *parent = nullptr)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    widget->setPalette(p);
}

QFont scaled(QFont font, qreal factor, bool bold = false)
{
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    setTextColor(line, Palette::border());
    return line;
}

// An icon and a text on one row, like a labelled status line.
QWidget *iconLabel(const QString &symbol, const QColor &color, const QString &text, const QFont &font,
                   bool stretch = true)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *icon = new SymbolView(symbol, QFontMetrics(font).height(), Palette::Name::TextDim, row);
    icon->setFixedColor(color);
    layout->addWidget(icon);
    auto *label = plainLabel(text, row);
    label->setFont(font);
    layout->addWidget(label);
    if (stretch)
        layout->addStretch();
    return row;
}

QWidget *busyRow(const QString &text, bool fullWidth)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new BusyIndicator(16, row));
    layout->addWidget(plainLabel(text, row));
    if (fullWidth)
        layout->addStretch();
    return row;
}

QColor systemGreen() { return Palette::isDark() ? QColor(0x30d158) : QColor(0x28a745); }
QColor systemRed() { return Palette::isDark() ? QColor(0xff453a) : QColor(0xd93025); }

}

UpdateView::UpdateView(UpdateService *service, QWidget *parent)
    : QWidget(parent)
    , m_service(service)
{
    setObjectName(u"updateView"_s);
    setFixedWidth(460);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(20, 20, 20, 20);
    m_layout->setSpacing(16);

    auto *header = new QWidget(this);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(10);
    auto *logo = new TovraLogo(QColor(53, 208, 127), header);
    logo->setFixedSize(30, 27);
    headerLayout->addWidget(logo);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto *name = plainLabel(u"Tovra 客户端"_s, header);
    name->setFont(scaled(font(), 1.1, true));
    titles->addWidget(name);
    m_versionLabel = dimLabel(u"当前版本 %1（%2）"_s.arg(UpdateService::currentVersion(),
                                                          QString::number(UpdateService::currentBuild())),
                              true);
    m_versionLabel->setObjectName(u"currentVersion"_s);
    titles->addWidget(m_versionLabel);
    headerLayout->addLayout(titles);
    headerLayout->addStretch();
    m_layout->addWidget(header);
    m_layout->addWidget(divider());
    m_layout->addWidget(divider());

    if (m_service) {
        connect(m_service, &UpdateService::phaseChanged, this, &UpdateView::rebuild);
        connect(m_service, &UpdateService::forcedChanged, this, [this] {
            m_shownKind = -1;
            rebuild();
        });
    }
    setTextColor(this, Palette::text());
    connect(ThemeStore::shared(), &ThemeStore::appearanceChanged, this, [this] {
        setTextColor(this, Palette::text());
        setTextColor(m_versionLabel, Palette::textDim());
        m_shownKind = -1;
        rebuild();
    });
    rebuild();
}

QString UpdateView::percentText(double progress)
{
    return QString::number(qlonglong(progress * 100)) + u'%';
}

QLabel *UpdateView::dimLabel(const QString &text, bool small)
{
    auto *label = plainLabel(text);
    if (small)
        label->setFont(scaled(font(), 0.85));
    setTextColor(label, Palette::textDim());
    return label;
}

void UpdateView::rebuild()
{
    if (!m_service)
        return;
    const auto &phase = m_service->phase();
    // Progress reports come often; they only move the bar.
    if (phase.kind == Kind::Downloading && m_shownKind == int(Kind::Downloading) && m_progress) {
        m_progress->setValue(int(phase.progress * 1000));
        m_percent->setText(percentText(phase.progress));
        return;
    }
    m_shownKind = int(phase.kind);
    rebuildBody();
    rebuildActions();
}

void UpdateView::rebuildBody()
{
    QWidget *body = bodyForPhase();
    body->setObjectName(u"phaseBody"_s);
    if (m_body) {
        // The layout hands back the item that held the old widget; it is ours to free.
        delete m_layout->replaceWidget(m_body, body);
        delete m_body;
    } else {
        m_layout->insertWidget(2, body);
    }
    m_body = body;
}

QWidget *UpdateView::bodyForPhase()
{
    const auto &phase = m_service->phase();
    m_progress = nullptr;
    m_percent = nullptr;
    const QFont callout = scaled(font(), 0.95);
    switch (phase.kind) {
    case Kind::Idle:
    case Kind::Checking:
        return busyRow(u"正在检查更新…"_s, true);
    case Kind::Verifying: {
        auto *box = new QWidget;
        auto *layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(busyRow(u"正在校验安装包…"_s, false));
        layout->addStretch();
        return box;
    }
    case Kind::Available: {
        const UpdateInfo &info = phase.info;
        auto *box = new QWidget;
        auto *layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);

        auto *titleRow = new QHBoxLayout;
        auto *title = plainLabel(u"发现新版本 "_s + info.version);
        title->setObjectName(u"offerTitle"_s);
        title->setFont(scaled(font(), 1.3, true));
        titleRow->addWidget(title);
        if (m_service->forced()) {
            auto *badge = plainLabel(u"必须升级"_s);
            badge->setObjectName(u"forcedBadge"_s);
            badge->setFont(scaled(font(), 0.8, true));
            badge->setStyleSheet(u"QLabel { color: white; background: %1; border-radius: 8px; padding: 2px 6px; }"_s
                                     .arg(systemRed().name()));
            titleRow->addWidget(badge);
        }
        titleRow->addStretch();
        layout->addLayout(titleRow);

        auto *facts = new QHBoxLayout;
        facts->setSpacing(10);
        const QFont caption = scaled(font(), 0.85);
        if (info.published)
            facts->addWidget(iconLabel(u"calendar"_s, Palette::textDim(), *info.published, caption, false));
        if (info.size >= 1)
            facts->addWidget(iconLabel(u"shippingbox"_s, Palette::textDim(),
                                       QLocale().formattedDataSize(info.size, 1, QLocale::DataSizeSIFormat), caption,
                                       false));
        facts->addStretch();
        layout->addLayout(facts);
        for (int i = 0; i < facts->count(); ++i)
            if (QWidget *w = facts->itemAt(i)->widget())
                for (auto *label : w->findChildren<QLabel *>())
                    setTextColor(label, Palette::textDim());

        auto *notes = plainLabel(info.notes);
        notes->setObjectName(u"notes"_s);
        notes->setFont(callout);
        notes->setWordWrap(true);
        notes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        notes->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        auto *scroll = new QScrollArea;
        scroll->setObjectName(u"notesArea"_s);
        scroll->setWidget(notes);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setMaximumHeight(150);
        scroll->viewport()->setAutoFillBackground(false);
        notes->setAutoFillBackground(false);
        layout->addWidget(scroll);
        return box;
    }
    case Kind::Downloading: {
        auto *box = new QWidget;
        auto *layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        layout->addWidget(plainLabel(u"正在下载…"_s));
        m_progress = new QProgressBar;
        m_progress->setRange(0, 1000);
        m_progress->setTextVisible(false);
        m_progress->setValue(int(phase.progress * 1000));
        layout->addWidget(m_progress);
        m_percent = dimLabel(percentText(phase.progress), true);
        m_percent->setObjectName(u"percent"_s);
        layout->addWidget(m_percent);
        return box;
    }
    case Kind::ReadyToInstall:
    case Kind::ManualInstall: {
        const bool ready = phase.kind == Kind::ReadyToInstall;
        auto *box = new QWidget;
        auto *layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        layout->addWidget(ready ? iconLabel(u"checkmark.circle.fill"_s, systemGreen(), u"下载完成"_s, font())
                                : iconLabel(u"exclamationmark.triangle.fill"_s, Palette::warn(), u"需要手动安装"_s,
                                            font()));
        auto *hint = dimLabel(ready ? u"点击「安装并重启」后，应用会自动替换为新版本并重新打开。"_s
                                    : phase.message + u"点击下方按钮在文件管理器中找到新版本，"
                                                      "拖进「应用程序」即可。\n「应用程序」文件夹："_s
                                          + InstallLocation::applicationsFolder(),
                              false);
        hint->setObjectName(u"installHint"_s);
        hint->setFont(callout);
        hint->setWordWrap(true);
        layout->addWidget(hint);
        return box;
    }
    case Kind::Failed: {
        auto *box = new QWidget;
        auto *layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        layout->addWidget(iconLabel(u"xmark.circle.fill"_s, systemRed(), u"出错了"_s, font()));
        auto *message = dimLabel(phase.message, false);
        message->setObjectName(u"failure"_s);
        message->setFont(callout);
        message->setWordWrap(true);
        layout->addWidget(message);
        return box;
    }
    case Kind::UpToDate:
        return iconLabel(u"checkmark.circle.fill"_s, systemGreen(), u"已经是最新版本"_s, font());
    }
    return new QWidget;
}

void UpdateView::rebuildActions()
{
    auto *actions = new QWidget;
    actions->setObjectName(u"actions"_s);
    auto *row = new QHBoxLayout(actions);
    row->setContentsMargins(0, 0, 0, 0);
    QPointer<UpdateService> service = m_service;
    if (!m_service->forced()) {
        auto *later = new QPushButton(u"以后再说"_s, actions);
        later->setObjectName(u"laterButton"_s);
        later->setAutoDefault(false);
        connect(later, &QPushButton::clicked, this, [this, service] {
            if (service)
                service->cancel();
            emit dismissRequested();
        });
        row->addWidget(later);
    }
    row->addStretch();

    const auto &phase = m_service->phase();
    QString text;
    std::function<void()> action;
    bool isDefault = true;
    switch (phase.kind) {
    case Kind::Available: {
        const UpdateInfo info = phase.info;
        text = u"立即更新"_s;
        action = [service, info] {
            if (service)
                service->download(info);
        };
        break;
    }
    case Kind::Downloading:
        text = u"取消下载"_s;
        isDefault = false;
        action = [service] {
            if (service)
                service->cancel();
        };
        break;
    case Kind::ReadyToInstall: {
        const QString unit = phase.file;
        text = u"安装并重启"_s;
        action = [service, unit] {
            if (service)
                service->install(unit);
        };
        break;
    }
    case Kind::ManualInstall:
        text = u"在文件管理器中显示"_s;
        action = [this] { reveal(); };
        break;
    case Kind::Failed:
    case Kind::UpToDate:
        text = u"完成"_s;
        action = [this, service] {
            if (service)
                service->cancel();
            emit dismissRequested();
        };
        break;
    default:
        break;
    }
    if (!text.isEmpty()) {
        auto *button = new QPushButton(text, actions);
        button->setObjectName(u"phaseButton"_s);
        button->setDefault(isDefault);
        button->setAutoDefault(isDefault);
        connect(button, &QPushButton::clicked, this, action);
        row->addWidget(button);
    }

    if (m_actions) {
        delete m_layout->replaceWidget(m_actions, actions);
        delete m_actions;
    } else {
        m_layout->addWidget(actions);
    }
    m_actions = actions;
}

void UpdateView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (window() != this)
        window()->installEventFilter(this);
}

bool UpdateView::eventFilter(QObject *watched, QEvent *event)
{
    // A mandatory update cannot be waved away with Escape or the window's close button; our own
    // buttons (and the service closing the panel) still close it.
    if (watched == window() && m_service && m_service->forced()) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            return true;
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpdateView::reveal()
{
    if (!m_service)
        return;
    const QString unit = m_service->phase().file;
    revealFile(unit, QDBusConnection::sessionBus(), [](const QUrl &folder) { QDesktopServices::openUrl(folder); });
    emit revealRequested(unit);
}

}
