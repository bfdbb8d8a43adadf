#include "views/preferencesview.h"

#include "models/bytecount.h"
#include "network/apiclient.h"
#include "store/appsettings.h"
#include "network/diskcache.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/palette.h"
#include "views/toolbar/plaintooltip.h"

#include <QAbstractNetworkCache>
#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovra {

namespace {

// A one-line path shortened in the middle, where the least telling part of a path is.
class PathLine : public QWidget
{
public:
    explicit PathLine(QWidget *parent) : QWidget(parent)
    {
        setFont(uiFont(12));
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setMinimumWidth(60);
    }

    void set(const QString &text, const QColor &color)
    {
        m_text = text;
        m_color = color;
        update();
    }
    QString text() const { return m_text; }
    QSize sizeHint() const override { return {fontMetrics().horizontalAdvance(m_text) + 2, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(m_color);
        QString flat = m_text;
        flat.replace(u'\n', u' ');
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(flat, Qt::ElideMiddle, width()));
    }

private:
    QString m_text;
    QColor m_color;
};

QLabel *rowLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(uiFont(11));
    return label;
}

void setInk(QWidget *widget, const QColor &color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    widget->setPalette(p);
}

// The platform's green, as the result line of a clearing is written in.
QColor systemGreen(bool dark)
{
    return dark ? QColor(0x30, 0xD1, 0x58) : QColor(0x28, 0xA7, 0x45);
}

}

PreferencesView::PreferencesView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("preferencesView"));
    setFixedWidth(kWidth);
    m_directory = AppSettings::shared().torrentDirectory();
    m_askEverySave = AppSettings::shared().askEverySave();
    m_chooser = [](QWidget *parent, const QString &start) -> std::optional<QString> {
        const QString chosen = QFileDialog::getExistingDirectory(parent, QStringLiteral("选择种子文件的保存位置"), start,
                                                                 QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen;
    };
    m_clearedTimer.setSingleShot(true);
    m_clearedTimer.setInterval(kClearedShownFor);
    connect(&m_clearedTimer, &QTimer::timeout, this, [this] {
        m_cleared.reset();
        render();
    });

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    // ---- 下载
    auto *download = new QGroupBox(QStringLiteral("下载"), this);
    auto *downloadForm = new QFormLayout(download);
    downloadForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    downloadForm->setVerticalSpacing(10);
    auto *folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    m_path = new PathLine(download);
    m_path->setObjectName(QStringLiteral("torrentDirectoryPath"));
    m_choose = new QPushButton(QStringLiteral("选择…"), download);
    m_choose->setObjectName(QStringLiteral("chooseDirectoryButton"));
    m_reset = new QPushButton(QStringLiteral("恢复默认"), download);
    m_reset->setObjectName(QStringLiteral("resetDirectoryButton"));
    for (QPushButton *button : {m_choose, m_reset}) {
        button->setAutoDefault(false);
        setPointingHand(button);
    }
    folderRow->addWidget(m_path, 1, Qt::AlignVCenter);
    folderRow->addWidget(m_choose, 0, Qt::AlignVCenter);
    folderRow->addWidget(m_reset, 0, Qt::AlignVCenter);
    downloadForm->addRow(rowLabel(QStringLiteral("种子保存位置"), download), folderRow);

    m_ask = new QCheckBox(QStringLiteral("每次下载都询问保存位置"), download);
    m_ask->setObjectName(QStringLiteral("askEverySaveSwitch"));
    downloadForm->addRow(rowLabel(QString(), download), m_ask);
    m_downloadNote = captionLabel(QString(), download);
    m_downloadNote->setObjectName(QStringLiteral("downloadNote"));
    downloadForm->addRow(m_downloadNote);
    column->addWidget(download);

    // ---- 缓存
    auto *cache = new QGroupBox(QStringLiteral("缓存"), this);
    auto *cacheForm = new QFormLayout(cache);
    cacheForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    cacheForm->setVerticalSpacing(10);
    auto *sizeRow = new QHBoxLayout;
    m_size = new QLabel(cache);
    m_size->setObjectName(QStringLiteral("cacheSizeLabel"));
    m_size->setTextFormat(Qt::PlainText);
    m_size->setFont(uiFont(12));
    m_clear = new QPushButton(QStringLiteral("清除缓存"), cache);
    m_clear->setObjectName(QStringLiteral("clearCacheButton"));
    m_clear->setAutoDefault(false);
    setPointingHand(m_clear);
    sizeRow->addWidget(m_size, 0, Qt::AlignVCenter);
    sizeRow->addStretch(1);
    sizeRow->addWidget(m_clear, 0, Qt::AlignVCenter);
    cacheForm->addRow(rowLabel(QStringLiteral("已占用"), cache), sizeRow);
    m_clearedLabel = captionLabel(QString(), cache);
    m_clearedLabel->setObjectName(QStringLiteral("clearedLabel"));
    cacheForm->addRow(m_clearedLabel);
    m_cacheNote = captionLabel(QStringLiteral("包含接口数据与海报图。清除后首次打开会重新联网加载，不影响登录状态。"), cache);
    cacheForm->addRow(m_cacheNote);
    column->addWidget(cache);
    column->addStretch(1);

    connect(m_choose, &QPushButton::clicked, this, &PreferencesView::pickDirectory);
    connect(m_reset, &QPushButton::clicked, this, &PreferencesView::resetDirectory);
    // clicked, not toggled: only the user's own flips are written here; the folder buttons store
    // their own value.
    connect(m_ask, &QCheckBox::clicked, this, [this](bool checked) {
        m_askEverySave = checked;
        AppSettings::shared().setAskEverySave(checked);
        render();
    });
    connect(m_clear, &QPushButton::clicked, this, &PreferencesView::clear);

    render();
    followAppearance(this, [this](bool) { render(); });
}

