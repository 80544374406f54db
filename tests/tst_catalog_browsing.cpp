// Browsing the catalogue in a real main window against the stand-in server:
// category loading, the navigation bar, the skin list, the paged grid, the
// instructions panel and the cover refresh.
#include "app/program_services.h"
#include "app/main_window.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/search_field.h"
#include "ui/browse/skin_grid.h"
#include "core/covers/cover_cache.h"
#include "ui/card/skin_widget.h"
#include "support/card_fixtures.h"
#include "core/support/config.h"
#include "support/log_capture.h"
#include "support/modal_answerer.h"
#include "support/test_server.h"
#include "ui/widgets/flow_layout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QJsonDocument>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTextCodec>
#include <QtTest>

#include <memory>

namespace {

const QString NONE = QStringLiteral("<none>");

// A complete record; weights and cover only when given.
QJsonObject rec(const QJsonValue &id, const QString &name, const QString &main, const QString &sub,
                const QJsonValue &main_weight = QJsonValue::Undefined,
                const QJsonValue &sub_weight = QJsonValue::Undefined, const QString &cover = QString())
{
    QJsonObject r{{"name", name},
                  {"MainCategory", main},
                  {"subcategory", sub},
                  {"pak_original", name + QStringLiteral(".pak")},
                  {"sig_original", name + QStringLiteral(".sig")}};
    if (!id.isUndefined())
        r.insert(QStringLiteral("skin_id"), id);
    if (!main_weight.isUndefined())
        r.insert(QStringLiteral("MainCategory_ranking_id"), main_weight);
    if (!sub_weight.isUndefined())
        r.insert(QStringLiteral("subcategory_ranking_id"), sub_weight);
    if (!cover.isEmpty())
        r.insert(QStringLiteral("cover"), cover);
    return r;
}

// n complete records of one category, ids counting down so that they keep
// their order: names "<prefix>1", "<prefix>2", ...
QJsonArray series(int n, const QString &main, const QString &sub, const QString &prefix = QStringLiteral("s"),
                  bool with_cover = false)
{
    QJsonArray out;
    for (int i = 1; i <= n; ++i) {
        const QString name = prefix + QString::number(i);
        out.append(rec(1000 - i, name, main, sub, QJsonValue::Undefined, QJsonValue::Undefined,
                       with_cover ? name + QStringLiteral(".png") : QString()));
    }
    return out;
}

QJsonArray concat(QJsonArray a, const QJsonArray &b)
{
    for (const QJsonValue &v : b)
        a.append(v);
    return a;
}

// The window's parts, found among its children as a user's clicks reach them.
struct Parts {
    CategoryBar *bar = nullptr;
    SkinGrid *grid = nullptr;
    QLayout *main_strip = nullptr;  // the layouts the category buttons sit in
    QLayout *sub_strip = nullptr;
    QWidget *card_area = nullptr;
    QLabel *page_label = nullptr;
    QPushButton *prev = nullptr;
    QPushButton *next = nullptr;
    QPushButton *refresh = nullptr;

    QList<QPushButton *> mains() const { return bar->main_buttons(); }
    QList<QPushButton *> subs() const { return bar->subcategory_buttons(); }
    QLayout *cards() const { return card_area->layout(); }
};

Parts parts(const QWidget &w)
{
    Parts p;
    p.bar = w.findChild<CategoryBar *>();
    p.grid = w.findChild<SkinGrid *>();
    auto *main_container = w.findChild<QWidget *>(QStringLiteral("main_category_container"));
    auto *sub_container = w.findChild<QWidget *>(QStringLiteral("subcategory_container"));
    p.card_area = w.findChild<QWidget *>(QStringLiteral("card_area"));
    p.page_label = w.findChild<QLabel *>(QStringLiteral("page_label"));
    p.prev = w.findChild<QPushButton *>(QStringLiteral("prev_btn"));
    p.next = w.findChild<QPushButton *>(QStringLiteral("next_btn"));
    p.refresh = w.findChild<QPushButton *>(QStringLiteral("refresh_btn"));
    if (!p.bar || !p.grid || !main_container || !sub_container || !p.card_area || !p.page_label || !p.prev
        || !p.next || !p.refresh)
        qFatal("a part of the window is missing");
    p.main_strip = main_container->layout();
    p.sub_strip = sub_container->layout();
    return p;
}

QStringList button_texts(const QList<QPushButton *> &buttons)
{
    QStringList texts;
    for (QPushButton *b : buttons)
        texts << b->text();
    return texts;
}

QPushButton *button(const QList<QPushButton *> &buttons, const QString &text, int nth = 0)
{
    for (QPushButton *b : buttons)
        if (b->text() == text && nth-- == 0)
            return b;
    return nullptr;
}

QStringList checked_texts(const QList<QPushButton *> &buttons)
{
    QStringList texts;
    for (QPushButton *b : buttons)
        if (b->isChecked())
            texts << b->text();
    return texts;
}

QList<SkinWidget *> cards(const QWidget &w)
{
    return parts(w).grid->cards();
}

QStringList card_names(const QWidget &w)
{
    QStringList names;
    for (SkinWidget *card : cards(w))
        names << card->skin_data().value(QStringLiteral("name")).toString();
    return names;
}

// The text of the only label in the card area, or "<cards>" / "<empty>".
QString card_area_text(const QWidget &w)
{
    QLayout *area = parts(w).cards();
    if (area->count() == 0)
        return QStringLiteral("<empty>");
    if (!cards(w).isEmpty())
        return QStringLiteral("<cards>");
    auto *label = qobject_cast<QLabel *>(area->itemAt(area->count() - 1)->widget());
    return label ? label->text() : QStringLiteral("<other>");
}

QString pager_state(const QWidget &w)
{
    const Parts p = parts(w);
    return p.page_label->text() + QStringLiteral(" prev=") + (p.prev->isEnabled() ? "on" : "off")
        + QStringLiteral(" next=") + (p.next->isEnabled() ? "on" : "off");
}

// The start-up's instructions and catalogue answers are handled.
bool started(MainWindow &w)
{
    QSignalSpy spy(&w, &MainWindow::catalog_loaded);
    return spy.wait(20000);
}

// No card of the page waits for its cover any more.
bool covers_settled(const QWidget &w)
{
    return QTest::qWaitFor([&w] {
        for (SkinWidget *card : cards(w)) {
            if (card->cover_state() == SkinWidget::CoverState::Loading)
                return false;
        }
        return true;
    }, 15000);
}

// Clicks a subcategory button and waits until its skin list is handled and
// the page's covers are there.
bool load_list(MainWindow &w, QPushButton *button)
{
    QSignalSpy spy(&w, &MainWindow::skins_loaded);
    button->click();
    return (spy.count() > 0 || spy.wait(15000)) && covers_settled(w);
}

int requests_to(TestServer &server, const QString &suffix)
{
    int n = 0;
    for (const QJsonValue &r : server.requests())
        if (r.toObject().value(QStringLiteral("path")).toString().endsWith(suffix))
            ++n;
    return n;
}

// Colours equal within a small tolerance (shadows and smoothing).
bool near(const QColor &a, const QColor &b, int tolerance = 3)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

const QString DEFAULT_INSTRUCTIONS = QStringLiteral("欢迎使用Furlane！\n\n请选择主分类和子分类来浏览皮肤。");

} // namespace

