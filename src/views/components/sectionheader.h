#pragma once

#include <QWidget>

class QLabel;

namespace tovra {

class SymbolView;

// The title line of a screen section: a symbol and the title, plain text.
class SectionHeader : public QWidget
{
    Q_OBJECT
public:
    SectionHeader(const QString &title, const QString &systemImage, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    QString systemImage() const;

private:
    void applyColors();

    SymbolView *m_symbol = nullptr;
    QLabel *m_title = nullptr;
};

}
