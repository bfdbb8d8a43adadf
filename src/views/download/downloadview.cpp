#include "views/download/downloadview.h"

#include "network/apiclient.h"
#include "store/appsettings.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/filereveal.h"
#include "views/components/pointinghand.h"
#include "views/components/sectionheader.h"
#include "views/components/stackstates.h"
#include "views/components/stateoverlay.h"
#include "views/components/systemopen.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/download/surfacebox.h"
#include "views/download/torrenttree.h"

#include <QClipboard>
#include <QCoroNetworkReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace tovra {

using namespace downloads;

namespace {
constexpr int kPadding = 24;
constexpr int kSectionSpacing = 22;
constexpr qreal kCaptionPixels = 11;
constexpr int kTransferTimeoutMs = 20000;

QWidget *section(const QString &title, const QString &symbol, int gap, QWidget *parent, QVBoxLayout *&column)
{
    auto *box = new QWidget(parent);
    column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(gap);
    column->addWidget(new SectionHeader(title, symbol, box), 0, Qt::AlignLeft);
    return box;
}

// The bytes of one plain download; a struct, since GCC 12 trips over expected<QByteArray>.
struct Body
{
    QByteArray bytes;
};

// A plain GET: none of the site client's headers or token go to the torrent's host.
QCoro::Task<Result<Body>> fetch(QPointer<QNetworkAccessManager> manager, QUrl url)
{
    if (!manager)
        co_return std::unexpected(APIError::transport(APIClient::networkMessage(QNetworkReply::UnknownNetworkError)));
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = manager->get(request);
    auto tooBig = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooBig](qint64 received, qint64 total) {
        if (received > kMaxTorrentBytes || total > kMaxTorrentBytes) {
            *tooBig = true;
            reply->abort();
        }
    });
    co_await reply;
    reply->deleteLater();
    if (*tooBig)
        co_return std::unexpected(APIError::emptyData());
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        co_return std::unexpected(APIError::server(status.toInt(), QStringLiteral("种子文件下载失败")));
    // Nothing but the transfer timeout cancels this reply once the size check has passed.
    if (reply->error() == QNetworkReply::OperationCanceledError)
        co_return std::unexpected(APIError::transport(APIClient::networkMessage(QNetworkReply::TimeoutError)));
    if (reply->error() != QNetworkReply::NoError)
        co_return std::unexpected(APIError::transport(APIClient::networkMessage(reply->error())));
    co_return Body{reply->readAll()};
}

// Where the file went; cancelled (no error) when the user closed the dialog. A struct: GCC 12
// miscompiles co_return of expected<optional<QString>>.
struct Saved
{
    bool cancelled = false;
    QString path;
};

// Downloads, checks and saves the file. Touches no page state, so a save the user started
// finishes even if the page is closed; a file that comes after a change of account was the last
// account's and is dropped like a cancel.
QCoro::Task<Result<Saved>> saveTorrent(QString address, QString baseName, DownloadView::Desktop desktop,
                                       QPointer<QWidget> parent, AccountTicket asked)
{
    const auto link = acceptedLink(DownAction::Bt, address);
    if (!link)
        co_return std::unexpected(APIError::emptyData());
    auto body = co_await fetch(APIClient::shared()->manager(), QUrl(*link, QUrl::StrictMode));
    if (!asked.isCurrent())
        co_return Result<Saved>(Saved{true, QString()});
    if (!body)
        co_return std::unexpected(body.error());
    if (!looksLikeTorrent(body->bytes))
        co_return std::unexpected(APIError::emptyData());

    const QString name = torrentFileName(baseName);
    AppSettings &settings = AppSettings::shared();
    const auto folder = settings.torrentDirectory();
    Result<QString> saved = std::unexpected(APIError::emptyData());
    if (!settings.askEverySave() && folder) {
        saved = saveNew(*folder, name, body->bytes);
    } else {
        QString start = settings.defaultTorrentDirectory();
        if (!QFileInfo(start).isDir())
            start = AppSettings::downloadsOrHome();
        const auto chosen = desktop.askSavePath(parent, QDir(start).filePath(name));
        if (!chosen || chosen->isEmpty())
            co_return Result<Saved>(Saved{true, QString()});
        // The dialog confirmed replacing what the user typed, not the name with the extension
        // added, so that one is saved beside anything already there.
        const QString path = withTorrentExtension(*chosen);
        saved = path == *chosen ? saveAt(path, body->bytes)
                                : saveNew(QFileInfo(path).path(), QFileInfo(path).fileName(), body->bytes);
    }
    if (!saved)
        co_return std::unexpected(saved.error());
    desktop.reveal(*saved);
    co_return Result<Saved>(Saved{false, *saved});
}
}