class TestCatalogBrowsing : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void categoryLoad_data();
    void categoryLoad();
    void instructions_data();
    void instructions();
    void navigationButtons();
    void reclickMainCategory();
    void mainCategoryWithoutSubcategories();
    void allSelectsFirstButtonAndLoadsMainCategory();
    void subcategoryNamedAll();
    void sameSubcategoryUnderTwoMainCategories();
    void skinOrder_data();
    void skinOrder();
    void skinListFailureKeepsGrid_data();
    void skinListFailureKeepsGrid();
    void paging_data();
    void paging();
    void pageButtonsAtTheEnds();
    void incompleteRecordsLogged();
    void pageFailureFromPageButtonsIsContained();
    void refreshBeforeSelectionDoesNothing();
    void refreshWithoutCards();
    void refreshCurrentPageCovers();
    void refreshWhenCacheCannotBeDeleted();
    void refreshWhilePageIsRebuilt();
    void pictureOfAFullPage();
    void search_data();
    void search();

private:
    void write_catalog(const QJsonArray &records);
    std::unique_ptr<MainWindow> make_window(const QJsonArray &records);
    // Selects a main category and then "全部" (none) or a subcategory.
    void select(MainWindow &w, const QString &main, const QString &sub = NONE);

    // The log of this test, without the start-up update check's line, which
    // may come at any moment a request waits.
    QStringList lines() const { return log->texts().filter(QRegularExpression(QStringLiteral("^(?!INFO 当前已是最新版本$)"))); }

    TestServer server;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<LogCapture> log;
};

void TestCatalogBrowsing::initTestCase()
{
    QVERIFY(server.start());
    config::use_server_for_tests(server.base());
}

void TestCatalogBrowsing::init()
{
    server.reset();
    server.write_file(QStringLiteral("instructions.txt"), QByteArray("使用说明"));
    QFile::remove(server.data_dir() + QStringLiteral("/instructions.content-type"));
    QDir(config::CACHE_DIR()).removeRecursively();
    QDir().mkpath(config::CACHE_DIR());
    answerer = std::make_unique<ModalAnswerer>();
    log = std::make_unique<LogCapture>();
}

void TestCatalogBrowsing::cleanup()
{
    log.reset();
    answerer.reset();
}

void TestCatalogBrowsing::write_catalog(const QJsonArray &records)
{
    server.write_file(QStringLiteral("catalog.json"), QJsonDocument(records).toJson(QJsonDocument::Compact));
}

std::unique_ptr<MainWindow> TestCatalogBrowsing::make_window(const QJsonArray &records)
{
    write_catalog(records);
    auto w = std::make_unique<MainWindow>(m_services);
    if (!started(*w))
        qWarning("the start-up answers did not come");
    return w;
}

void TestCatalogBrowsing::select(MainWindow &w, const QString &main, const QString &sub)
{
    const Parts p = parts(w);
    QPushButton *main_btn = button(p.mains(), main);
    QVERIFY2(main_btn, qPrintable(main));
    main_btn->click();
    QPushButton *sub_btn = button(p.subs(), sub == NONE ? QStringLiteral("全部") : sub,
                                  sub == QStringLiteral("全部") ? 1 : 0);
    QVERIFY2(sub_btn, qPrintable(sub));
    QVERIFY(load_list(w, sub_btn));
}

// --- categories ---------------------------------------------------------------

void TestCatalogBrowsing::categoryLoad_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("message");   // empty = no box
    QTest::addColumn<bool>("errorLogged");  // "加载分类失败: ..." at error level

    auto body = [](const QJsonArray &records) { return QJsonDocument(records).toJson(QJsonDocument::Compact); };
    const QString failed = QStringLiteral("加载皮肤分类失败，请检查网络连接");
    QTest::newRow("weights 5 9 9 give B C A")
        << body({rec(1, "a", "A", "x", 5), rec(2, "b", "B", "x", 9), rec(3, "c", "C", "x", 9)}) << QJsonArray()
        << QStringList{"B", "C", "A"} << QString() << false;
    QTest::newRow("a later A with 10 goes first")
        << body({rec(1, "a", "A", "x", 5), rec(2, "b", "B", "x", 9), rec(3, "c", "C", "x", 9),
                 rec(4, "d", "A", "x", 10)})
        << QJsonArray() << QStringList{"A", "B", "C"} << QString() << false;
    QTest::newRow("weight as a digit string fails the load")
        << body({rec(1, "a", "A", "x", 5), rec(2, "b", "B", "x", "9")}) << QJsonArray() << QStringList{} << failed
        << true;
    QTest::newRow("status 500") << body({rec(1, "a", "A", "x", 5)})
                                << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"status", 500}}}
                                << QStringList{} << QStringLiteral("无法加载皮肤分类，请检查网络连接") << false;
    QTest::newRow("body is not JSON") << QByteArray("<html>maintenance</html>") << QJsonArray() << QStringList{}
                                      << failed << true;
    QTest::newRow("element is not an object") << QByteArray("[1, 2]") << QJsonArray() << QStringList{} << failed
                                              << true;
    QTest::newRow("connection dropped") << body({rec(1, "a", "A", "x", 5)})
                                        << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"drop", true}}}
                                        << QStringList{} << failed << true;
    // A catalogue answer later than the 10-second time-out never arrives.
    QTest::newRow("catalogue stalls past the time-out")
        << body({rec(1, "a", "A", "x", 5)})
        << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"delay", 12}}} << QStringList{} << failed << true;
    QTest::newRow("body cut short") << body({rec(1, "a", "A", "x", 5), rec(2, "b", "B", "y", 1)})
                                    << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"cut_after", 20}}}
                                    << QStringList{} << failed << true;
    QTest::newRow("empty array: no buttons, instructions shown")
        << QByteArray("[]") << QJsonArray() << QStringList{} << QString() << false;
    QTest::newRow("names that are not strings are left out")
        << QByteArray(R"([{"MainCategory":5,"subcategory":"x"},{"MainCategory":"A","subcategory":{"k":1}}])")
        << QJsonArray() << QStringList{"A"} << QString() << false;
}

