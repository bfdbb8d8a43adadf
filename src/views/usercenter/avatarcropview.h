#pragma once

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <functional>

class QPushButton;
class QSlider;

namespace tovra {

class CropEditor;

// The sheet in which a picked picture is framed as the new avatar. It uploads nothing and never
// closes itself: "使用这张" hands the 640 × 640 JPEG to onConfirm, "取消" (and a failed
// encoding) calls onCancel, and the page decides what becomes of the sheet.
class AvatarCropView : public QDialog
{
    Q_OBJECT
public:
    using Confirm = std::function<void(const QByteArray &jpeg)>;
    using Cancel = std::function<void()>;

    AvatarCropView(const QImage &image, Confirm onConfirm, Cancel onCancel, QWidget *parent = nullptr);
    ~AvatarCropView() override;

    CropEditor *editor() const { return m_editor; }
    QSlider *slider() const { return m_slider; }
    QPushButton *confirmButton() const { return m_confirm; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *rotateLeftButton() const { return m_rotateLeft; }
    QPushButton *rotateRightButton() const { return m_rotateRight; }
    QPushButton *resetButton() const { return m_reset; }

    // Renders the square as it will be saved and hands over the JPEG, or cancels.
    void confirm();

private:
    static constexpr int kSliderSteps = 1000;
    static constexpr int kWidth = 400;
    void syncSlider();

    Confirm m_onConfirm;
    Cancel m_onCancel;
    CropEditor *m_editor = nullptr;
    QSlider *m_slider = nullptr;
    QPushButton *m_rotateLeft = nullptr;
    QPushButton *m_rotateRight = nullptr;
    QPushButton *m_reset = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_confirm = nullptr;
};

}
