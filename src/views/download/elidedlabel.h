#pragma once

#include <QLabel>

namespace tovra {

// One line of plain text, shortened in the middle to the width it gets, so file names keep
// both their start and their extension.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    const QString &fullText() const { return m_full; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_full;
};

}