void TestCatalogBrowsing::categoryLoad()
{
    QFETCH(QByteArray, body);
    QFETCH(QJsonArray, faults);
    QFETCH(QStringList, buttons);
    QFETCH(QString, message);
    QFETCH(bool, errorLogged);

    server.write_file(QStringLiteral("catalog.json"), body);
    server.set_faults(faults);
    MainWindow w(m_services);
    QVERIFY(started(w));
    const Parts p = parts(w);

    QCOMPARE(button_texts(p.mains()), buttons);
    QCOMPARE(p.bar->categories().main_categories, buttons);
    QCOMPARE(checked_texts(p.mains()), QStringList());
    QCOMPARE(p.sub_strip->count(), 0);
    QCOMPARE(requests_to(server, QStringLiteral("/index_skins.php")) >= 1, true);
    const QStringList errors = lines().filter(QStringLiteral("ERROR 加载分类失败: "));
    QCOMPARE(errors.size(), errorLogged ? 1 : 0);
    if (message.isEmpty()) {
        QCOMPARE(answerer->texts, QStringList());
        QCOMPARE(card_area_text(w), QStringLiteral("使用说明"));
        QCOMPARE(pager_state(w), QStringLiteral("第 1 页 / 共 1 页 prev=off next=off"));
    } else {
        QCOMPARE(answerer->titles, QStringList{QStringLiteral("分类加载失败")});
        QCOMPARE(answerer->texts, QStringList{message});
        // No panel after a failed load; the pager keeps its first state.
        QCOMPARE(card_area_text(w), QStringLiteral("<empty>"));
        QCOMPARE(pager_state(w), QStringLiteral("第 1 页 / 共 1 页 prev=on next=on"));
    }
}

void TestCatalogBrowsing::instructions_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("contentType");  // empty = the server's text/plain
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logLine");  // prefix of the instructions log line

    const QString text = QStringLiteral("欢迎！<b>新皮肤</b>\n每周更新");
    QTest::newRow("UTF-8 without a declared charset") << text.toUtf8() << QString() << QJsonArray() << text
                                                      << QStringLiteral("INFO Instructions_API内容加载成功");
    QTest::newRow("declared GBK") << QTextCodec::codecForName("GBK")->fromUnicode(text)
                                  << QStringLiteral("text/plain; charset=GBK") << QJsonArray() << text
                                  << QStringLiteral("INFO Instructions_API内容加载成功");
    QTest::newRow("empty body shows an empty panel") << QByteArray() << QString() << QJsonArray() << QString()
                                                     << QStringLiteral("INFO Instructions_API内容加载成功");
    QTest::newRow("404 gives the default text")
        << text.toUtf8() << QString() << QJsonArray{QJsonObject{{"match", "Instructions.php"}, {"status", 404}}}
        << DEFAULT_INSTRUCTIONS << QStringLiteral("WARNING Instructions_API加载失败，使用默认内容");
    QTest::newRow("connection dropped gives the default text")
        << text.toUtf8() << QString() << QJsonArray{QJsonObject{{"match", "Instructions.php"}, {"drop", true}}}
        << DEFAULT_INSTRUCTIONS << QStringLiteral("ERROR 加载Instructions_API失败: ");
}

void TestCatalogBrowsing::instructions()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, contentType);
    QFETCH(QJsonArray, faults);
    QFETCH(QString, shown);
    QFETCH(QString, logLine);

    server.write_file(QStringLiteral("instructions.txt"), body);
    if (!contentType.isEmpty())
        server.write_file(QStringLiteral("instructions.content-type"), contentType.toUtf8());
    server.set_faults(faults);
    auto w = make_window({rec(1, "a", "A", "x")});
    const Parts p = parts(*w);

    QCOMPARE(card_area_text(*w), shown);
    auto *label = qobject_cast<QLabel *>(p.cards()->itemAt(0)->widget());
    QVERIFY(label);
    QCOMPARE(label->text(), shown);
    QVERIFY(label->wordWrap());
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(label->textFormat(), Qt::AutoText);
    const QStringList logged = lines().filter(
        QRegularExpression(QStringLiteral("^[A-Z]+ (Instructions_API内容|Instructions_API加载|加载Instructions_API)")));
    QCOMPARE(logged.size(), 1);
    QVERIFY2(logged.first().startsWith(logLine), qPrintable(logged.first()));
    QCOMPARE(answerer->count(), 0);

    // The panel comes back, with the same text, whenever a main category is
    // picked; "刷新页面" is left as it was.
    p.refresh->setEnabled(false);
    select(*w, QStringLiteral("A"));
    QCOMPARE(card_names(*w), QStringList{"a"});
    button(p.mains(), QStringLiteral("A"))->click();
    QCOMPARE(card_area_text(*w), shown);
    QCOMPARE(pager_state(*w), QStringLiteral("第 1 页 / 共 1 页 prev=off next=off"));
    QVERIFY(!p.refresh->isEnabled());
}

// --- navigation -----------------------------------------------------------------

