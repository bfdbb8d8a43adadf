#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tovra {

// The preferences window's content. "下载": the folder .torrent files are saved to and whether
// every download asks for a place; "缓存": how much the response cache and the HTTP disk cache
// hold together, and a button that empties both.
//
// The stored settings are read once, when the view is made; afterwards what the view shows is its
// own state, and every change is written through at once.
class PreferencesView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 520;
    static constexpr std::chrono::milliseconds kClearedShownFor{3000};

    // Asks the user for a folder, starting in start; nothing when the user cancels.
    using DirectoryChooser = std::function<std::optional<QString>(QWidget *parent, const QString &start)>;

    explicit PreferencesView(QWidget *parent = nullptr);

    // The system's folder dialog unless replaced (tests).
    void setDirectoryChooser(DirectoryChooser chooser) { m_chooser = std::move(chooser); }
    void setClearedShownFor(std::chrono::milliseconds duration) { m_clearedTimer.setInterval(duration); }

    const std::optional<QString> &directory() const { return m_directory; }
    bool askEverySave() const { return m_askEverySave; }
    qint64 cacheSize() const { return m_cacheSize; }
    bool isClearing() const { return m_clearing; }
    const std::optional<QString> &cleared() const { return m_cleared; }
    // The folder line as written before it is shortened to fit.
    QString shownPath() const;
    bool showsDefaultPath() const { return !m_directory.has_value(); }

    QPushButton *chooseButton() const { return m_choose; }
    QPushButton *resetButton() const { return m_reset; }
    QCheckBox *askSwitch() const { return m_ask; }
    QLabel *downloadNote() const { return m_downloadNote; }
    QLabel *sizeLabel() const { return m_size; }
    QPushButton *clearButton() const { return m_clear; }
    QLabel *clearedLabel() const { return m_clearedLabel; }
    QWidget *pathLabel() const { return m_path; }

    // "选择…": the chosen folder is stored and asking is turned off (the user may turn it on
    // again); cancelling changes nothing.
    void pickDirectory();
    // "恢复默认": no folder, and asking on.
    void resetDirectory();
    // Measures both caches.
    void refreshSize();
    // "清除缓存": empties both caches in the next turn of the event loop, so the button can show
    // that it is busy first.
    void clear();

signals:
    void sizeRefreshed();
    void clearFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void render();
    void applyColors();

    std::optional<QString> m_directory;
    bool m_askEverySave = true;
    qint64 m_cacheSize = 0;
    bool m_clearing = false;
    std::optional<QString> m_cleared;
    QTimer m_clearedTimer;
    DirectoryChooser m_chooser;

    QWidget *m_path = nullptr;
    QPushButton *m_choose = nullptr;
    QPushButton *m_reset = nullptr;
    QCheckBox *m_ask = nullptr;
    QLabel *m_downloadNote = nullptr;
    QLabel *m_size = nullptr;
    QPushButton *m_clear = nullptr;
    QLabel *m_clearedLabel = nullptr;
    QLabel *m_cacheNote = nullptr;
};

}
