#pragma once

#include <QWidget>

class QAbstractButton;
class QLineEdit;

namespace tovra {

class ToolbarButton;

// The toolbar's search field: a borderless text field with a clear button, joined on its right
// to the "搜索" button. It only reports what the user does; the window owns the text and decides
// what each key means.
//
// The arrow keys and Escape are always taken by the field, even with no suggestions on screen,
// so the arrows never move the caret and Escape never reaches the window.
class SearchField : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 36;
    static constexpr int kMinimumFieldWidth = 180;
    static constexpr int kIdealFieldWidth = 433;
    static inline const QString kPlaceholder = QStringLiteral("片名/主演/导演/地区/评分 组合搜索...");

    explicit SearchField(QWidget *parent = nullptr);

    QString text() const;
    // Sets the text without reporting it as typed.
    void setText(const QString &text);

    QLineEdit *lineEdit() const { return m_edit; }
    ToolbarButton *clearButton() const { return m_clear; }
    QAbstractButton *searchButton() const { return m_submit; }
    // The part of the control that holds the text, for placing the suggestion panel under it.
    QWidget *fieldGroup() const { return m_group; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void textEdited(const QString &text);
    void returnPressed();
    void moveRequested(int step);
    void escapePressed();
    void clearClicked();
    void searchClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void applyColors();
    void updateClearButton();

    QWidget *m_group = nullptr;
    QLineEdit *m_edit = nullptr;
    ToolbarButton *m_clear = nullptr;
    QAbstractButton *m_submit = nullptr;
};

}