void TestCatalogBrowsing::navigationButtons()
{
    auto w = make_window({rec(1, "a", "A", "x", 2, 1), rec(2, "b", "A", "y", 2, 3), rec(3, "c", "B", "z", 1)});
    const Parts p = parts(*w);
    QCOMPARE(button_texts(p.mains()), (QStringList{"A", "B"}));
    QPushButton *main_btn = button(p.mains(), QStringLiteral("A"));
    QCOMPARE(main_btn->objectName(), QStringLiteral("main_category_btn"));
    QVERIFY(main_btn->isCheckable());
    QCOMPARE(main_btn->minimumHeight(), 32);
    QCOMPARE(main_btn->maximumHeight(), 32);
    QCOMPARE(main_btn->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(main_btn->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QVERIFY(!main_btn->graphicsEffect());
    QVERIFY(main_btn->styleSheet().contains(QStringLiteral("font-size: 12px")));

    main_btn->click();
    QCOMPARE(p.bar->main_category(), QStringLiteral("A"));
    QCOMPARE(button_texts(p.subs()), (QStringList{"全部", "y", "x"}));
    QCOMPARE(checked_texts(p.subs()), QStringList());
    QPushButton *all = button(p.subs(), QStringLiteral("全部"));
    QPushButton *tag = button(p.subs(), QStringLiteral("y"));
    for (QPushButton *b : {all, tag}) {
        QCOMPARE(b->objectName(), QStringLiteral("sub_category_tag"));
        QVERIFY(b->isCheckable());
        QCOMPARE(b->minimumHeight(), 28);
        QCOMPARE(b->maximumHeight(), 28);
        QVERIFY(b->styleSheet().contains(QStringLiteral("font-size: 11px")));
    }
    QVERIFY(!all->graphicsEffect());
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(tag->graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->blurRadius(), 4.0);
    QCOMPARE(shadow->color(), QColor(0, 0, 0, 30));
    QCOMPARE(shadow->offset(), QPointF(0, 1));

    // Both strips wrap their buttons into rows and never scroll vertically.
    for (QWidget *container : {p.main_strip->parentWidget(), p.sub_strip->parentWidget()}) {
        QWidget *up = container->parentWidget();
        while (up && !qobject_cast<QScrollArea *>(up))
            up = up->parentWidget();
        auto *area = qobject_cast<QScrollArea *>(up);
        QVERIFY(area);
        QCOMPARE(area->widget(), container);
        QVERIFY(area->widgetResizable());
        QCOMPARE(area->minimumHeight(), 85);
        QCOMPARE(area->maximumHeight(), 85);
        QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(area->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    }

    // Selection is exclusive without a button group.
    button(p.mains(), QStringLiteral("B"))->click();
    QCOMPARE(checked_texts(p.mains()), QStringList{"B"});
    QCOMPARE(button_texts(p.subs()), (QStringList{"全部", "z"}));
}

void TestCatalogBrowsing::reclickMainCategory()
{
    auto w = make_window({rec(1, "a", "A", "x"), rec(2, "b", "A", "y")});
    const Parts p = parts(*w);
    select(*w, QStringLiteral("A"), QStringLiteral("y"));
    QCOMPARE(card_names(*w), QStringList{"b"});
    QCOMPARE(checked_texts(p.subs()), QStringList{"y"});
    QPointer<QPushButton> old_tag = button(p.subs(), QStringLiteral("y"));

    const int catalog_requests = requests_to(server, QStringLiteral("/index_skins.php"));
    button(p.mains(), QStringLiteral("A"))->click();
    QCOMPARE(checked_texts(p.mains()), QStringList{"A"});
    QVERIFY(!p.bar->subcategory().has_value());
    QCOMPARE(checked_texts(p.subs()), QStringList());
    QVERIFY(button(p.subs(), QStringLiteral("y")) != old_tag.data());
    QCOMPARE(card_area_text(*w), QStringLiteral("使用说明"));
    QCOMPARE(pager_state(*w), QStringLiteral("第 1 页 / 共 1 页 prev=off next=off"));
    // Picking a main category loads no skins.
    QCOMPARE(requests_to(server, QStringLiteral("/index_skins.php")), catalog_requests);
}

void TestCatalogBrowsing::mainCategoryWithoutSubcategories()
{
    auto w = make_window({rec(1, "a", "A", "x"), QJsonObject{{"name", "b"}, {"MainCategory", "B"}}});
    const Parts p = parts(*w);
    button(p.mains(), QStringLiteral("B"))->click();
    QCOMPARE(checked_texts(p.mains()), QStringList{"B"});
    QCOMPARE(p.sub_strip->count(), 0);
    QCOMPARE(card_area_text(*w), QStringLiteral("使用说明"));
}

void TestCatalogBrowsing::allSelectsFirstButtonAndLoadsMainCategory()
{
    auto w = make_window({rec(3, "a", "A", "x"), rec(2, "b", "A", "y"), rec(1, "c", "B", "x")});
    const Parts p = parts(*w);
    select(*w, QStringLiteral("A"));
    QCOMPARE(checked_texts(p.subs()), QStringList{"全部"});
    QVERIFY(button(p.subs(), QStringLiteral("全部")) == p.sub_strip->itemAt(0)->widget());
    QVERIFY(!p.bar->subcategory().has_value());
    QCOMPARE(card_names(*w), (QStringList{"a", "b"}));

    // A subcategory compares only its own name, across main categories.
    QVERIFY(load_list(*w, button(p.subs(), QStringLiteral("x"))));
    QCOMPARE(checked_texts(p.subs()), QStringList{"x"});
    QCOMPARE(card_names(*w), (QStringList{"a", "c"}));
}

void TestCatalogBrowsing::subcategoryNamedAll()
{
    auto w = make_window({rec(2, "a", "A", "x"), rec(1, "b", "A", "全部")});
    const Parts p = parts(*w);
    button(p.mains(), QStringLiteral("A"))->click();
    QCOMPARE(button_texts(p.subs()), (QStringList{"全部", "x", "全部"}));
    QVERIFY(load_list(*w, button(p.subs(), QStringLiteral("全部"), 1)));
    QCOMPARE(p.bar->subcategory(), std::optional<QString>(QStringLiteral("全部")));
    QCOMPARE(card_names(*w), QStringList{"b"});
    QCOMPARE(checked_texts(p.subs()), QStringList());
}

void TestCatalogBrowsing::sameSubcategoryUnderTwoMainCategories()
{
    auto w = make_window({rec(1, "a", "A", "x", 1, 1), rec(2, "b", "A", "y", 1, 2), rec(3, "c", "B", "x", 2, 5),
                          rec(4, "d", "B", "z", 2, 3)});
    const Parts p = parts(*w);
    QCOMPARE(button_texts(p.mains()), (QStringList{"B", "A"}));
    button(p.mains(), QStringLiteral("A"))->click();
    QCOMPARE(button_texts(p.subs()), (QStringList{"全部", "y", "x"}));
    button(p.mains(), QStringLiteral("B"))->click();
    QCOMPARE(button_texts(p.subs()), (QStringList{"全部", "x", "z"}));
}

// --- skin list -------------------------------------------------------------------

void TestCatalogBrowsing::skinOrder_data()
{
    QTest::addColumn<QJsonArray>("records");
    QTest::addColumn<QStringList>("names");  // empty = failure
    QTest::newRow("(2,5,7) (2,5,9) (3,0,1) give 1 9 7")
        << QJsonArray{rec(7, "i7", "A", "x", 2, 5), rec(9, "i9", "A", "x", 2, 5), rec(1, "i1", "A", "x", 3, 0)}
        << QStringList{"i1", "i9", "i7"};
    QTest::newRow("\"12\" sorts as 12") << QJsonArray{rec(11, "i11", "A", "x"), rec("12", "i12", "A", "x"),
                                                      rec(13, "i13", "A", "x")}
                                        << QStringList{"i13", "i12", "i11"};
    QTest::newRow("2.7 sorts like 2") << QJsonArray{rec(1, "w2", "A", "x", 2), rec(2, "w27", "A", "x", 2.7),
                                                    rec(3, "w1", "A", "x", 1)}
                                      << QStringList{"w27", "w2", "w1"};
    QTest::newRow("no keys keep the response order")
        << QJsonArray{rec(QJsonValue::Undefined, "c", "A", "x"), rec(QJsonValue::Undefined, "a", "A", "x"),
                      rec(QJsonValue::Undefined, "b", "A", "x")}
        << QStringList{"c", "a", "b"};
    QTest::newRow("letters in skin_id fail") << QJsonArray{rec(1, "a", "A", "x"), rec("x1", "b", "A", "x")}
                                             << QStringList{};
    QTest::newRow("letters in another category do not matter")
        << QJsonArray{rec(1, "a", "A", "x"), rec("x1", "b", "B", "x")} << QStringList{"a"};
}

void TestCatalogBrowsing::skinOrder()
{
    QFETCH(QJsonArray, records);
    QFETCH(QStringList, names);
    auto w = make_window(records);
    select(*w, QStringLiteral("A"));
    if (names.isEmpty()) {
        QCOMPARE(answerer->titles, QStringList{QStringLiteral("错误")});
        QVERIFY2(answerer->texts.first().startsWith(QStringLiteral("加载皮肤列表失败: skin_id")),
                 qPrintable(answerer->texts.first()));
        QCOMPARE(lines().filter(QStringLiteral("ERROR 加载皮肤列表失败: skin_id")).size(), 1);
        QCOMPARE(parts(*w).grid->records().size(), 0);
        QCOMPARE(card_area_text(*w), QStringLiteral("使用说明"));
        return;
    }
    QCOMPARE(answerer->count(), 0);
    QCOMPARE(card_names(*w), names);
}

void TestCatalogBrowsing::skinListFailureKeepsGrid_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QByteArray>("body");  // empty = the catalogue as written
    QTest::addColumn<QString>("message");
    QTest::newRow("status 500") << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"status", 500}}}
                                << QByteArray() << QStringLiteral("加载皮肤列表失败，请检查网络连接");
    QTest::newRow("connection dropped") << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"drop", true}}}
                                        << QByteArray() << QStringLiteral("加载皮肤列表失败: ");
    QTest::newRow("not a list") << QJsonArray() << QByteArray("{\"error\":\"busy\"}")
                                << QStringLiteral("加载皮肤列表失败: ");
    QTest::newRow("empty object passes as an empty list")
        << QJsonArray() << QByteArray("{}") << QString();
}

