#pragma once

#include "views/palette.h"

#include <QWidget>
#include <optional>

namespace tovra {

// One of our icons at a fixed size, painted in a palette colour for the current appearance
// (or a fixed colour), so it follows light/dark without being rebuilt.
class SymbolView : public QWidget
{
    Q_OBJECT
public:
    SymbolView(const QString &name, int size, Palette::Name role, QWidget *parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString &name);
    void setRole(Palette::Name role);
    void setFixedColor(const QColor &color);
    QColor currentColor() const;
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_name;
    int m_size;
    Palette::Name m_role;
    std::optional<QColor> m_fixed;
};

}
