#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QStackedLayout;

namespace tovra {

class BusyIndicator;
class SymbolView;

// The full-area state of a screen, shown in place of its content: loading, empty (with the
// reason) or failed (with the error's description and a retry button). Messages are shown
// exactly as given, as plain text.
class StateOverlay : public QWidget
{
    Q_OBJECT
public:
    struct Kind
    {
        enum class Case { Error, Empty, Loading };
        Case kase = Case::Loading;
        QString message;
        std::function<void()> retry;

        static Kind loading() { return {}; }
        static Kind empty(const QString &message) { return {Case::Empty, message, {}}; }
        static Kind error(const QString &message, std::function<void()> retry)
        {
            return {Case::Error, message, std::move(retry)};
        }
    };

    explicit StateOverlay(Kind kind = Kind::loading(), QWidget *parent = nullptr);

    const Kind &kind() const { return m_kind; }
    void setKind(Kind kind);

    // What is on show, for tests and accessibility.
    QString titleText() const;
    QString messageText() const;
    QPushButton *retryButton() const { return m_retry; }

signals:
    // Emitted on every press of the retry button, after the kind's retry action ran.
    void retryRequested();

private:
    void applyColors();

    Kind m_kind;
    BusyIndicator *m_spinner = nullptr;
    QLabel *m_loadingLabel = nullptr;
    QWidget *m_loadingBox = nullptr;
    QWidget *m_unavailableBox = nullptr;
    SymbolView *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_retry = nullptr;
};

}
