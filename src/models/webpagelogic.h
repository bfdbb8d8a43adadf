#pragma once

#include "models/community.h"

#include <QDateTime>
#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QUrl>
#include <optional>

// The decisions of the in-app web page that need no web engine: which addresses it may open,
// which cookies it puts in place before the first request, and what a failed load says.
namespace tovra::webpage {

// Shown for an address that cannot be parsed or that the page refuses to open.
inline constexpr char16_t kBadAddressText[] = u"页面地址不可用";

// The address as the page will load it: a well-formed http or https URL with a host. Anything
// else from the server (file:, javascript:, data:, qrc:, a relative path, text with spaces) is
// refused, so a page from the sidebar can never reach local files or run script of its own.
std::optional<QUrl> pageAddress(const QString &text);

// The cookies to set before the first request, in order: one per pair of the reply's "cookies"
// list when it is present (none when it is empty), else the reply's own name and value. Each
// carries the reply's domain, the path "/" and the expiry `expires` (Unix seconds).
//
// Pairs that cannot make a sound cookie are left out: an empty name, an empty domain, or a name
// or value with characters that would end the cookie early and smuggle in attributes of the
// server's choosing (";", ",", control characters, and "=" in a name).
QList<QNetworkCookie> cookiesToSet(const WebCookie &reply);
bool isSoundCookie(const QString &name, const QString &value, const QString &domain);

// The expiry of `expires`, clamped into what a date can hold; 0 is 1970-01-01 00:00 UTC.
QDateTime expiryDate(double expires);

// Whether a failed load with this network error code only means it was replaced by a newer
// navigation or stopped, which ends loading without a message.
bool isCancellation(int code);

// The message for a failed load: the common network failures in the words users know, else the
// engine's own description with its code.
QString loadFailureText(int code, const QString &engineText);

}
