#include "ui/widgets/flow_layout.h"

#include <QSpacerItem>
#include <QtTest>

namespace {

// An item of fixed size whose placement the test can read back.
class FixedItem : public QSpacerItem {
public:
    FixedItem(int w, int h, QSize minimum = QSize())
        : QSpacerItem(w, h, QSizePolicy::Fixed, QSizePolicy::Fixed), m_min(minimum.isValid() ? minimum : QSize(w, h)) {}
    QSize minimumSize() const override { return m_min; }
    void setGeometry(const QRect &r) override { placed = r; QSpacerItem::setGeometry(r); }
    QRect placed;
private:
    QSize m_min;
};

using Sizes = QVector<QSize>;
using Rects = QVector<QRect>;

} // namespace

Q_DECLARE_METATYPE(Sizes)
Q_DECLARE_METATYPE(Rects)
Q_DECLARE_METATYPE(QMargins)

class TestFlowLayout : public QObject {
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void minimumSizeOfItems_data();
    void minimumSizeOfItems();
    void outOfRangeAccess();
    void spacingSetters();
};

void TestFlowLayout::placement_data()
{
    QTest::addColumn<Sizes>("items");
    QTest::addColumn<int>("maxColumns");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<Rects>("expected");

    const QMargins none(0, 0, 0, 0);
    // 7 cards in 3 columns: rows 3/3/1, each centred. Row width 3*100+2*8=316,
    // (1000-316)/2 = 342; the lone item (1000-100)/2 = 450.
    {
        Sizes s(7, QSize(100, 50));
        Rects r;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col)
                r << QRect(342 + col * 108, row * 62, 100, 50);
        r << QRect(450, 124, 100, 50);
        QTest::newRow("seven items, three columns: 3/3/1, last centred") << s << 3 << QRect(0, 0, 1000, 400) << none << r;
    }
    QTest::newRow("exact fit at 316 keeps three on one row")
        << Sizes(3, QSize(100, 10)) << 0 << QRect(0, 0, 316, 100) << none
        << Rects{QRect(0, 0, 100, 10), QRect(108, 0, 100, 10), QRect(216, 0, 100, 10)};
    // At 315 the third moves down; first row 208 wide: floor(107/2)=53.
    QTest::newRow("one pixel short at 315 breaks the row")
        << Sizes(3, QSize(100, 10)) << 0 << QRect(0, 0, 315, 100) << none
        << Rects{QRect(53, 0, 100, 10), QRect(161, 0, 100, 10), QRect(107, 22, 100, 10)};
    QTest::newRow("wider than the row overhangs by half the excess")
        << Sizes{QSize(305, 20)} << 0 << QRect(0, 0, 310, 100) << QMargins(5, 0, 5, 0)
        << Rects{QRect(2, 0, 305, 20)};
    QTest::newRow("odd remainder leaves the extra pixel on the right")
        << Sizes{QSize(100, 20)} << 0 << QRect(10, 7, 201, 100) << QMargins(0, 3, 0, 0)
        << Rects{QRect(60, 10, 100, 20)};
    // Row 1 tallest 40 -> row 2 at 40+12; shorter items sit at the top.
    QTest::newRow("mixed heights: next row below the tallest")
        << Sizes{QSize(50, 40), QSize(50, 10), QSize(50, 25)} << 2 << QRect(0, 0, 200, 300) << none
        << Rects{QRect(46, 0, 50, 40), QRect(104, 0, 50, 10), QRect(75, 52, 50, 25)};
    QTest::newRow("one column: each item alone and centred")
        << Sizes{QSize(20, 10), QSize(40, 10)} << 1 << QRect(0, 0, 100, 100) << none
        << Rects{QRect(40, 0, 20, 10), QRect(30, 22, 40, 10)};
    QTest::newRow("negative column limit means no limit")
        << Sizes(4, QSize(10, 10)) << -1 << QRect(0, 0, 100, 100) << none
        << Rects{QRect(18, 0, 10, 10), QRect(36, 0, 10, 10), QRect(54, 0, 10, 10), QRect(72, 0, 10, 10)};
    QTest::newRow("first item of a row accepted whatever its width")
        << Sizes{QSize(500, 10), QSize(500, 10)} << 0 << QRect(0, 0, 100, 100) << none
        << Rects{QRect(-200, 0, 500, 10), QRect(-200, 22, 500, 10)};
}

