#include "views/toolbar/searchfield.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/focusring.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/palette.h"
#include "views/toolbar/toolbarbutton.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tovra {

namespace {

constexpr qreal kRadius = 9;
constexpr int kButtonPadding = 20;

QPainterPath roundedOn(const QRectF &r, bool leading)
{
    // Only one side is rounded: the field's left end and the button's right end meet square.
    QPainterPath path;
    const qreal d = 2 * kRadius;
    if (leading) {
        path.moveTo(r.right(), r.top());
        path.lineTo(r.left() + kRadius, r.top());
        path.arcTo(QRectF(r.left(), r.top(), d, d), 90, 90);
        path.lineTo(r.left(), r.bottom() - kRadius);
        path.arcTo(QRectF(r.left(), r.bottom() - d, d, d), 180, 90);
        path.lineTo(r.right(), r.bottom());
    } else {
        path.moveTo(r.left(), r.top());
        path.lineTo(r.right() - kRadius, r.top());
        path.arcTo(QRectF(r.right() - d, r.top(), d, d), 90, -90);
        path.lineTo(r.right(), r.bottom() - kRadius);
        path.arcTo(QRectF(r.right() - d, r.bottom() - d, d, d), 0, -90);
        path.lineTo(r.left(), r.bottom());
    }
    path.closeSubpath();
    return path;
}

// "搜索": white bold text on the accent colour, square on the left where it meets the field.
class SubmitButton : public QAbstractButton
{
public:
    explicit SubmitButton(QWidget *parent) : QAbstractButton(parent)
    {
        setText(QStringLiteral("搜索"));
        setObjectName(QStringLiteral("searchButton"));
        Access::button(this);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setPointingHand(this);
    }

    QSize sizeHint() const override
    {
        const QFontMetricsF fm(uiFont(13.5, QFont::Bold));
        return {int(std::ceil(fm.horizontalAdvance(text()))) + 2 * kButtonPadding, SearchField::kHeight};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = Palette::accent();
        if (isDown())
            fill = fill.darker(115);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawPath(roundedOn(QRectF(rect()), false));
        painter.setFont(uiFont(13.5, QFont::Bold));
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }
};

}

SearchField::SearchField(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("searchField"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFixedHeight(kHeight);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    m_group = new QWidget(this);
    m_group->setObjectName(QStringLiteral("searchFieldGroup"));
    m_group->setMinimumWidth(kMinimumFieldWidth);
    m_group->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_group->setFixedHeight(kHeight);
    auto *groupRow = new QHBoxLayout(m_group);
    groupRow->setContentsMargins(14, 0, 14, 0);
    groupRow->setSpacing(8);

    m_edit = new QLineEdit(m_group);
    m_edit->setObjectName(QStringLiteral("searchEdit"));
    m_edit->setFrame(false);
    m_edit->setPlaceholderText(kPlaceholder);
    m_edit->setFont(uiFont(13.5));
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_edit->setAccessibleName(QStringLiteral("搜索"));
    // The field's own border turns accent while it has the focus: that is its ring.
    FocusRing::setDrawsOwnRing(m_edit);
    m_edit->installEventFilter(this);
    groupRow->addWidget(m_edit, 1, Qt::AlignVCenter);

    m_clear = new ToolbarButton(ToolbarButton::Style::Plain, m_group);
    m_clear->setObjectName(QStringLiteral("searchClearButton"));
    m_clear->setSymbol(QStringLiteral("xmark.circle.fill"));
    m_clear->setSymbolSize(15);
    m_clear->setColorRole(Palette::Name::TextFaint);
    m_clear->setToolTip(QStringLiteral("清除"));
    m_clear->setAccessibleName(QStringLiteral("清除"));
    groupRow->addWidget(m_clear, 0, Qt::AlignVCenter);

    m_submit = new SubmitButton(this);
    row->addWidget(m_group, 1);
    row->addWidget(m_submit, 0);

    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString &text) {
        updateClearButton();
        emit textEdited(text);
    });
    connect(m_clear, &ToolbarButton::clicked, this, &SearchField::clearClicked);
    connect(m_submit, &QAbstractButton::clicked, this, &SearchField::searchClicked);

    updateClearButton();
    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });
}

QString SearchField::text() const
{
    return m_edit->text();
}

void SearchField::setText(const QString &text)
{
    if (m_edit->text() != text)
        m_edit->setText(text);
    updateClearButton();
}

void SearchField::updateClearButton()
{
    m_clear->setVisible(!m_edit->text().isEmpty());
}

QSize SearchField::sizeHint() const
{
    return {kIdealFieldWidth + m_submit->sizeHint().width(), kHeight};
}

QSize SearchField::minimumSizeHint() const
{
    return {kMinimumFieldWidth + m_submit->sizeHint().width(), kHeight};
}

void SearchField::applyColors()
{
    // The field draws no background of its own: the group behind it is the field.
    QPalette p = m_edit->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Text, Palette::text());
    p.setColor(QPalette::PlaceholderText, Palette::textFaint());
    p.setColor(QPalette::Highlight, Palette::accent());
    p.setColor(QPalette::HighlightedText, Palette::onAccent());
    m_edit->setPalette(p);
    update();
}

bool SearchField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit) {
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            switch (key->key()) {
            case Qt::Key_Down:
                emit moveRequested(1);
                return true;
            case Qt::Key_Up:
                emit moveRequested(-1);
                return true;
            case Qt::Key_Escape:
                emit escapePressed();
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                emit returnPressed();
                return true;
            default:
                break;
            }
        } else if (event->type() == QEvent::ShortcutOverride) {
            // Claim Escape before any window shortcut can take it.
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Escape) {
                event->accept();
                return true;
            }
        } else if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            update();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SearchField::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF group = QRectF(m_group->geometry()).adjusted(0.5, 0.5, 0, -0.5);
    const QPainterPath path = roundedOn(group, true);
    painter.setBrush(Palette::surface(dark));
    const bool focused = m_edit->hasFocus();
    painter.setPen(QPen(focused ? Palette::accent(dark) : Palette::border(dark), 1));
    painter.drawPath(path);
}

}