void TestCatalogBrowsing::skinListFailureKeepsGrid()
{
    QFETCH(QJsonArray, faults);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    auto w = make_window(concat(series(7, "A", "x"), series(2, "A", "y", "t")));
    const Parts p = parts(*w);
    select(*w, QStringLiteral("A"), QStringLiteral("x"));
    p.next->click();
    QCOMPARE(card_names(*w), QStringList{"s7"});

    server.set_faults(faults);
    if (!body.isEmpty())
        server.write_file(QStringLiteral("catalog.json"), body);
    QSignalSpy loaded(w.get(), &MainWindow::skins_loaded);
    button(p.subs(), QStringLiteral("y"))->click();
    // While the list is on its way the pager pages the list on screen.
    p.prev->click();
    QCOMPARE(card_names(*w).size(), 6);
    QCOMPARE(card_names(*w).first(), QStringLiteral("s1"));
    QVERIFY(loaded.count() > 0 || loaded.wait(15000));
    if (message.isEmpty()) {
        QCOMPARE(answerer->count(), 0);
        QCOMPARE(p.grid->records().size(), 0);
        QCOMPARE(card_area_text(*w), QStringLiteral("当前分类下没有皮肤"));
        return;
    }
    QCOMPARE(answerer->titles, QStringList{QStringLiteral("错误")});
    QVERIFY2(answerer->texts.first().startsWith(message), qPrintable(answerer->texts.first()));
    // The old list, page and grid stay, and so does the choice they belong to.
    QCOMPARE(p.grid->records().size(), 7);
    QCOMPARE(p.grid->current_page(), 0);
    QCOMPARE(card_names(*w).size(), 6);
    QCOMPARE(checked_texts(p.subs()), QStringList{"x"});
    QCOMPARE(p.bar->subcategory(), std::optional<QString>(QStringLiteral("x")));
    // A later page change pages that list.
    p.next->click();
    QCOMPARE(card_names(*w), QStringList{"s7"});
}

// --- paged grid ------------------------------------------------------------------

void TestCatalogBrowsing::paging_data()
{
    QTest::addColumn<QJsonArray>("records");
    QTest::addColumn<QStringList>("pages");  // each page: its pager state and first card

    QTest::newRow("seven complete records make pages of 6 and 1")
        << series(7, "A", "x")
        << QStringList{"第 1 页 / 共 2 页 prev=off next=on|6|s1", "第 2 页 / 共 2 页 prev=on next=off|1|s7"};
    QTest::newRow("exactly six make one page") << series(6, "A", "x")
                                               << QStringList{"第 1 页 / 共 1 页 prev=off next=off|6|s1"};
    QJsonArray with_incomplete = series(6, "A", "x");
    QJsonObject broken = rec(1, "broken", "A", "x");
    broken.insert(QStringLiteral("sig_original"), QString());
    with_incomplete.append(broken);
    QTest::newRow("incomplete records make no trailing page")
        << with_incomplete << QStringList{"第 1 页 / 共 1 页 prev=off next=off|6|s1"};
    QTest::newRow("twelve make two full pages")
        << series(12, "A", "x")
        << QStringList{"第 1 页 / 共 2 页 prev=off next=on|6|s1", "第 2 页 / 共 2 页 prev=on next=off|6|s7"};
    QTest::newRow("no records for the selection")
        << series(3, "B", "z") << QStringList{"第 1 页 / 共 1 页 prev=off next=off|0|当前分类下没有皮肤"};
}

void TestCatalogBrowsing::paging()
{
    QFETCH(QJsonArray, records);
    QFETCH(QStringList, pages);
    // Always a main category "A" with subcategory "x" to select.
    records.append(QJsonObject{{"MainCategory", "A"}, {"subcategory", "x"}});
    auto w = make_window(records);
    const Parts p = parts(*w);
    select(*w, QStringLiteral("A"), QStringLiteral("x"));
    for (int page = 0; page < pages.size(); ++page) {
        if (page > 0)
            p.next->click();
        const QStringList expected = pages.at(page).split(QLatin1Char('|'));
        QCOMPARE(pager_state(*w), expected.at(0));
        QCOMPARE(cards(*w).size(), expected.at(1).toInt());
        QCOMPARE(cards(*w).isEmpty() ? card_area_text(*w) : card_names(*w).first(), expected.at(2));
        for (SkinWidget *card : cards(*w))
            QCOMPARE(card->action_button()->text(), QStringLiteral("安装"));
    }
    // Back to the first page again.
    for (int page = pages.size() - 1; page > 0; --page)
        p.prev->click();
    QCOMPARE(pager_state(*w), pages.first().split(QLatin1Char('|')).first());
    QCOMPARE(answerer->count(), 0);
}

