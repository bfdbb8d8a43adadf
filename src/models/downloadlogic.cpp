#include "models/downloadlogic.h"

#include "models/webaddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBoundaryFinder>
#include <QUrl>

namespace tovra::downloads {

namespace {

constexpr int kMaxNameCharacters = 120;
constexpr qsizetype kMaxNameBytes = 255;
const QString kExtension = QStringLiteral(".torrent");
const QString kFallbackName = QStringLiteral("tovra");

struct Row
{
    DownAction action;
    const char *label;
    const char *busy;
    const char *success;
    const char *failure;
};

const Row kRows[] = {
    {DownAction::Copy, "复制磁力", "复制中…", "复制成功", "复制失败"},
    {DownAction::Magnet, "磁力下载", "下载中…", "已下载", "获取失败"},
    {DownAction::Xl, "迅雷下载", "下载中…", "已下载", "获取失败"},
    {DownAction::Bt, "种子下载", "下载中…", "已保存", "获取失败"},
};

const Row &row(DownAction action)
{
    return kRows[int(action)];
}

// Characters that would let a name pick its own folder, confuse a shell or another system's
// file dialog, or hide its real extension behind a direction override.
bool refused(QChar c)
{
    static const QString reserved = QStringLiteral("/:\\?%*|\"<>");
    if (reserved.contains(c))
        return true;
    const char16_t u = c.unicode();
    if (c.category() == QChar::Other_Control)
        return true;
    // U+FEFF reads as a byte order mark to some readers of the folder, which drop it.
    return u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069)
        || u == 0x2028 || u == 0x2029 || u == 0xFEFF;
}

// Cuts text to at most count user-perceived characters.
QString firstCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    qsizetype end = 0;
    while (seen < count) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
        ++seen;
    }
    return text.left(end);
}

QString dropLastCharacter(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    const qsizetype previous = finder.toPreviousBoundary();
    return text.left(qMax<qsizetype>(0, previous));
}

// Shortens stem until stem + tail fits the file system's name limit.
QString fitted(QString stem, const QString &tail)
{
    while (!stem.isEmpty() && (stem + tail).toUtf8().size() > kMaxNameBytes)
        stem = dropLastCharacter(stem);
    return stem + tail;
}

// The name's base and extension as a path's suffix rule gives them: the text after the last dot.
std::pair<QString, QString> split(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot + 1)};
}

QString candidate(const QString &folder, const QString &name, int n)
{
    if (n <= 1)
        return QDir(folder).filePath(name);
    const auto [base, extension] = split(name);
    const QString tail = QStringLiteral(" (%1)").arg(n) + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    return QDir(folder).filePath(fitted(base, tail));
}

bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

APIError writeError(const QString &platformText)
{
    return APIError::transport(QStringLiteral("种子文件保存失败：") + platformText);
}

} // namespace

const QList<DownAction> &allActions()
{
    static const QList<DownAction> actions{DownAction::Copy, DownAction::Magnet, DownAction::Xl, DownAction::Bt};
    return actions;
}

QString rawValue(DownAction action) { return QString::fromUtf8(row(action).label); }
QString busyText(DownAction action) { return QString::fromUtf8(row(action).busy); }
QString successText(DownAction action) { return QString::fromUtf8(row(action).success); }
QString failureText(DownAction action) { return QString::fromUtf8(row(action).failure); }

std::optional<DownAction> fromRawValue(const QString &text)
{
    for (const Row &r : kRows) {
        if (text == QString::fromUtf8(r.label))
            return r.action;
    }
    return std::nullopt;
}

qint64 resourceType(DownAction action)
{
    return action == DownAction::Copy ? 0 : 1;
}

QString errorText(DownAction action, const APIError &error)
{
    if (error.kind() == APIError::Kind::EmptyData) {
        return action == DownAction::Bt ? QStringLiteral("种子文件地址暂时取不到，可以先用磁力下载")
                                        : QStringLiteral("没有获取到资源，请稍后重试");
    }
    return error.description();
}

QString resourceName(const TorrentDetail &detail, const QString &fallback)
{
    if (detail.name)
        return *detail.name;
    if (detail.title)
        return *detail.title;
    return fallback;
}

QString navigationTitle(const std::optional<TorrentDetail> &detail)
{
    const QString fallback = QString::fromUtf8(kPageTitle);
    return detail ? resourceName(*detail, fallback) : fallback;
}

