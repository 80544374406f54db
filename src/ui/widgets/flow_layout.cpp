#include "ui/widgets/flow_layout.h"

#include <QWidget>

FlowLayout::FlowLayout(QWidget *parent)
    : QLayout(parent)
{
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem *item) { m_items.append(item); }

int FlowLayout::count() const { return m_items.size(); }

QLayoutItem *FlowLayout::itemAt(int index) const
{
    return (index >= 0 && index < m_items.size()) ? m_items.at(index) : nullptr;
}

QLayoutItem *FlowLayout::takeAt(int index)
{
    return (index >= 0 && index < m_items.size()) ? m_items.takeAt(index) : nullptr;
}

void FlowLayout::setSpacing(int spacing)
{
    m_hSpacing = spacing;
    m_vSpacing = spacing;
}

QPair<int, int> FlowLayout::spacing() const { return qMakePair(m_hSpacing, m_vSpacing); }
int FlowLayout::horizontalSpacing() const { return m_hSpacing; }
int FlowLayout::verticalSpacing() const { return m_vSpacing; }
void FlowLayout::setHorizontalSpacing(int spacing) { m_hSpacing = spacing; }
void FlowLayout::setVerticalSpacing(int spacing) { m_vSpacing = spacing; }
void FlowLayout::setMaxColumns(int max_columns) { m_maxColumns = max_columns; }
int FlowLayout::maxColumns() const { return m_maxColumns; }

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    doLayout(rect);
}

QSize FlowLayout::sizeHint() const { return minimumSize(); }

QSize FlowLayout::minimumSize() const
{
    QSize size;
    for (QLayoutItem *item : m_items)
        size = size.expandedTo(item->minimumSize());
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void FlowLayout::doLayout(const QRect &rect)
{
    const QMargins margins = contentsMargins();
    int y = rect.y() + margins.top();
    int lineHeight = 0;
    const int availableWidth = rect.width() - margins.left() - margins.right();

    QList<QLayoutItem *> row;
    int currentLineWidth = 0;
    for (QLayoutItem *item : m_items) {
        const int spaceX = horizontalSpacing();
        const QSize hint = item->sizeHint();
        const int itemWidth = hint.width();
        if (!row.isEmpty()
            && (currentLineWidth + spaceX + itemWidth > availableWidth
                || (m_maxColumns > 0 && row.size() >= m_maxColumns))) {
            layoutLine(row, rect, y, lineHeight, availableWidth);
            y += lineHeight + verticalSpacing();
            row.clear();
            currentLineWidth = 0;
            lineHeight = 0;
        }
        currentLineWidth += row.isEmpty() ? itemWidth : spaceX + itemWidth;
        row.append(item);
        lineHeight = qMax(lineHeight, hint.height());
    }
    if (!row.isEmpty())
        layoutLine(row, rect, y, lineHeight, availableWidth);
}

namespace {
int floor_div(int a, int b)
{
    int q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
} // namespace

void FlowLayout::layoutLine(const QList<QLayoutItem *> &items, const QRect &rect, int y,
                             int lineHeight, int availableWidth)
{
    Q_UNUSED(lineHeight) // items keep their own height and sit at the top of the row
    const QMargins margins = contentsMargins();
    const int spaceX = horizontalSpacing();
    int totalWidth = 0;
    for (QLayoutItem *item : items)
        totalWidth += item->sizeHint().width();
    totalWidth += spaceX * (items.size() - 1);

    int x = rect.x() + margins.left() + floor_div(availableWidth - totalWidth, 2);
    for (QLayoutItem *item : items) {
        const QSize hint = item->sizeHint();
        item->setGeometry(QRect(QPoint(x, y), hint));
        x += hint.width() + spaceX;
    }
}

void clear_layout(QLayout *layout)
{
    if (!layout)
        return;
    while (layout->count() > 0) {
        QLayoutItem *item = layout->takeAt(0);
        if (!item)
            break;
        // Hidden at once, so that the old widgets are never painted beside
        // their successors and the area under their drop shadows (which
        // reaches past their own rectangle) is repainted: deleted later
        // while still shown, their shadows would stay on screen.
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}
