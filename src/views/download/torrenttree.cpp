#include "views/download/torrenttree.h"

#include "models/downloadlogic.h"
#include "views/components/access.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/download/elidedlabel.h"
#include "views/icons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr qreal kCaptionPixels = 11;

QString drawable(const QString &symbol)
{
    return Icons::contains(symbol) ? symbol : QStringLiteral("doc");
}

QLabel *sizeLabel(const QString &text, QWidget *parent)
{
    QLabel *label = tintedLabel(text, kCaptionPixels, Palette::Name::TextFaint, parent);
    label->setFont(monoFont(kCaptionPixels));
    return label;
}
}

TorrentTree::TorrentTree(const QList<TorrentEntry> &entries, const QSet<QString> &expanded, QWidget *parent)
    : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 0, 12, 0);
    column->setSpacing(0);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const TorrentEntry &entry = entries.at(i);
        const bool folder = !entry.children.isEmpty();
        Row row;
        row.name = entry.name;
        row.row = new QWidget(this);
        auto *line = new QHBoxLayout(row.row);
        line->setContentsMargins(0, 7, 0, 7);
        line->setSpacing(8);
        row.icon = new SymbolView(folder ? QStringLiteral("folder.fill") : drawable(downloads::fileIcon(entry.name)), 16,
                                  Palette::Name::TextDim, row.row);
        line->addWidget(row.icon);
        auto *name = new ElidedLabel(entry.name, row.row);
        name->setFont(uiFont(TextStyle::kCallout));
        tint(name, Palette::Name::Text);
        line->addWidget(name, 1);
        if (folder) {
            line->addWidget(tintedLabel(QStringLiteral("%1 个文件").arg(entry.children.size()), kCaptionPixels,
                                        Palette::Name::TextFaint, row.row));
            row.chevron = new SymbolView(QStringLiteral("chevron.right"), 11, Palette::Name::TextFaint, row.row);
            line->addWidget(row.chevron);
            row.row->installEventFilter(this);
            setPointingHand(row.row);
            Access::control(row.row, entry.name + QStringLiteral("，%1 个文件").arg(entry.children.size()),
                            QAccessible::Button, [this, name = entry.name] { emit toggled(name); });
        } else if (!entry.size.isEmpty()) {
            line->addWidget(sizeLabel(entry.size, row.row));
        }
        column->addWidget(row.row);

        if (folder) {
            row.children = new QWidget(this);
            auto *box = new QVBoxLayout(row.children);
            box->setContentsMargins(24, 0, 0, 6);
            box->setSpacing(0);
            for (const TorrentEntry &child : entry.children)
                box->addWidget(leaf(child, row.children));
            column->addWidget(row.children);
        }
        if (i + 1 < entries.size()) {
            auto *divider = new QFrame(this);
            divider->setFrameShape(QFrame::HLine);
            divider->setFrameShadow(QFrame::Plain);
            divider->setFixedHeight(1);
            tint(divider, Palette::Name::BorderSoft);
            column->addWidget(divider);
        }
        m_rows.append(row);
    }
    setExpanded(expanded);
}

QWidget *TorrentTree::leaf(const TorrentEntry &child, QWidget *parent)
{
    // Two levels only: a child's own children are not shown.
    auto *row = new QWidget(parent);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 4, 0, 4);
    line->setSpacing(8);
    line->addWidget(new SymbolView(drawable(downloads::fileIcon(child.name)), 16, Palette::Name::TextFaint, row));
    auto *name = new ElidedLabel(child.name, row);
    name->setFont(uiFont(kCaptionPixels));
    tint(name, Palette::Name::Text);
    line->addWidget(name, 1);
    line->addWidget(sizeLabel(child.size, row));
    return row;
}

void TorrentTree::setExpanded(const QSet<QString> &expanded)
{
    for (const Row &row : std::as_const(m_rows)) {
        if (!row.children)
            continue;
        const bool open = expanded.contains(row.name);
        row.children->setVisible(open);
        row.chevron->setName(open ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"));
    }
}

bool TorrentTree::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        for (const Row &row : std::as_const(m_rows)) {
            if (row.row == watched) {
                emit toggled(row.name);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}