DownloadView::Desktop DownloadView::Desktop::system()
{
    Desktop desktop;
    desktop.askSavePath = [](QWidget *parent, const QString &suggested) -> std::optional<QString> {
        // The dialog itself asks before replacing an existing file.
        const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("保存种子文件"), suggested,
                                                          QStringLiteral("种子文件 (*.torrent)"));
        return path.isEmpty() ? std::nullopt : std::optional(path);
    };
    desktop.openLink = openWithSystem;
    desktop.reveal = [](const QString &path) {
        revealFile(path, QDBusConnection::sessionBus(), [](const QUrl &folder) { QDesktopServices::openUrl(folder); });
    };
    return desktop;
}

DownloadView::DownloadView(const QString &did, const Torrent &torrent, QWidget *parent)
    : QWidget(parent), m_did(did), m_torrent(torrent), m_desktop(Desktop::system())
{
    m_stack = new QStackedLayout(this);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);
    m_stack->addWidget(m_overlay);
    m_content = new QScrollArea(this);
    Access::passThrough(m_content);
    m_content->setFrameShape(QFrame::NoFrame);
    m_content->setWidgetResizable(true);
    m_content->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_content->viewport()->setAutoFillBackground(false);
    m_stack->addWidget(m_content);
    m_stack->setCurrentWidget(m_overlay);
    setWindowTitle(navigationTitle());
    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &DownloadView::dropAccount);
}

DownloadView::~DownloadView() = default;

DownloadView::Shown DownloadView::shown() const
{
    if (m_loading)
        return Shown::Loading;
    if (m_error)
        return Shown::Error;
    return m_detail ? Shown::Content : Shown::Nothing;
}

QString DownloadView::navigationTitle() const
{
    return downloads::navigationTitle(m_detail);
}

std::optional<QString> DownloadView::actionState(DownAction action) const
{
    const auto found = m_actionState.constFind(int(action));
    return found == m_actionState.cend() ? std::nullopt : std::optional(*found);
}

void DownloadView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Every time the page comes back into view (a page above it closed), not when the window
    // is merely restored.
    if (!event->spontaneous())
        reload();
}

void DownloadView::reload()
{
    load();
}

void DownloadView::dropAccount()
{
    // The links can depend on the account (paid torrents, membership): the next action asks the
    // site again, under the new one. A run still under way writes nothing once its ticket moved.
    m_res.reset();
    for (DownAction action : allActions()) {
        ++m_actionTicket[int(action)];
        setActionState(action, std::nullopt);
    }
    setMessage(std::nullopt);
    // A page out of sight loads afresh when it comes back.
    if (isVisible())
        reload();
    else
        m_generation.invalidate();
}

