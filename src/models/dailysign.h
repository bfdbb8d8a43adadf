#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace tovra::dailysign {

inline const QString kSigning = QStringLiteral("签到中…");
inline const QString kFailed = QStringLiteral("签到失败");
inline const QString kAlreadySigned = QStringLiteral("今天已经签过了");
inline const QString kDone = QStringLiteral("今日已签到");
inline const QString kInvite = QStringLiteral("签到领BT币");

// How the toolbar's sign-in button looks and behaves for one state of the window.
struct ButtonLook
{
    QString symbol;
    QString text;
    bool faint = false; // the done state is drawn faint, everything else in the warning colour
    bool enabled = true;
    QString help;

    friend bool operator==(const ButtonLook &, const ButtonLook &) = default;
};

// True only for a positive status loaded on today's date: a status from yesterday no longer says
// anything about today, even before the midnight re-arm has cleared it.
bool isSignedToday(std::optional<bool> signedState, const QDateTime &signDay, const QDate &today);

// signedIn: a token is held. label: the transient text of a running or just finished sign-in.
// Signed out the button stays enabled, its click leads to the log-in page.
ButtonLook buttonLook(bool signedIn, const std::optional<QString> &label, bool signedToday, qint64 days);

// The label after a successful sign-in: the coins gained, or, when the reply gave none, that
// today's sign-in had already been done.
QString resultLabel(qint64 gold);

}
