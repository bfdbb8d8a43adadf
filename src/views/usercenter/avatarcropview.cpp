#include "views/usercenter/avatarcropview.h"

#include "models/cropgeometry.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/icons.h"
#include "views/usercenter/cropeditor.h"
#include "views/toolbar/plaintooltip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace tovra {

namespace {
QPushButton *symbolButton(const QString &symbol, const QString &tip, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setIcon(Icons::icon(symbol, Palette::text()));
    setPlainToolTip(button, tip);
    // Icon only: the tip is what a screen reader reads.
    button->setAccessibleName(tip);
    setPointingHand(button);
    return button;
}
}

AvatarCropView::AvatarCropView(const QImage &image, Confirm onConfirm, Cancel onCancel, QWidget *parent)
    : QDialog(parent), m_onConfirm(std::move(onConfirm)), m_onCancel(std::move(onCancel))
{
    setWindowTitle(QStringLiteral("裁剪头像"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);

    layout->addWidget(tintedLabel(QStringLiteral("裁剪头像"), TextStyle::kBody, Palette::Name::Text, this, QFont::DemiBold),
                      0, Qt::AlignHCenter);

    m_editor = new CropEditor(image, this);
    layout->addWidget(m_editor, 0, Qt::AlignHCenter);

    auto *controls = new QHBoxLayout;
    controls->setSpacing(12);
    controls->addWidget(new SymbolView(QStringLiteral("minus.magnifyingglass"), 16, Palette::Name::TextDim, this));
    m_slider = new QSlider(Qt::Horizontal, this);
    // 160 wide where the row has room; it gives way before the sheet grows past its width.
    m_slider->setMaximumWidth(160);
    m_slider->setMinimumWidth(96);
    m_slider->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_slider->setRange(0, kSliderSteps);
    m_slider->setAccessibleName(QStringLiteral("缩放"));
    controls->addWidget(m_slider);
    controls->addWidget(new SymbolView(QStringLiteral("plus.magnifyingglass"), 16, Palette::Name::TextDim, this));
    m_rotateLeft = symbolButton(QStringLiteral("rotate.left"), QStringLiteral("左转 90°"), this);
    m_rotateRight = symbolButton(QStringLiteral("rotate.right"), QStringLiteral("右转 90°"), this);
    m_reset = new QPushButton(QStringLiteral("重置"), this);
    setPointingHand(m_reset);
    controls->addWidget(m_rotateLeft);
    controls->addWidget(m_rotateRight);
    controls->addWidget(m_reset);
    layout->addLayout(controls);

    QLabel *hint = tintedLabel(QStringLiteral("拖动调整位置，双指或滑块缩放"), 11, Palette::Name::TextFaint, this);
    layout->addWidget(hint, 0, Qt::AlignHCenter);

    auto *actions = new QHBoxLayout;
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setAutoDefault(false);
    setPointingHand(m_cancel);
    m_confirm = new QPushButton(QStringLiteral("使用这张"), this);
    m_confirm->setDefault(true);
    setPointingHand(m_confirm);
    actions->addWidget(m_cancel);
    actions->addStretch(1);
    actions->addWidget(m_confirm);
    layout->addLayout(actions);
    // The width is the sheet's own; only the height follows the content.
    setFixedSize(kWidth, layout->sizeHint().height());

    const auto sliderScale = [](int position) {
        return CropGeometry::kMinScale
               + (CropGeometry::kMaxScale - CropGeometry::kMinScale) * position / qreal(kSliderSteps);
    };
    connect(m_slider, &QSlider::valueChanged, this, [this, sliderScale](int position) {
        m_editor->change([&](CropGeometry &g) { g.slide(sliderScale(position)); });
        // A click on the track or a key moves the knob without a drag to release: that move is
        // finished at once and becomes the base of the next pinch.
        if (!m_slider->isSliderDown())
            m_editor->change([](CropGeometry &g) { g.endSlide(); });
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_editor->change([](CropGeometry &g) { g.endSlide(); }); });
    connect(m_rotateLeft, &QPushButton::clicked, this, [this] { m_editor->change([](CropGeometry &g) { g.rotateLeft(); }); });
    connect(m_rotateRight, &QPushButton::clicked, this, [this] { m_editor->change([](CropGeometry &g) { g.rotateRight(); }); });
    connect(m_reset, &QPushButton::clicked, this, [this] { m_editor->change([](CropGeometry &g) { g.reset(); }); });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_onCancel)
            m_onCancel();
    });
    connect(m_confirm, &QPushButton::clicked, this, &AvatarCropView::confirm);
    connect(m_editor, &CropEditor::geometryChanged, this, &AvatarCropView::syncSlider);
    syncSlider();
}

AvatarCropView::~AvatarCropView() = default;

void AvatarCropView::syncSlider()
{
    const qreal scale = m_editor->geometry().scale;
    const int position = qRound((scale - CropGeometry::kMinScale) / (CropGeometry::kMaxScale - CropGeometry::kMinScale)
                                * kSliderSteps);
    if (m_slider->value() == position)
        return;
    // Moving the knob to follow a pinch must not feed back into the zoom it shows.
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(position);
}

void AvatarCropView::confirm()
{
    const QImage square = m_editor->geometry().render(m_editor->image());
    const std::optional<QByteArray> jpeg = CropGeometry::encodeJpeg(square);
    if (jpeg) {
        if (m_onConfirm)
            m_onConfirm(*jpeg);
    } else if (m_onCancel) {
        m_onCancel();
    }
}

}