QCoro::Task<> DownloadView::load()
{
    QPointer self = this;
    const auto ticket = m_generation.begin();
    m_loading = true;
    m_error.reset();
    render();

    auto reply = co_await APIClient::shared()->torrent(m_did, m_torrent.index);
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    if (reply) {
        m_detail = std::move(*reply);
        buildContent();
        const QString title = navigationTitle();
        if (title != windowTitle()) {
            setWindowTitle(title);
            emit navigationTitleChanged(title);
        }
    } else {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

void DownloadView::render()
{
    switch (shown()) {
    case Shown::Loading:
        m_overlay->setKind(StateOverlay::Kind::loading());
        m_stack->setCurrentWidget(m_overlay);
        break;
    case Shown::Error: {
        showFailure(m_overlay, *m_error, this);
        m_stack->setCurrentWidget(m_overlay);
        break;
    }
    case Shown::Content:
        m_stack->setCurrentWidget(m_content);
        break;
    case Shown::Nothing:
        if (!m_nothing) {
            m_nothing = new QWidget(this);
            m_stack->addWidget(m_nothing);
        }
        m_stack->setCurrentWidget(m_nothing);
        break;
    }
}

void DownloadView::buildContent()
{
    if (QWidget *old = m_content->takeWidget())
        old->deleteLater();
    m_emptyTree = nullptr;
    m_tree = nullptr;
    m_buttons.clear();
    const TorrentDetail &detail = *m_detail;

    auto *page = new QWidget;
    page->setAutoFillBackground(false);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kSectionSpacing);

    QVBoxLayout *nameColumn = nullptr;
    column->addWidget(section(QStringLiteral("资源名称"), QStringLiteral("doc.text"), 8, page, nameColumn));
    auto *nameBox = new SurfaceBox(page);
    auto *nameRow = new QHBoxLayout(nameBox);
    nameRow->setContentsMargins(12, 12, 12, 12);
    nameRow->setSpacing(12);
    m_name = tintedLabel(resourceName(detail), TextStyle::kCallout, Palette::Name::Text, nameBox);
    m_name->setWordWrap(true);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    nameRow->addWidget(m_name, 1, Qt::AlignTop);
    m_size = tintedLabel(detail.size.value_or(QString()), TextStyle::kCallout, Palette::Name::TextDim, nameBox);
    m_size->setFont(monoFont(TextStyle::kCallout));
    m_size->setVisible(detail.size && !detail.size->isEmpty());
    nameRow->addWidget(m_size, 0, Qt::AlignTop);
    nameColumn->addWidget(nameBox);

    QVBoxLayout *treeColumn = nullptr;
    column->addWidget(section(QStringLiteral("种子结构"), QStringLiteral("folder"), 8, page, treeColumn));
    if (detail.files.isEmpty()) {
        m_emptyTree = tintedLabel(QString::fromUtf8(kEmptyTree), TextStyle::kCallout, Palette::Name::TextFaint, page);
        treeColumn->addWidget(m_emptyTree);
    } else {
        auto *treeBox = new SurfaceBox(page);
        auto *treeLayout = new QVBoxLayout(treeBox);
        treeLayout->setContentsMargins(0, 0, 0, 0);
        m_tree = new TorrentTree(detail.files, m_expanded, treeBox);
        connect(m_tree, &TorrentTree::toggled, this, &DownloadView::toggle);
        treeLayout->addWidget(m_tree);
        treeColumn->addWidget(treeBox);
    }

    column->addWidget(actionSection(page));
    column->addStretch(1);
    m_content->setWidget(page);
}

QWidget *DownloadView::actionSection(QWidget *parent)
{
    QVBoxLayout *actionColumn = nullptr;
    QWidget *box = section(QStringLiteral("资源操作"), QStringLiteral("square.and.arrow.down"), 10, parent, actionColumn);
    // Holds the focus while the action that had it is busy.
    Access::describe(box, QStringLiteral("资源操作"), QAccessible::Grouping);
    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    for (DownAction action : allActions()) {
        auto *button = new QPushButton(box);
        button->setMinimumWidth(84);
        setPointingHand(button);
        connect(button, &QPushButton::clicked, this, [this, action] { run(action); });
        m_buttons.insert(int(action), button);
        row->addWidget(button);
        setActionState(action, actionState(action));
    }
    row->addStretch(1);
    actionColumn->addLayout(row);
    m_messageLabel = tintedLabel(QString(), kCaptionPixels, Palette::Name::Warn, box);
    m_messageLabel->setWordWrap(true);
    actionColumn->addWidget(m_messageLabel);
    setMessage(m_message);
    return box;
}

void DownloadView::toggle(const QString &name)
{
    if (!m_expanded.remove(name))
        m_expanded.insert(name);
    if (m_tree)
        m_tree->setExpanded(m_expanded);
}

void DownloadView::setActionState(DownAction action, const std::optional<QString> &text)
{
    if (text)
        m_actionState.insert(int(action), *text);
    else
        m_actionState.remove(int(action));
    if (QPushButton *button = m_buttons.value(int(action))) {
        // Button text goes through mnemonic parsing; none of ours has an "&", but keep it literal.
        button->setText(text.value_or(rawValue(action)));
        // Busy under the focus that pressed it: the focus waits on the row, not on the next stop.
        Access::setEnabled(button, text != busyText(action), button->parentWidget());
    }
}

void DownloadView::setMessage(const std::optional<QString> &text)
{
    m_message = text;
    if (m_messageLabel) {
        m_messageLabel->setText(text.value_or(QString()));
        m_messageLabel->setVisible(text.has_value());
    }
}

bool DownloadView::isLatest(DownAction action, quint64 ticket) const
{
    return m_actionTicket.value(int(action)) == ticket;
}

void DownloadView::run(DownAction action)
{
    const quint64 ticket = ++m_actionTicket[int(action)];
    setActionState(action, busyText(action));
    setMessage(std::nullopt);
    perform(action, ticket);
}

QCoro::Task<> DownloadView::perform(DownAction action, quint64 ticket)
{
    QPointer self = this;
    // What the site answers belongs to the account it was asked under: after a change it is
    // neither acted on nor shown, and its links are not kept for the next account.
    const AccountTicket asked = AuthStore::shared()->ticket();
    // Copies of what the work needs, so it can finish after the page is gone.
    const QString did = m_did;
    const qint64 index = m_torrent.index;
    const Desktop desktop = m_desktop;
    QString base = m_detail ? resourceName(*m_detail, QStringLiteral("tovra")) : QStringLiteral("tovra");

    std::optional<TorrentRes> links;
    if (m_res && action != DownAction::Bt) {
        links = m_res;
    } else {
        auto reply = co_await APIClient::shared()->res(did, index, resourceType(action));
        if (!asked.isCurrent())
            co_return;
        if (!reply) {
            if (self)
                fail(action, ticket, reply.error());
            co_return;
        }
        links = *reply;
        if (self)
            m_res = *reply;
    }

    switch (action) {
    case DownAction::Copy: {
        const auto magnet = acceptedLink(action, links->magnet);
        if (!magnet) {
            if (self)
                fail(action, ticket, APIError::emptyData());
            co_return;
        }
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(*magnet);
        break;
    }
    case DownAction::Magnet:
    case DownAction::Xl: {
        const auto link = acceptedLink(action, action == DownAction::Magnet ? links->magnet : links->xl);
        if (!link) {
            if (self)
                fail(action, ticket, APIError::emptyData());
            co_return;
        }
        if (!desktop.openLink(*link)) {
            if (self)
                fail(action, ticket, APIError::transport(QString::fromUtf8(kNoHandler)));
            co_return;
        }
        break;
    }
    case DownAction::Bt: {
        if (self && m_detail)
            base = resourceName(*m_detail, QStringLiteral("tovra"));
        // Arguments as locals first: GCC 12 destroys temporaries built inside a co_await
        // expression twice.
        QPointer<QWidget> owner = self.data();
        QString address = links->bturl;
        auto save = saveTorrent(std::move(address), base, desktop, owner, asked);
        auto saved = co_await std::move(save);
        if (!self)
            co_return;
        if (!saved) {
            fail(action, ticket, saved.error());
            co_return;
        }
        if (saved->cancelled) {
            if (isLatest(action, ticket))
                setActionState(action, std::nullopt);
            co_return;
        }
        break;
    }
    }
    if (self && isLatest(action, ticket))
        setActionState(action, successText(action));
}

void DownloadView::fail(DownAction action, quint64 ticket, const APIError &error)
{
    if (!isLatest(action, ticket))
        return;
    setActionState(action, failureText(action));
    setMessage(errorText(action, error));
    QTimer::singleShot(kFailureShownMs, this, [this, action, ticket] {
        if (m_actionTicket.value(int(action)) == ticket)
            setActionState(action, std::nullopt);
    });
}

}