void TestFlowLayout::placement()
{
    QFETCH(Sizes, items);
    QFETCH(int, maxColumns);
    QFETCH(QRect, rect);
    QFETCH(QMargins, margins);
    QFETCH(Rects, expected);

    FlowLayout layout;
    layout.setContentsMargins(margins);
    layout.setMaxColumns(maxColumns);
    QVector<FixedItem *> added;
    for (const QSize &s : items) {
        added << new FixedItem(s.width(), s.height());
        layout.addItem(added.last());
    }
    layout.setGeometry(rect);
    QCOMPARE(added.size(), expected.size());
    for (int i = 0; i < added.size(); ++i)
        QCOMPARE(added[i]->placed, expected[i]);
}

void TestFlowLayout::minimumSizeOfItems_data()
{
    QTest::addColumn<Sizes>("minimums");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("empty: invalid size grown by the margins") << Sizes{} << QMargins(3, 4, 5, 6) << QSize(7, 9);
    QTest::newRow("empty without margins") << Sizes{} << QMargins(0, 0, 0, 0) << QSize(-1, -1);
    QTest::newRow("largest of each dimension, not a sum")
        << Sizes{QSize(10, 80), QSize(60, 5), QSize(30, 30)} << QMargins(1, 2, 3, 4) << QSize(64, 86);
}

void TestFlowLayout::minimumSizeOfItems()
{
    QFETCH(Sizes, minimums);
    QFETCH(QMargins, margins);
    QFETCH(QSize, expected);
    FlowLayout layout;
    layout.setContentsMargins(margins);
    for (const QSize &m : minimums)
        layout.addItem(new FixedItem(200, 200, m));
    QCOMPARE(layout.minimumSize(), expected);
    QCOMPARE(layout.sizeHint(), expected);
}

void TestFlowLayout::outOfRangeAccess()
{
    FlowLayout layout;
    auto *a = new FixedItem(1, 1);
    auto *b = new FixedItem(2, 2);
    layout.addItem(a);
    layout.addItem(b);
    QVERIFY(!layout.itemAt(-1));
    QVERIFY(!layout.itemAt(2));
    QVERIFY(!layout.takeAt(-1));
    QVERIFY(!layout.takeAt(2));
    QCOMPARE(layout.count(), 2);
    QCOMPARE(layout.itemAt(1), b);
    QLayoutItem *taken = layout.takeAt(0);
    QCOMPARE(taken, a);
    delete taken;
    QCOMPARE(layout.count(), 1);
    QCOMPARE(layout.itemAt(0), b);
}

void TestFlowLayout::spacingSetters()
{
    FlowLayout layout;
    QCOMPARE(layout.spacing(), qMakePair(8, 12));
    QCOMPARE(layout.maxColumns(), 0);
    layout.setHorizontalSpacing(5);
    QCOMPARE(layout.spacing(), qMakePair(5, 12));
    layout.setVerticalSpacing(7);
    QCOMPARE(layout.spacing(), qMakePair(5, 7));
    layout.setSpacing(3);
    QCOMPARE(layout.horizontalSpacing(), 3);
    QCOMPARE(layout.verticalSpacing(), 3);

    // A changed gap takes effect at the next placement.
    auto *a = new FixedItem(10, 10);
    auto *b = new FixedItem(10, 10);
    layout.addItem(a);
    layout.addItem(b);
    layout.setGeometry(QRect(0, 0, 100, 100));
    QCOMPARE(b->placed.x() - a->placed.right() - 1, 3);
}

QTEST_MAIN(TestFlowLayout)
#include "tst_flow_layout.moc"
