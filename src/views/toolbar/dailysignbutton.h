#pragma once

#include "models/loadgeneration.h"
#include "views/toolbar/toolbarbutton.h"

#include <QDateTime>
#include <QTimer>
#include <QCoro/QCoroTask>
#include <chrono>
#include <optional>

namespace tovra {

// The toolbar's daily sign-in: the button with its labels, the day's status loaded from the
// server (any change of account drops it and loads it again) and a day watch that re-arms it
// after midnight.
class DailySignButton : public ToolbarButton
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDayWatchInterval{60000};
    static constexpr std::chrono::milliseconds kSignResultShownFor{2000};

    explicit DailySignButton(QWidget *parent = nullptr);

    // none: signed out, not loaded yet, or re-armed after midnight; false: not signed today.
    std::optional<bool> signedState() const { return m_signed; }
    // A positive status loaded today: the button's done state.
    bool signedToday() const;
    // The transient text while a sign-in runs and just after it.
    const std::optional<QString> &signLabel() const { return m_signLabel; }
    qint64 signDays() const { return m_signDays; }
    // When the status was last loaded; invalid while no valid status is held.
    QDateTime signDay() const { return m_signDay; }
    QTimer *dayWatch() { return &m_dayWatch; }
    void setSignResultShownFor(std::chrono::milliseconds duration) { m_signResultShownFor = duration; }

    // Signed out it asks for the log-in page instead. While a sign-in runs (or its result is
    // showing) another call does nothing.
    void doSign();
    // Only the newest run writes.
    QCoro::Task<void> loadSignStatus();
    // The day watch's tick: once the loaded status belongs to an earlier day, it is cleared and
    // loaded again, so the button comes back after midnight.
    void checkDay();
    void updateLook();

signals:
    void signStatusChanged();
    void signLabelChanged();
    void loginRequested();

private:
    void setSignLabel(std::optional<QString> label);
    QCoro::Task<void> runSign();
    void dropAccount();

    std::optional<bool> m_signed;
    qint64 m_signDays = 0;
    QDateTime m_signDay;
    std::optional<QString> m_signLabel;
    std::chrono::milliseconds m_signResultShownFor = kSignResultShownFor;
    LoadGeneration m_signLoads;
    // Moves on with every change of account: a sign-in sent for the previous one reports to
    // nobody here.
    LoadGeneration m_account;
    QTimer m_dayWatch;
};

}
