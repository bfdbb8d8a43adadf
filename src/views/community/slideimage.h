#pragma once

#include <QImage>
#include <QWidget>

namespace tovra {

class BusyIndicator;

// A post's picture scaled to fit the slide, letterboxed on the slide's black ground; a small
// spinner until it has loaded, and also when it never does.
class SlideImage : public QWidget
{
    Q_OBJECT
public:
    explicit SlideImage(const QString &address, QWidget *parent = nullptr);

    bool hasImage() const { return !m_image.isNull(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage m_image;
    BusyIndicator *m_spinner = nullptr;
};

}
