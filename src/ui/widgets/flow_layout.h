#pragma once

#include <QLayout>
#include <QList>
#include <QPair>
#include <QRect>

// Places items left to right in rows, each row centred, breaking a row when
// the next item would not fit or the row holds the maximum column count.
class FlowLayout final : public QLayout {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlowLayout)

public:
    explicit FlowLayout(QWidget *parent = nullptr);
    ~FlowLayout() override;

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;

    // Sets both gaps (hides QLayout::setSpacing, which is not virtual in Qt 5).
    void setSpacing(int spacing);
    // Horizontal gap first, vertical second.
    QPair<int, int> spacing() const;
    int horizontalSpacing() const;
    int verticalSpacing() const;
    void setHorizontalSpacing(int spacing);
    void setVerticalSpacing(int spacing);

    void setMaxColumns(int max_columns);
    int maxColumns() const;

    void setGeometry(const QRect &rect) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;

private:
    void doLayout(const QRect &rect);
    void layoutLine(const QList<QLayoutItem *> &items, const QRect &rect, int y, int lineHeight,
                     int availableWidth);

    QList<QLayoutItem *> m_items;
    int m_hSpacing = 8;
    int m_vSpacing = 12;
    int m_maxColumns = 0;
};

// Empties `layout`. Each widget it held is hidden at once and deleted later;
// widgets inside a nested layout stay with their parent.
void clear_layout(QLayout *layout);
