#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace tovra {

class SymbolView;

// The one-line outcome of a page's last action: a tick and a success text, or a warning sign
// and the failure's description. Hidden until there is something to say.
class OutcomeLine : public QWidget
{
    Q_OBJECT
public:
    // Success shows in the system green; a failure in the palette's error colour when
    // paletteError is set, else in the system red.
    OutcomeLine(QString successIcon, QString errorIcon, bool paletteError, QWidget *parent = nullptr);

    void showOutcome(const QString &text, bool isError);
    void clear();

    QString text() const;
    bool isError() const { return m_isError; }
    QString iconName() const;
    QColor color() const;

    static QColor systemGreen(bool dark);
    static QColor systemRed(bool dark);

private:
    void restyle();

    QString m_successIcon;
    QString m_errorIcon;
    bool m_paletteError;
    bool m_isError = false;
    SymbolView *m_icon = nullptr;
    QLabel *m_text = nullptr;
};

}
