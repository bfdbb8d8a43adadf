#include "models/playerlogic.h"

#include "buildconfig.h"
#include "models/webaddress.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>

namespace tovra::player {

namespace {

QString htmlAttribute(const QString &text)
{
    return text.toHtmlEscaped();
}

// Everything after the request object is fixed text: no server value reaches it.
constexpr char kPageScript[] = R"JS(
// The token in the form the native player sends it: characters that would end the value or the
// address ("&", "#", "+", blanks, controls, non-ASCII) percent-encoded, everything else as is.
function queryValue(text) {
  var bytes = new TextEncoder().encode(text);
  var out = "";
  for (var i = 0; i < bytes.length; ++i) {
    var c = String.fromCharCode(bytes[i]);
    if (bytes[i] < 128 && /[A-Za-z0-9\-._~!$'()*,;:@\/?=%]/.test(c))
      out += c;
    else
      out += "%" + (bytes[i] < 16 ? "0" : "") + bytes[i].toString(16).toUpperCase();
  }
  return out;
}
// The library's error categories in the user's words; its own code goes to the console log.
function errorText(error) {
  var kinds = { 1: "网络连接失败，视频数据下载不成功", 2: "字幕读取失败", 3: "视频解码失败，格式不受支持",
                4: "播放列表无法读取", 5: "视频流读取失败", 6: "受保护的视频无法播放", 7: "播放器内部错误" };
  if (error && error.code !== undefined)
    console.log("[Tovra] shaka error " + error.code + " category " + error.category);
  else if (error)
    console.log("[Tovra] player error " + String(error));
  var kind = error && kinds[error.category];
  return kind ? kind + (error.code !== undefined ? "（错误码 " + error.code + "）" : "") : "未知错误";
}
function showMessage(text) {
  var bar = document.getElementById("msg");
  bar.textContent = text;
  bar.style.display = "block";
}
async function init() {
  var video = document.getElementById("video");
  var ui = video["ui"];
  var controls = ui.getControls();
  var player = controls.getPlayer();
  player.configure({ abr: { enabled: true }, streaming: { rebufferingGoal: 4 } });
  // The library carries its own Chinese for every control; it would otherwise follow the
  // system's language.
  controls.getLocalization().changeLocale(["zh-CN"]);
  // No picture-in-picture button: the web engine has no small window to give the video.
  ui.configure({
    controlPanelElements: ["play_pause", "mute", "volume", "time_and_duration", "captions", "fullscreen"],
    playbackRates: [0.5, 1, 1.25, 1.5, 2],
    enableTooltips: true,
    seekBarColors: { base: "rgba(255,255,255,0.3)", buffered: "rgba(255,255,255,0.54)",
                     played: "rgb(255,0,0)" }
  });
  var types = shaka.net.NetworkingEngine.RequestType;
  player.getNetworkingEngine().registerRequestFilter(function (type, request) {
    if (type !== types.SEGMENT && type !== types.MANIFEST)
      return;
    // Signed addresses are compared byte for byte by the media host: the address stays exactly
    // as it came and the three parameters go on its end.
    var address = request.uris[0];
    var hash = address.indexOf("#");
    var fragment = hash < 0 ? "" : address.slice(hash);
    if (hash >= 0)
      address = address.slice(0, hash);
    var media = player.getMediaElement();
    var query = "t=" + Date.now() + "&token=" + queryValue(String(tovraRequest.token)) +
                "&ct=" + (media ? Math.floor(media.currentTime) : 0);
    var glue = address.indexOf("?") < 0 ? "?" : (/[?&]$/.test(address) ? "" : "&");
    request.uris[0] = address + glue + query + fragment;
  });
  player.addEventListener("error", function (event) {
    showMessage("播放出错：" + errorText(event && event.detail));
  });
  try {
    await player.load(tovraRequest.url);
    if (tovraRequest.et > 0)
      showMessage("非会员试看 " + Math.max(1, Math.floor(tovraRequest.et / 60)) + " 分钟，开通会员可观看完整版");
  } catch (error) {
    showMessage("加载失败：" + errorText(error));
  }
}
document.addEventListener("shaka-ui-loaded", init);
document.addEventListener("shaka-ui-load-failed", function () {
  showMessage("播放器组件加载失败，请检查网络");
});
)JS";

constexpr char kPageStyle[] =
    "html,body{margin:0;padding:0;background:#000;height:100%;overflow:hidden;}"
    "#wrap{width:100%;height:100%;display:flex;align-items:center;justify-content:center;}"
    "video{width:100%;height:100%;}"
    // The library's advert caption is an empty, disabled button until an advert plays, which
    // never happens here: out of sight, it stays out of a screen reader's way too.
    ".shaka-ad-info:empty{display:none;}"
    "#msg{position:fixed;left:0;right:0;bottom:0;color:#fff;font:13px -apple-system,sans-serif;"
    "background:rgba(0,0,0,.75);padding:10px;text-align:center;display:none;}";

}

bool isHLS(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString path = url.path();
    const QString last = path.sliced(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = last.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    return last.sliced(dot + 1).toLower() == u"m3u8";
}

qint64 trialMinutes(qint64 et)
{
    return std::max<qint64>(1, et / 60);
}

QString trialBadgeText(qint64 et)
{
    return QStringLiteral("试看 %1 分钟").arg(trialMinutes(et));
}

std::optional<QString> trialNotice(qint64 et)
{
    if (et < 1)
        return std::nullopt;
    return QStringLiteral("非会员试看 %1 分钟，开通会员可观看完整版").arg(trialMinutes(et));
}

QString resumeNotice(qint64 startAt)
{
    return QStringLiteral("已从上次看到的 %1:%2 继续播放")
        .arg(startAt / 60)
        .arg(startAt % 60, 2, 10, QLatin1Char('0'));
}

QString failureNotice(Failure kind)
{
    QString text;
    switch (kind) {
    case Failure::Resource: text = QStringLiteral("视频资源无法读取，可能已失效"); break;
    case Failure::Format: text = QStringLiteral("视频格式不受支持"); break;
    case Failure::Network: text = QStringLiteral("网络连接失败，请检查网络后重试"); break;
    case Failure::AccessDenied: text = QStringLiteral("没有观看该视频的权限"); break;
    case Failure::Other: text = QStringView(kUnknownError).toString(); break;
    case Failure::PlayerEnded: text = QStringLiteral("播放组件意外退出，请重试"); break;
    case Failure::PlayerHung: text = QStringLiteral("播放组件停止响应，请重试"); break;
    case Failure::PlayerMissing: text = QStringLiteral("播放组件无法启动，请重新安装客户端后再试"); break;
    case Failure::Stalled: text = QStringLiteral("播放意外停止，请重试"); break;
    }
    return QStringLiteral("播放失败：") + text;
}

std::optional<QUrl> authedUrl(const QString &address, const QString &token, qint64 nowMs)
{
    QUrl url(address, QUrl::StrictMode);
    if (!isWebAddress(url))
        return std::nullopt;
    // "%" stays as it is, so a token the site already escaped reaches it unchanged.
    QByteArray safeToken;
    for (const char byte : token.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (alnum || (c != 0 && std::strchr("-._~!$'()*,;:@/?=%", c)))
            safeToken += char(c);
        else
            safeToken += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    const QString added = QStringLiteral("t=%1&token=%2&ct=0").arg(nowMs).arg(QString::fromLatin1(safeToken));
    const QString existing = url.query(QUrl::FullyEncoded);
    url.setQuery(existing.isEmpty() ? added : existing + u'&' + added, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

Params progressForm(const QString &did, qint64 episode, qint64 pos, qint64 duration)
{
    return Params{{QStringLiteral("did"), did},
                  {QStringLiteral("ep"), QString::number(episode)},
                  {QStringLiteral("pos"), QString::number(pos)},
                  {QStringLiteral("duration"), QString::number(duration)}};
}

qint64 wholeSeconds(qint64 ms)
{
    return ms > 0 ? ms / 1000 : 0;
}

std::optional<qint64> ProgressRule::sample(qint64 position)
{
    if (position < 1 || position - m_lastReported < kReportStep)
        return std::nullopt;
    m_lastReported = position;
    return position;
}

QUrl mediaAddress()
{
    QUrl url(qEnvironmentVariable("TOVRA_MEDIA_URL"), QUrl::StrictMode);
    if (!isWebAddress(url))
        url = QUrl(QString::fromUtf8(build::kMediaUrl), QUrl::StrictMode);
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

QString scriptJson(const QJsonObject &object)
{
    QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (text.isEmpty())
        return QStringLiteral("{}");
    QString out;
    out.reserve(text.size());
    for (QChar c : std::as_const(text)) {
        switch (c.unicode()) {
        case u'<': out += QStringLiteral("\\u003c"); break;
        case u'>': out += QStringLiteral("\\u003e"); break;
        case u'&': out += QStringLiteral("\\u0026"); break;
        case 0x2028: out += QStringLiteral("\\u2028"); break;
        case 0x2029: out += QStringLiteral("\\u2029"); break;
        default: out += c;
        }
    }
    return out;
}

QString requestObject(const PlayAuth &auth)
{
    const QUrl url(auth.url, QUrl::StrictMode);
    const QJsonObject object{{QStringLiteral("url"), isWebAddress(url) ? auth.url : QString()},
                             {QStringLiteral("token"), auth.token},
                             {QStringLiteral("et"), double(auth.et)},
                             {QStringLiteral("l"), double(auth.l)}};
    return scriptJson(object);
}

QString shakaPage(const PlayAuth &auth, const QUrl &media, const QString &title)
{
    const QString base = media.toString(QUrl::FullyEncoded);
    QString page;
    page += QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n");
    page += QStringLiteral("<title>%1</title>\n").arg(htmlAttribute(title));
    page += QStringLiteral("<link rel=\"stylesheet\" href=\"%1\">\n")
                .arg(htmlAttribute(base + QStringLiteral("shakaPlayer/controls.css")));
    page += QStringLiteral("<script src=\"%1\"></script>\n")
                .arg(htmlAttribute(base + QStringLiteral("shakaPlayer/shaka-player.ui.js")));
    page += QStringLiteral("<style>") + QString::fromLatin1(kPageStyle) + QStringLiteral("</style>\n");
    page += QStringLiteral("</head>\n<body>\n");
    page += QStringLiteral("<div id=\"wrap\" data-shaka-player-container>"
                           "<video id=\"video\" data-shaka-player autoplay disablepictureinpicture></video></div>\n");
    page += QStringLiteral("<div id=\"msg\"></div>\n");
    page += QStringLiteral("<script>\nconst tovraRequest = ") + requestObject(auth) + u';';
    page += QString::fromUtf8(kPageScript);
    page += QStringLiteral("</script>\n</body>\n</html>\n");
    return page;
}

}
