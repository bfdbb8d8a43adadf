#pragma once

#include "models/playerfailure.h"
#include "models/title.h"
#include "network/apiclient.h"

#include <QMutex>
#include <QString>
#include <QUrl>
#include <optional>

// The player's decisions that need no media engine or web engine: which player an address
// goes to, the authorised stream address, the notices, the progress-report rule and the HTML5
// player page.
namespace tovra::player {

inline constexpr char16_t kBadAddressText[] = u"播放地址不合法";
inline constexpr char16_t kUnknownError[] = u"未知错误";
inline constexpr char16_t kProgressPath[] = u"api/progress";
// A position must move this far past the last report before the next one goes out.
inline constexpr qint64 kReportStep = 15;
// Resume points below this start from the beginning, without a seek or a notice.
inline constexpr qint64 kMinResume = 4;

// Whether the address names an HLS playlist: its path's extension, in any case, is "m3u8".
// Query and fragment do not count; text that is not a URL is not HLS.
bool isHLS(const QString &address);

// Minutes of a trial limit: et / 60, at least 1.
qint64 trialMinutes(qint64 et);
// "试看 N 分钟"; only meaningful while et is 1 or more.
QString trialBadgeText(qint64 et);
// The trial notice over the native player, or none when et is below 1.
std::optional<QString> trialNotice(qint64 et);
// "已从上次看到的 M:SS 继续播放", minutes not wrapped at 60.
QString resumeNotice(qint64 startAt);
// "播放失败：" + a Chinese sentence for the kind.
QString failureNotice(Failure kind);

// The stream address with "t" (nowMs), "token" and "ct=0" appended after any query it already
// has; none unless it is an http or https address. Characters of the token that would end its
// value or the address early ("&", "#", "+", blanks, controls, non-ASCII) are percent-encoded,
// so a token can never add parameters of its own; anything else goes in as it is.
std::optional<QUrl> authedUrl(const QString &address, const QString &token, qint64 nowMs);

// The progress report form: did, ep, pos and duration, numbers in decimal.
Params progressForm(const QString &did, qint64 episode, qint64 pos, qint64 duration);
// Milliseconds of media time as whole seconds, truncated; negative values count as 0.
qint64 wholeSeconds(qint64 ms);

// When a sampled position is worth a report: 1 s or more, and at least kReportStep past the
// last one reported (or past the resume point).
class ProgressRule
{
public:
    // The resume seek counts as reported: nothing goes out until the position passes it.
    void resumedAt(qint64 position) { m_lastReported = position; }
    // The position to report for this sample, if any; a report moves the mark.
    std::optional<qint64> sample(qint64 position);
    qint64 lastReported() const { return m_lastReported; }
    // Leaving the player reports the last sample without the step rule.
    static bool worthFinalReport(qint64 position) { return position >= 1; }

private:
    qint64 m_lastReported = 0;
};

// The last sampled whole second. The sampler and the final report both run on the main
// thread today; the lock keeps it sound should sampling ever move to the media thread.
class TimeBox
{
public:
    void store(qint64 value)
    {
        QMutexLocker lock(&m_lock);
        m_stored = value;
    }
    qint64 load() const
    {
        QMutexLocker lock(&m_lock);
        return m_stored;
    }

private:
    mutable QMutex m_lock;
    qint64 m_stored = 0;
};

// TOVRA_MEDIA_URL when it is an http(s) address, else the built-in media address; always
// ending with "/".
QUrl mediaAddress();

// JSON for a <script> element: "<", ">", "&", U+2028 and U+2029 written as \u escapes, so no
// value can close the element, open a comment or end a JavaScript line.
QString scriptJson(const QJsonObject &object);

// The request object the page's script reads: url (only an http or https address, else empty),
// token, et and l.
QString requestObject(const PlayAuth &auth);

// The HTML5 player page around the authorisation, with the Shaka Player UI script and style
// sheet from the media address; the title is the document's, for screen readers.
QString shakaPage(const PlayAuth &auth, const QUrl &media, const QString &title = {});

}
