#pragma once

#include <QAbstractButton>
#include <QImage>

namespace tovra {

class BusyIndicator;

// The picture captcha as a button: the picture squeezed into a 96 × 36 box with rounded
// corners, or a spinner while there is none (loading, or the last load gave nothing). A click
// asks for a new picture.
class CaptchaButton : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int kWidth = 96;
    static constexpr int kHeight = 36;

    explicit CaptchaButton(QWidget *parent = nullptr);

    // A null image shows the spinner.
    void setImage(const QImage &image);
    const QImage &image() const { return m_image; }
    bool hasImage() const { return !m_image.isNull(); }
    bool showsSpinner() const;

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QImage m_image;
    BusyIndicator *m_spinner = nullptr;
};

}
