#include "views/usercenter/messageview.h"

#include "models/messagelogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/stateoverlay.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/usercenter/filledbox.h"
#include "views/usercenter/hairline.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr qreal kCaption = 11;
constexpr int kRowPadding = 3;

QLabel *wrapped(const QString &text, qreal pixels, Palette::Name role, QWidget *parent,
                QFont::Weight weight = QFont::Normal)
{
    QLabel *label = tintedLabel(text, pixels, role, parent, weight);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QWidget *noticeRow(const NoticeItem &item, const QMap<QString, QString> &titles, QWidget *parent)
{
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("noticeRow"));
    auto *column = new QVBoxLayout(row);
    column->setContentsMargins(0, kRowPadding, 0, kRowPadding);
    column->setSpacing(4);

    auto *head = new QHBoxLayout;
    head->setSpacing(6);
    head->addWidget(tintedLabel(messagelogic::actorName(item), TextStyle::kCallout, Palette::Name::Text, row, QFont::Bold));
    head->addWidget(tintedLabel(messagelogic::actionText(item), kCaption, Palette::Name::TextDim, row));
    if (const auto title = messagelogic::titlePart(item, titles))
        head->addWidget(tintedLabel(*title, kCaption, Palette::Name::TextDim, row));
    if (item.unread)
        head->addWidget(unreadDot(row), 0, Qt::AlignVCenter);
    head->addStretch(1);
    head->addWidget(tintedLabel(messagelogic::timeText(item), TextStyle::kCaption2, Palette::Name::TextFaint, row));
    column->addLayout(head);

    if (const auto content = messagelogic::contentLine(item))
        column->addWidget(wrapped(*content, TextStyle::kCallout, Palette::Name::Text, row));

    if (const auto quote = messagelogic::quoteLine(item)) {
        auto *box = new FilledBox(Palette::Name::Surface2, 6, row);
        auto *inner = new QVBoxLayout(box);
        inner->setContentsMargins(7, 7, 7, 7);
        QLabel *text = wrapped(*quote, kCaption, Palette::Name::TextDim, box);
        // At most two lines: whatever wraps further is cut off below the second.
        text->setMaximumHeight(text->fontMetrics().lineSpacing() * 2);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        inner->addWidget(text);
        column->addWidget(box);
    }
    return row;
}

QWidget *boardRow(const BoardMessage &message, QWidget *parent)
{
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("boardRow"));
    auto *column = new QVBoxLayout(row);
    column->setContentsMargins(0, kRowPadding, 0, kRowPadding);
    column->setSpacing(4);

    auto *head = new QHBoxLayout;
    head->addWidget(wrapped(messagelogic::boardText(message), TextStyle::kBody, Palette::Name::Text, row), 1);
    if (message.unread)
        head->addWidget(unreadDot(row), 0, Qt::AlignVCenter);
    head->addWidget(tintedLabel(messagelogic::time(message.created), TextStyle::kCaption2, Palette::Name::TextFaint, row),
                    0, Qt::AlignTop);
    column->addLayout(head);

    if (messagelogic::hasReply(message)) {
        const BoardReply &reply = *message.reply;
        auto *box = new FilledBox(Palette::Name::Surface2, 6, row);
        box->setObjectName(QStringLiteral("replyBox"));
        auto *inner = new QVBoxLayout(box);
        inner->setContentsMargins(8, 8, 8, 8);
        inner->setSpacing(2);
        auto *replyHead = new QHBoxLayout;
        replyHead->addWidget(tintedLabel(messagelogic::replyHeading(reply), kCaption, Palette::Name::TextDim, box, QFont::Bold));
        replyHead->addStretch(1);
        if (const auto time = messagelogic::replyTime(reply))
            replyHead->addWidget(tintedLabel(*time, TextStyle::kCaption2, Palette::Name::TextFaint, box));
        inner->addLayout(replyHead);
        inner->addWidget(wrapped(reply.message, TextStyle::kCallout, Palette::Name::TextDim, box));
        column->addWidget(box);
    }
    return row;
}

QWidget *divider(QWidget *parent)
{
    return usercenter::hairline(parent, Palette::Name::Border);
}
}

MessageView::MessageView(QWidget *parent) : QWidget(parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(14, 14, 14, 14);
    header->setSpacing(10);
    header->addWidget(buildSegments({{QStringLiteral("评论提醒"), QStringLiteral("notice")},
                                     {QStringLiteral("站内留言"), QStringLiteral("board")}},
                                    200, m_tabGroup, &MessageView::setTab, QAccessible::PageTab));
    m_typeBox = buildSegments({{QStringLiteral("全部"), QStringLiteral("all")},
                               {QStringLiteral("回复"), QStringLiteral("reply")},
                               {QStringLiteral("点赞"), QStringLiteral("like")}},
                              180, m_typeGroup, &MessageView::setType, QAccessible::RadioButton);
    header->addWidget(m_typeBox);
    header->addStretch(1);
    page->addLayout(header);
    page->addWidget(divider(this));

    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), this);
    page->addWidget(m_overlay, 1);

    m_scroll = new QScrollArea(this);
    Access::passThrough(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->viewport()->setAutoFillBackground(false);
    page->addWidget(m_scroll, 1);

    connect(AuthStore::shared(), &AuthStore::accountChanged, this, &MessageView::dropAccount);
    render();
    followAppearance(this, [this](bool) { render(); });
}

