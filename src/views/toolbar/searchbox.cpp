#include "views/toolbar/searchbox.h"

#include "models/suggestion.h"
#include "network/apiclient.h"
#include "views/toolbar/searchfield.h"
#include "views/toolbar/suggestlayer.h"
#include "views/toolbar/suggestpanel.h"

#include <QEvent>
#include <QLayout>
#include <QPointer>

namespace tovra {

SearchBox::SearchBox(QWidget *slot, QWidget *bar, QWidget *overlay, std::function<QString()> currentText,
                     QObject *parent)
    : QObject(parent), m_slot(slot), m_bar(bar), m_overlay(overlay), m_currentText(std::move(currentText))
{
    m_field = new SearchField(slot);
    slot->layout()->addWidget(m_field);
    connect(m_field, &SearchField::moveRequested, this, &SearchBox::move);
    connect(m_field, &SearchField::escapePressed, this, &SearchBox::dismiss);
    slot->installEventFilter(this);
    m_field->fieldGroup()->installEventFilter(this);

    m_layer = new SuggestLayer(overlay);
    m_layer->hide();
    connect(m_layer, &SuggestLayer::dismissed, this, &SearchBox::dismiss);
    connect(m_layer->panel(), &SuggestPanel::rowClicked, this, [this](int index) {
        if (index >= 0 && index < m_suggestions.size())
            emit chosen(m_suggestions.at(index));
    });
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(kDebounce);
    connect(&m_debounce, &QTimer::timeout, this, [this] { QCoro::connect(fetch(m_pendingQuery), this, [] {}); });
}

SuggestPanel *SearchBox::panel() const
{
    return m_layer->panel();
}

const SuggestItem *SearchBox::returnTarget() const
{
    if (suggestion::returnOpensRow(m_shows, m_active, m_suggestions.size()))
        return &m_suggestions.at(m_active);
    return nullptr;
}

void SearchBox::load(const QString &text)
{
    m_debounce.stop();
    // Whatever lookup is under way answers for an older text now.
    m_loads.invalidate();
    const QString query = suggestion::trimmedQuery(text);
    if (query.isEmpty()) {
        const bool changed = !m_suggestions.isEmpty() || m_shows || m_active != -1;
        m_suggestions.clear();
        m_active = -1;
        m_shows = false;
        if (changed) {
            updateLayer(true);
            emit suggestionsChanged();
        }
        return;
    }
    m_pendingQuery = query;
    m_debounce.start();
}

QCoro::Task<void> SearchBox::fetch(QString query)
{
    const auto ticket = m_loads.begin();
    QPointer self = this;
    auto reply = co_await APIClient::shared()->suggest(query);
    if (!self || !m_loads.isCurrent(ticket))
        co_return;
    // The text can have changed without a new lookup having started yet; only an answer for what
    // is in the field now may be shown.
    if (suggestion::trimmedQuery(m_currentText()) != query)
        co_return;
    // Suggestions are an extra: a failure is simply no suggestions.
    publish(reply ? std::move(*reply) : QList<SuggestItem>());
}

void SearchBox::publish(QList<SuggestItem> hits)
{
    m_suggestions = std::move(hits);
    m_active = -1;
    m_shows = !m_suggestions.isEmpty();
    updateLayer(true);
    emit suggestionsChanged();
}

void SearchBox::move(int step)
{
    if (m_suggestions.isEmpty())
        return;
    m_active = suggestion::movedSelection(m_active, m_suggestions.size(), step);
    m_layer->panel()->setActive(m_active);
    emit suggestionsChanged();
}

void SearchBox::hideQuietly()
{
    m_shows = false;
    m_active = -1;
    updateLayer(false);
}

void SearchBox::dismiss()
{
    hideQuietly();
    emit suggestionsChanged();
}

void SearchBox::hideForSubmit()
{
    if (!m_shows)
        return;
    m_shows = false;
    updateLayer(false);
    emit suggestionsChanged();
}

void SearchBox::updateLayer(bool rowsChanged)
{
    SuggestPanel *panel = m_layer->panel();
    if (rowsChanged)
        panel->setSuggestions(m_suggestions, m_active);
    else if (panel->active() != m_active)
        panel->setActive(m_active);
    const bool visible = m_shows && !m_suggestions.isEmpty();
    if (visible) {
        place();
        m_layer->show();
        m_layer->raise();
    } else {
        m_layer->hide();
    }
}

void SearchBox::followField()
{
    if (m_layer->isVisible())
        place();
}

void SearchBox::place()
{
    const QRect bar(m_bar->mapTo(m_overlay, QPoint(0, 0)), m_bar->size());
    // Under the field itself, just below the toolbar's bottom line.
    const QPoint field = m_field->fieldGroup()->mapTo(m_overlay, QPoint(0, 0));
    const QPoint panelAt(field.x(), bar.bottom() + 1 + 4);
    m_layer->place(m_overlay->rect(), bar, panelAt);
}

bool SearchBox::eventFilter(QObject *watched, QEvent *event)
{
    // The field moves over when the account items change width; the panel follows it.
    if ((watched == m_slot || watched == m_field->fieldGroup())
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize) && !m_layer->isHidden())
        place();
    return QObject::eventFilter(watched, event);
}

}