QString fileIcon(const QString &name)
{
    const QString last = name.section(QLatin1Char('/'), -1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : last.mid(dot + 1).toLower();
    static const QList<std::pair<QStringList, QString>> table{
        {{"mkv", "mp4", "avi", "rmvb", "rm", "mov", "wmv", "ts"}, QStringLiteral("film")},
        {{"ass", "srt", "sub", "ssa"}, QStringLiteral("captions.bubble")},
        {{"jpg", "jpeg", "png", "gif", "bmp", "webp"}, QStringLiteral("photo")},
        {{"mp3", "flac", "aac", "wav", "m4a"}, QStringLiteral("music.note")},
        {{"rar", "zip", "7z", "tar", "gz"}, QStringLiteral("doc.zipper")},
        {{"nfo", "txt", "md"}, QStringLiteral("doc.text")},
    };
    if (extension.isEmpty())
        return QStringLiteral("folder");
    for (const auto &[extensions, symbol] : table) {
        if (extensions.contains(extension))
            return symbol;
    }
    return QStringLiteral("doc");
}

std::optional<QString> acceptedLink(DownAction action, const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    // Copying hands nothing to a handler; the user pastes it where they choose.
    if (action == DownAction::Copy)
        return text;
    // One link, nothing around it: a space or a control character would let the text pass for
    // something else once a handler splits it.
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return std::nullopt;
    }
    static const QRegularExpression schemePattern(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    const auto match = schemePattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString scheme = match.captured(1).toLower();
    switch (action) {
    case DownAction::Copy: // answered above
    case DownAction::Magnet:
        return scheme == QLatin1String("magnet") && text.size() > match.capturedLength() ? std::optional(text) : std::nullopt;
    case DownAction::Xl:
        return scheme == QLatin1String("thunder") && text.size() > match.capturedLength() ? std::optional(text) : std::nullopt;
    case DownAction::Bt:
        return isWebAddress(QUrl(text, QUrl::StrictMode)) ? std::optional(text) : std::nullopt;
    }
    return std::nullopt;
}

bool looksLikeTorrent(const QByteArray &body)
{
    return body.size() > 100 && body.front() == 'd';
}

QString torrentFileName(const QString &name)
{
    // File names go to disk as UTF-8, which cannot hold a lone surrogate and whose readers drop a
    // leading byte order mark: the name shown and revealed must be the one written.
    const QString encodable = QString::fromUtf8(name.toUtf8());
    QString cleaned;
    cleaned.reserve(encodable.size());
    // White space at either end is trimmed rather than replaced, line breaks included.
    for (const QChar c : encodable)
        cleaned.append(refused(c) && !c.isSpace() ? QChar(u'_') : c);
    cleaned = cleaned.trimmed();
    for (QChar &c : cleaned) {
        if (refused(c))
            c = u'_';
    }
    // Only dots left would give a hidden file, or "." and "..", which are no files at all.
    const QString bare = cleaned.endsWith(kExtension) ? cleaned.chopped(kExtension.size()) : cleaned;
    if (bare.isEmpty() || bare.count(QLatin1Char('.')) == bare.size())
        cleaned = kFallbackName;
    // A leading dot hides the file from the user's own folder view.
    for (QChar &c : cleaned) {
        if (c != u'.')
            break;
        c = u'_';
    }
    cleaned = firstCharacters(cleaned, kMaxNameCharacters);
    if (cleaned.endsWith(kExtension))
        return cleaned.toUtf8().size() <= kMaxNameBytes ? cleaned : fitted(cleaned.chopped(kExtension.size()), kExtension);
    // 120 Chinese characters are 360 bytes; most file systems stop at 255.
    return fitted(cleaned, kExtension);
}

QString uniquePath(const QString &folder, const QString &name)
{
    for (int n = 1;; ++n) {
        const QString path = candidate(folder, name, n);
        if (!taken(path))
            return path;
    }
}

Result<QString> saveNew(const QString &folder, const QString &name, const QByteArray &bytes)
{
    if (!QFileInfo(folder).isDir())
        return std::unexpected(writeError(QStringLiteral("文件夹不存在")));
    for (int n = 1; n < 100000; ++n) {
        const QString path = candidate(folder, name, n);
        if (taken(path))
            continue;
        QFile file(path);
        // NewOnly: a file (or link) that appeared since the check is passed over, never replaced.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (taken(path))
                continue;
            return std::unexpected(writeError(file.errorString()));
        }
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const QString reason = file.errorString();
            file.close();
            file.remove();
            return std::unexpected(writeError(reason));
        }
        file.close();
        return path;
    }
    return std::unexpected(writeError(QStringLiteral("没有可用的文件名")));
}

QString withTorrentExtension(const QString &path)
{
    return path.endsWith(kExtension) ? path : path + kExtension;
}

Result<QString> saveAt(const QString &path, const QByteArray &bytes)
{
    // Whole or not at all: a failed write leaves the file that was there.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return std::unexpected(writeError(file.errorString()));
    return path;
}

}