MessageView::~MessageView() = default;

QWidget *MessageView::buildSegments(const QList<std::pair<QString, QString>> &options, int width,
                                    QButtonGroup *&group, void (MessageView::*choose)(const QString &),
                                    QAccessible::Role role)
{
    auto *box = new QWidget(this);
    box->setFixedWidth(width);
    if (role == QAccessible::PageTab)
        Access::describe(box, QStringLiteral("消息类别"), QAccessible::PageTabList);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    group = new QButtonGroup(box);
    group->setExclusive(true);
    for (const auto &[title, value] : options) {
        auto *button = new QPushButton(title, box);
        button->setCheckable(true);
        button->setProperty("value", value);
        Access::choice(button, role);
        setPointingHand(button);
        group->addButton(button);
        row->addWidget(button, 1);
        connect(button, &QPushButton::clicked, this, [this, choose, value] { (this->*choose)(value); });
    }
    return box;
}

void MessageView::setTab(const QString &tab)
{
    if (tab == m_tab)
        return;
    m_tab = tab;
    m_page = 1;
    startLoad();
}

void MessageView::setType(const QString &type)
{
    if (type == m_type)
        return;
    m_type = type;
    m_page = 1;
    startLoad();
}

void MessageView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_started)
        startLoad();
}

void MessageView::startLoad()
{
    m_started = true;
    load();
}

QCoro::Task<> MessageView::load()
{
    QPointer self = this;
    const LoadGeneration::Ticket ticket = m_generation.begin();
    m_loading = true;
    m_error.reset();
    render();

    Result<MessageData> reply = co_await APIClient::shared()->messages(m_tab, m_type, m_page);
    // A reply for a selection the user has already left must not replace what the newer load
    // brings, whichever of the two finishes last.
    if (!self || !m_generation.isCurrent(ticket))
        co_return;
    if (reply) {
        m_data = std::move(*reply);
        rebuildRows();
    } else {
        m_error = reply.error().description();
    }
    m_loading = false;
    render();
}

// The messages belong to the account that was signed in; the chosen list and filter are the
// user's choice and stay. A page off screen loads when it next shows.
void MessageView::dropAccount()
{
    m_generation.invalidate();
    m_data.reset();
    m_page = 1;
    m_loading = true;
    m_error.reset();
    rebuildRows();
    render();
    m_started = false;
    if (isVisible())
        startLoad();
}

void MessageView::rebuildRows()
{
    m_rows = new QWidget;
    m_rows->setObjectName(QStringLiteral("messageRows"));
    auto *column = new QVBoxLayout(m_rows);
    column->setContentsMargins(14, 6, 14, 6);
    column->setSpacing(6);
    bool first = true;
    const auto add = [&](QWidget *row) {
        if (!first)
            column->addWidget(divider(m_rows));
        first = false;
        column->addWidget(row);
    };
    if (m_data && m_tab == QLatin1String(messagelogic::kNoticeTab)) {
        if (m_data->notice)
            for (const NoticeItem &item : m_data->notice->list)
                add(noticeRow(item, m_data->notice->titles, m_rows));
    } else if (m_data) {
        for (const BoardMessage &message : m_data->board)
            add(boardRow(message, m_rows));
    }
    column->addStretch(1);
    // The scroll area deletes the previous rows.
    m_scroll->setWidget(m_rows);
}

void MessageView::render()
{
    // The chosen segment reads in the accent colour: the style's pressed shade alone is too
    // faint to tell in the dark appearance.
    const auto mark = [](QButtonGroup *group, const QString &chosen) {
        for (QAbstractButton *button : group->buttons()) {
            const bool on = button->property("value").toString() == chosen;
            button->setChecked(on);
            QPalette p = button->palette();
            p.setColor(QPalette::ButtonText, on ? Palette::accent() : Palette::text());
            button->setPalette(p);
        }
    };
    mark(m_tabGroup, m_tab);
    mark(m_typeGroup, m_type);
    m_typeBox->setVisible(m_tab == QLatin1String(messagelogic::kNoticeTab));

    std::optional<StateOverlay::Kind> kind;
    if (m_loading) {
        kind = StateOverlay::Kind::loading();
    } else if (m_error) {
        QPointer self = this;
        kind = StateOverlay::Kind::error(*m_error, [self] {
            if (self)
                self->load();
        });
    } else if (m_data) {
        if (const auto empty = messagelogic::emptyMessage(*m_data, m_tab))
            kind = StateOverlay::Kind::empty(*empty);
    }
    const bool showList = !kind && m_data;
    if (kind)
        m_overlay->setKind(*kind);
    m_overlay->setVisible(kind.has_value());
    m_scroll->setVisible(showList);
}

}