void TestCatalogBrowsing::pageButtonsAtTheEnds()
{
    auto w = make_window(series(7, "A", "x"));
    SkinGrid *grid = parts(*w).grid;
    // Before any skins are loaded both handlers do nothing.
    grid->show_previous_page();
    grid->show_next_page();
    QCOMPARE(grid->current_page(), 0);
    QCOMPARE(card_area_text(*w), QStringLiteral("使用说明"));

    select(*w, QStringLiteral("A"));
    QList<SkinWidget *> first = cards(*w);
    grid->show_previous_page();
    QCOMPARE(cards(*w), first);  // not rebuilt
    QCOMPARE(grid->current_page(), 0);
    grid->show_next_page();
    QList<SkinWidget *> last = cards(*w);
    QCOMPARE(last.size(), 1);
    grid->show_next_page();
    QCOMPARE(cards(*w), last);
    QCOMPARE(grid->current_page(), 1);
    QCOMPARE(answerer->count(), 0);
}

void TestCatalogBrowsing::incompleteRecordsLogged()
{
    QJsonObject no_id = rec(QJsonValue::Undefined, "n", "A", "x");
    no_id.remove(QStringLiteral("pak_original"));
    QJsonObject empty_name = rec(42, "", "A", "x");
    QJsonObject no_sig = rec("7", "m", "A", "x");
    no_sig.remove(QStringLiteral("sig_original"));
    auto w = make_window({no_id, empty_name, no_sig});
    log->clear();
    select(*w, QStringLiteral("A"));
    QCOMPARE(lines().filter(QStringLiteral("跳过不完整的皮肤数据")),
             (QStringList{"WARNING 跳过不完整的皮肤数据: 42", "WARNING 跳过不完整的皮肤数据: 7",
                          "WARNING 跳过不完整的皮肤数据: unknown"}));
    QCOMPARE(parts(*w).grid->records().size(), 3);
    QCOMPARE(card_area_text(*w), QStringLiteral("当前分类下没有皮肤"));
    QCOMPARE(pager_state(*w), QStringLiteral("第 1 页 / 共 1 页 prev=off next=off"));

    // The page handlers count pages silently.
    log->clear();
    parts(*w).grid->show_next_page();
    QCOMPARE(lines().filter(QStringLiteral("跳过不完整的皮肤数据")), QStringList());
}

void TestCatalogBrowsing::pageFailureFromPageButtonsIsContained()
{
    auto w = make_window(series(7, "A", "x"));
    const Parts p = parts(*w);
    select(*w, QStringLiteral("A"));
    p.next->click();
    QCOMPARE(p.grid->current_page(), 1);

    // Something put a non-record into the list: the page cannot be built.
    QJsonArray spoiled = p.grid->records();
    spoiled.append(QJsonValue(17));
    p.grid->set_records(spoiled);
    log->clear();
    p.prev->click();
    QCOMPARE(answerer->titles, QStringList{QStringLiteral("错误")});
    QVERIFY2(answerer->texts.first().startsWith(QStringLiteral("显示皮肤页面失败: ")),
             qPrintable(answerer->texts.first()));
    QCOMPARE(lines().filter(QStringLiteral("ERROR 显示皮肤页面失败: ")).size(), 1);
    QCOMPARE(p.grid->current_page(), 1);
    p.next->setEnabled(true);
    p.next->click();
    QCOMPARE(answerer->count(), 2);
    QCOMPARE(p.grid->current_page(), 1);

    // The window goes on working: a new selection loads and shows a page.
    select(*w, QStringLiteral("A"));
    QCOMPARE(cards(*w).size(), 6);
    QCOMPARE(pager_state(*w), QStringLiteral("第 1 页 / 共 2 页 prev=off next=on"));
    QCOMPARE(answerer->count(), 2);
}

// --- refresh ---------------------------------------------------------------------

void TestCatalogBrowsing::refreshBeforeSelectionDoesNothing()
{
    auto w = make_window(series(2, "A", "x", "s", true));
    server.reset();
    log->clear();
    parts(*w).refresh->click();
    QCOMPARE(lines(), QStringList());
    QCOMPARE(server.requests().size(), requests_to(server, QStringLiteral("/api1/")));
}

void TestCatalogBrowsing::refreshWithoutCards()
{
    auto w = make_window(concat(series(2, "A", "x", "s", true), series(1, "B", "y")));
    const Parts p = parts(*w);
    button(p.mains(), QStringLiteral("A"))->click();
    log->clear();
    p.refresh->click();
    QCOMPARE(lines(), QStringList{QStringLiteral("INFO 当前页面没有皮肤组件需要刷新")});

    // The empty state is not a card either.
    select(*w, QStringLiteral("B"));
    p.grid->set_records(QJsonArray());
    QVERIFY(p.grid->show_page(0));
    log->clear();
    p.refresh->click();
    QCOMPARE(lines(), QStringList{QStringLiteral("INFO 当前页面没有皮肤组件需要刷新")});
}

