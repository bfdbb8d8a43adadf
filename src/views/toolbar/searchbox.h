#pragma once

#include "models/catalogue.h"
#include "models/loadgeneration.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <QCoro/QCoroTask>
#include <chrono>
#include <functional>

namespace tovra {

class SearchField;
class SuggestLayer;
class SuggestPanel;

// The toolbar's search field and its live suggestions: a debounced lookup per text, answers for
// an older text dropped, the keyboard highlight, and the panel kept under the field. The search
// text itself is the window's; it hands it over with every change.
class SearchBox : public QObject
{
    Q_OBJECT
public:
    // Only the last keystroke within this pause asks the search service.
    static constexpr std::chrono::milliseconds kDebounce{150};

    // The field goes into slot; the panel's layer covers overlay, leaving bar uncovered.
    // currentText answers the window's search text when a lookup comes back.
    SearchBox(QWidget *slot, QWidget *bar, QWidget *overlay, std::function<QString()> currentText, QObject *parent);

    SearchField *field() const { return m_field; }
    SuggestLayer *layer() const { return m_layer; }
    SuggestPanel *panel() const;
    const QList<SuggestItem> &suggestions() const { return m_suggestions; }
    // The panel is wanted; it is on screen only while there are suggestions too.
    bool shows() const { return m_shows; }
    // The keyboard-highlighted row, -1 for none.
    int active() const { return m_active; }
    // What Return opens: the highlighted row while the panel is up, else nothing.
    const SuggestItem *returnTarget() const;

    // Cancels the pending lookup and, for a non-blank text, starts a new one after the debounce.
    // A blank text empties and hides the panel at once and asks nothing.
    void load(const QString &text);
    // Moves the keyboard highlight, wrapping at both ends; nothing without suggestions.
    void move(int step);
    // Escape in the field or a click beside the panel.
    void dismiss();
    // A submitted search: the panel hides and keeps its highlight; a lookup under way is left to
    // finish, and shows the panel again if its text is still the field's.
    void hideForSubmit();
    // Hides the panel and drops the highlight, without telling anyone yet.
    void hideQuietly();
    // Keeps a visible panel under the field.
    void followField();
    // The pause before a lookup, kDebounce unless changed; applies from the next keystroke on.
    void setDebounce(std::chrono::milliseconds pause) { m_debounce.setInterval(pause); }

signals:
    void suggestionsChanged();
    // A row was clicked.
    void chosen(const SuggestItem &item);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QCoro::Task<void> fetch(QString query);
    void publish(QList<SuggestItem> hits);
    void updateLayer(bool rowsChanged);
    void place();

    QWidget *m_slot;
    QWidget *m_bar;
    QWidget *m_overlay;
    std::function<QString()> m_currentText;
    SearchField *m_field = nullptr;
    SuggestLayer *m_layer = nullptr;
    QList<SuggestItem> m_suggestions;
    bool m_shows = false;
    int m_active = -1;
    QString m_pendingQuery;
    QTimer m_debounce;
    LoadGeneration m_loads;
};

}