QString PreferencesView::shownPath() const
{
    return static_cast<PathLine *>(m_path)->text();
}

void PreferencesView::pickDirectory()
{
    if (!m_chooser)
        return;
    const auto chosen = m_chooser(this, AppSettings::shared().defaultTorrentDirectory());
    if (!chosen || chosen->isEmpty())
        return;
    m_directory = *chosen;
    AppSettings::shared().setTorrentDirectory(*chosen);
    m_askEverySave = false;
    AppSettings::shared().setAskEverySave(false);
    render();
}

void PreferencesView::resetDirectory()
{
    m_directory.reset();
    AppSettings::shared().setTorrentDirectory(std::nullopt);
    m_askEverySave = true;
    AppSettings::shared().setAskEverySave(true);
    render();
}

void PreferencesView::refreshSize()
{
    qint64 total = 0;
    if (APIClient *client = APIClient::shared()) {
        if (DiskCache *responses = client->cache())
            total += responses->diskSize();
        if (QNetworkAccessManager *manager = client->manager()) {
            if (QAbstractNetworkCache *http = manager->cache())
                total += http->cacheSize();
        }
    }
    m_cacheSize = total;
    render();
    emit sizeRefreshed();
}

void PreferencesView::clear()
{
    if (m_clearing)
        return;
    m_clearing = true;
    render();
    QTimer::singleShot(0, this, [this] {
        const qint64 freed = APIClient::shared()->clearCaches();
        m_cleared = QStringLiteral("已清除 ") + formatByteCount(freed);
        refreshSize();
        m_clearing = false;
        render();
        m_clearedTimer.start();
        emit clearFinished();
    });
}

void PreferencesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        refreshSize();
}

void PreferencesView::render()
{
    const bool dark = Palette::isDark();
    const bool chosen = m_directory.has_value();
    auto *path = static_cast<PathLine *>(m_path);
    path->set(chosen ? *m_directory : AppSettings::shared().defaultTorrentDirectory(),
              chosen ? Palette::text(dark) : Palette::textFaint(dark));
    setPlainToolTip(path, chosen ? *m_directory : QString());
    m_reset->setVisible(chosen);
    m_ask->setEnabled(chosen);
    m_ask->setChecked(m_askEverySave);
    m_downloadNote->setText(chosen ? QStringLiteral("关掉之后点「种子下载」会直接存到上面这个目录，并在文件管理器里选中它。")
                                   : QStringLiteral("没有设置默认位置时，每次都会弹出保存面板。"));
    setInk(m_downloadNote, Palette::textDim(dark));
    setInk(m_cacheNote, Palette::textDim(dark));

    m_size->setText(formatByteCount(m_cacheSize));
    m_clear->setText(m_clearing ? QStringLiteral("清除中…") : QStringLiteral("清除缓存"));
    m_clear->setEnabled(!m_clearing);
    m_clearedLabel->setVisible(m_cleared.has_value());
    m_clearedLabel->setText(m_cleared.value_or(QString()));
    setInk(m_clearedLabel, systemGreen(dark));
}

}