void TestCatalogBrowsing::refreshCurrentPageCovers()
{
    // Eight records: page 1 holds s1..s6, where s2 has no cover and s3's
    // cover was never cached; s7 and s8 are on page 2.
    QJsonArray records = series(8, "A", "x", "s", true);
    QJsonObject s2 = records.at(1).toObject();
    s2.remove(QStringLiteral("cover"));
    records[1] = s2;
    const QByteArray fresh = card_fixtures::encode(card_fixtures::solid_image({40, 30}, Qt::red), "PNG");
    const QByteArray stale = card_fixtures::encode(card_fixtures::solid_image({40, 30}, Qt::blue), "PNG");
    QMap<QString, QString> cache;  // name -> cache file
    for (const QJsonValue &v : records) {
        const QJsonObject r = v.toObject();
        const QString name = r.value(QStringLiteral("name")).toString();
        if (!r.contains(QStringLiteral("cover")))
            continue;
        card_fixtures::put_cover(server, r, fresh);
        cache.insert(name, cover_cache_path(cover_url(ServerEndpoints::from_base(server.base()), r)));
        if (name != QStringLiteral("s3")) {
            QFile f(cache.value(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(stale);
        }
    }

    auto w = make_window(records);
    select(*w, QStringLiteral("A"));
    QCOMPARE(cards(*w).size(), 6);
    const QList<SkinWidget *> before = cards(*w);
    const QStringList buttons_before = [&] {
        QStringList t;
        for (SkinWidget *c : before)
            t << c->action_button()->text();
        return t;
    }();

    // Make s3's cache miss again so that it is reloaded without a deletion.
    QFile::remove(cache.value("s3"));
    server.reset();
    log->clear();
    parts(*w).refresh->click();
    QVERIFY(covers_settled(*w));

    QStringList expected;
    for (const char *name : {"s1", "s4", "s5", "s6"})
        expected << QStringLiteral("INFO 已清理图片缓存: ") + QDir::toNativeSeparators(cache.value(name));
    expected << QStringLiteral("INFO 已刷新 5 个皮肤的图片缓存");
    QCOMPARE(lines(), expected);
    QCOMPARE(card_fixtures::cover_requests(server), 5);
    for (const char *name : {"s1", "s3", "s4", "s5", "s6"}) {
        QFile f(cache.value(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), fresh);
    }
    // Page 2's cached covers stay as they were.
    for (const char *name : {"s7", "s8"}) {
        QFile f(cache.value(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), stale);
    }
    // The same cards, the same buttons: only covers change.
    QCOMPARE(cards(*w), before);
    QStringList buttons_after;
    for (SkinWidget *c : cards(*w))
        buttons_after << c->action_button()->text();
    QCOMPARE(buttons_after, buttons_before);
    QCOMPARE(before.at(0)->cover()->pixmap(Qt::ReturnByValue).toImage().pixelColor(128, 92), QColor(Qt::red));
}

void TestCatalogBrowsing::refreshWhenCacheCannotBeDeleted()
{
    const QJsonArray records = series(1, "A", "x", "s", true);
    const QJsonObject r = records.at(0).toObject();
    card_fixtures::put_cover(server, r, card_fixtures::encode(card_fixtures::solid_image({40, 30}, Qt::red), "PNG"));
    auto w = make_window(records);
    select(*w, QStringLiteral("A"));

    // A non-empty folder where the cache file should be cannot be removed.
    const QString cache_path = cover_cache_path(cover_url(ServerEndpoints::from_base(server.base()), r));
    QFile::remove(cache_path);
    QVERIFY(QDir().mkpath(cache_path + QStringLiteral("/inside")));
    log->clear();
    parts(*w).refresh->click();
    QVERIFY(covers_settled(*w));
    const QStringList logged = lines();
    QVERIFY2(!logged.isEmpty() && logged.first().startsWith(QStringLiteral("WARNING 清理缓存失败: ")
                                                            + QDir::toNativeSeparators(cache_path) + " - "),
             qPrintable(logged.join('\n')));
    // Refreshed all the same, and counted; the cover's own failure comes
    // with its answer, after the count.
    QCOMPARE(logged.filter(QStringLiteral("已刷新")), QStringList{QStringLiteral("INFO 已刷新 1 个皮肤的图片缓存")});
    QVERIFY2(logged.last().startsWith(QStringLiteral("ERROR 加载封面图片失败: ")), qPrintable(logged.last()));
    QCOMPARE(answerer->count(), 0);
    QDir(cache_path).removeRecursively();
}

void TestCatalogBrowsing::refreshWhilePageIsRebuilt()
{
    // While the covers are on their way the page is rebuilt: the answers for
    // the cards that left are still cached, and paint nothing.
    const QJsonArray records = series(2, "A", "x", "s", true);
    for (const QJsonValue &r : records)
        card_fixtures::put_cover(server, r.toObject(), card_fixtures::encode(card_fixtures::solid_image({40, 30}, Qt::red), "PNG"));
    auto w = make_window(records);
    select(*w, QStringLiteral("A"));
    QCOMPARE(cards(*w).size(), 2);
    QVERIFY(server.reset());
    QVERIFY(server.set_faults({QJsonObject{{"match", "index_image_download.php"}, {"delay", 1}}}));
    log->clear();
    parts(*w).refresh->click();
    QCOMPARE(lines().filter(QStringLiteral("已刷新")), QStringList{QStringLiteral("INFO 已刷新 2 个皮肤的图片缓存")});
    const QList<QPointer<SkinWidget>> left{cards(*w).at(0), cards(*w).at(1)};
    QCOMPARE(left.at(0)->cover_state(), SkinWidget::CoverState::Loading);
    clear_layout(parts(*w).cards());
    QTRY_VERIFY(!left.at(0) && !left.at(1));
    for (const QJsonValue &r : records)
        QTRY_VERIFY(QFileInfo::exists(cover_cache_path(cover_url(ServerEndpoints::from_base(server.base()), r.toObject()))));
    QCOMPARE(card_fixtures::cover_requests(server), 2);
    QVERIFY(lines().filter(QStringLiteral("封面")).isEmpty());
}

// --- a picture ---------------------------------------------------------------------

void TestCatalogBrowsing::pictureOfAFullPage()
{
    const QList<QColor> colours{QColor(200, 30, 30), QColor(30, 160, 40), QColor(40, 60, 200),
                                QColor(220, 180, 20), QColor(150, 40, 170), QColor(20, 170, 170)};
    QJsonArray records = series(7, "A", "x", "s", true);
    for (int i = 0; i < records.size(); ++i)
        card_fixtures::put_cover(server, records.at(i).toObject(),
                                 card_fixtures::encode(card_fixtures::solid_image({512, 370}, colours.value(i, Qt::gray)),
                                                       "PNG"));
    auto w = make_window(records);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    select(*w, QStringLiteral("A"));
    QCOMPARE(cards(*w).size(), 6);
    QApplication::processEvents();
    const QImage shot = w->grab().toImage();
    QCOMPARE(shot.size(), QSize(970, 870) * shot.devicePixelRatio());

    // Three cards a row, two rows, each row centred in the card area.
    const Parts p = parts(*w);
    const QRect area(p.card_area->mapTo(w.get(), QPoint(0, 0)), p.card_area->size());
    QList<QRect> boxes;
    for (SkinWidget *card : cards(*w))
        boxes << QRect(card->mapTo(w.get(), QPoint(0, 0)), card->size());
    for (int row = 0; row < 2; ++row) {
        const QRect left = boxes.at(row * 3), right = boxes.at(row * 3 + 2);
        QCOMPARE(boxes.at(row * 3 + 1).top(), left.top());
        QCOMPARE(right.top(), left.top());
        QVERIFY(left.right() < boxes.at(row * 3 + 1).left());
        QVERIFY(qAbs((left.left() - area.left()) - (area.right() - right.right())) <= 1);
    }
    QVERIFY(boxes.at(3).top() > boxes.at(0).bottom());
    for (int i = 0; i < 3; ++i)
        QVERIFY(area.contains(boxes.at(i)));
    QVERIFY(area.contains(boxes.at(3).topLeft()));
    // Both rows whole, buttons included: the window is not resizable.
    QVERIFY(area.contains(boxes.at(3)));

    // What a person sees: the window background, the white card area around
    // the cards, each card's own cover colour.
    QCOMPARE(shot.pixelColor(3, 3), QColor(0xF5, 0xF7, 0xFA));
    const QPoint between(boxes.at(0).right() + 4, boxes.at(0).center().y());
    QVERIFY2(near(shot.pixelColor(between), Qt::white, 8), qPrintable(shot.pixelColor(between).name()));
    for (int i = 0; i < 6; ++i) {
        SkinWidget *card = cards(*w).at(i);
        const QPoint cover_centre = card->cover()->mapTo(w.get(), QPoint(128, 60));
        const QColor seen = shot.pixelColor(cover_centre);
        QVERIFY2(near(seen, colours.at(i)),
                 qPrintable(QStringLiteral("card %1 shows %2").arg(i).arg(seen.name())));
    }
    // The card's own background is white below its cover.
    const QPoint card_white = cards(*w).at(0)->mapTo(w.get(), QPoint(4, 230));
    QVERIFY2(near(shot.pixelColor(card_white), Qt::white), qPrintable(shot.pixelColor(card_white).name()));

    // The pager: its label reads the page position and is drawn (dark text
    // on the window background).
    QCOMPARE(p.page_label->text(), QStringLiteral("第 1 页 / 共 2 页"));
    QVERIFY(p.page_label->isVisible());
    const QRect label_box(p.page_label->mapTo(w.get(), QPoint(0, 0)), p.page_label->size());
    int dark = 0;
    for (int y = label_box.top(); y <= label_box.bottom(); ++y)
        for (int x = label_box.left(); x <= label_box.right(); ++x)
            if (qGray(shot.pixel(x, y)) < 128)
                ++dark;
    QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
    // The page buttons: "上一页" drawn in the disabled light blue, "下一页" in blue.
    QCOMPARE(shot.pixelColor(p.prev->mapTo(w.get(), QPoint(6, 14))), QColor(0x93, 0xC5, 0xFD));
    QCOMPARE(shot.pixelColor(p.next->mapTo(w.get(), QPoint(6, 14))), QColor(0x3B, 0x82, 0xF6));
}

// --- search ------------------------------------------------------------------------

void TestCatalogBrowsing::search_data()
{
    // Steps from page 2 of A/x: "type TEXT" (and the pause), "next", "esc",
    // "erase" (the text deleted), "main NAME" / "sub NAME" (a click), "add
    // NAME" (the server's catalogue gains a skin), "fail" (its lists fail).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pager");
    QTest::addColumn<QString>("first");  // first card, or the card area's text

    const QString back = QStringLiteral("第 2 页 / 共 2 页 prev=on next=off");
    QTest::newRow("typing shows the results as pages, across categories")
        << QStringList{"type B", "next"} << "B" << "第 2 页 / 共 2 页 prev=on next=off" << "b7";
    QTest::newRow("no match shows its text")
        << QStringList{"type zzz"} << "zzz" << "第 1 页 / 共 1 页 prev=off next=off" << "没有找到匹配的皮肤";
    QTest::newRow("Esc returns to the category and page") << QStringList{"type b", "next", "esc"} << "" << back
                                                          << "皮肤7";
    QTest::newRow("clearing the field returns to the category and page")
        << QStringList{"type b", "erase"} << "" << back << "皮肤7";
    QTest::newRow("a subcategory click clears the field and shows its list")
        << QStringList{"type b", "sub x"} << "" << "第 1 页 / 共 2 页 prev=off next=on" << "皮肤1";
    QTest::newRow("a main category click clears the field and shows the instructions")
        << QStringList{"type b", "main B"} << "" << "第 1 页 / 共 1 页 prev=off next=off" << "使用说明";
    QTest::newRow("a list answer brings a changed catalogue to the search")
        << QStringList{"type b", "add Zed", "sub x", "type zed"} << "zed" << "第 1 页 / 共 1 页 prev=off next=off" << "Zed";
    QTest::newRow("after a subcategory that cannot load, the category before the search")
        << QStringList{"type b", "fail", "sub x"} << "" << back << "皮肤7";
}

void TestCatalogBrowsing::search()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, field);
    QFETCH(QString, pager);
    QFETCH(QString, first);

    const QJsonArray catalogue = concat(series(7, "A", "x", QStringLiteral("皮肤")), series(8, "B", "y", QStringLiteral("b")));
    auto w = make_window(catalogue);
    const Parts p = parts(*w);
    auto *search = w->findChild<SearchField *>();
    QVERIFY(search);
    QCOMPARE(search->placeholderText(), QStringLiteral("搜索皮肤"));
    select(*w, QStringLiteral("A"), QStringLiteral("x"));
    p.next->click();

    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(' '), 1);
        if (step.startsWith(QLatin1String("type "))) {
            QTest::keyClicks(search, arg);
            QTRY_VERIFY(p.grid->showing_list());
        } else if (step == QLatin1String("next")) {
            p.next->click();
        } else if (step == QLatin1String("esc")) {
            QTest::keyClick(search, Qt::Key_Escape);
        } else if (step == QLatin1String("erase")) {
            QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(search, Qt::Key_Backspace);
        } else if (step.startsWith(QLatin1String("main "))) {
            button(p.mains(), arg)->click();
        } else if (step.startsWith(QLatin1String("sub "))) {
            QSignalSpy loaded(w.get(), &MainWindow::skins_loaded);
            button(p.subs(), arg)->click();
            QVERIFY(loaded.count() > 0 || loaded.wait(15000));
        } else if (step.startsWith(QLatin1String("add "))) {
            write_catalog(concat(catalogue, {rec(1, arg, "B", "y")}));
        } else if (step == QLatin1String("fail")) {
            server.set_faults({QJsonObject{{"match", "index_skins.php"}, {"status", 500}}});
        }
    }
    QCOMPARE(search->text(), field);
    QCOMPARE(pager_state(*w), pager);
    QCOMPARE(cards(*w).isEmpty() ? card_area_text(*w) : card_names(*w).first(), first);
    QCOMPARE(answerer->count(), steps.contains(QStringLiteral("fail")) ? 1 : 0);
}

QTEST_MAIN(TestCatalogBrowsing)
#include "tst_catalog_browsing.moc"
