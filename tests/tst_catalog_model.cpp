#include "catalog/catalog_model.h"
#include "catalog/catalog_scan.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTextCodec>
#include <QtTest>

namespace {

QJsonArray records_from(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).array();
}

// The "skin_id" of each record, in order, as text (for order comparisons).
QStringList ids_of(const QJsonArray &records)
{
    QStringList ids;
    for (const QJsonValue &v : records)
        ids << catalog::skin_id_text(v.toObject());
    return ids;
}

// {"A": ["x", "y"]} as a QMap for comparison with the derived tree.
QMap<QString, QStringList> map_from(const char *json)
{
    QMap<QString, QStringList> out;
    const QJsonObject obj = QJsonDocument::fromJson(QByteArray(json)).object();
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        QStringList names;
        for (const QJsonValue &v : it.value().toArray())
            names << v.toString();
        out.insert(it.key(), names);
    }
    return out;
}

// A single JSON value (scalars included) from its text.
QJsonValue value_from(const QByteArray &json)
{
    if (json.isEmpty())
        return QJsonValue(QJsonValue::Undefined);
    return QJsonDocument::fromJson("[" + json + "]").array().at(0);
}

} // namespace

class TestCatalogModel : public QObject {
    Q_OBJECT
private slots:
    void emptyValue_data();
    void emptyValue();
    void integerValue_data();
    void integerValue();
    void parseRecords_data();
    void parseRecords();
    void categories_data();
    void categories();
    void filter_data();
    void filter();
    void completeness_data();
    void completeness();
    void ordering_data();
    void ordering();
    void pageCount_data();
    void pageCount();
    void textBodyDecoding_data();
    void textBodyDecoding();
    void skinIdInLogs();
    void quickPathAgrees_data();
    void quickPathAgrees();
    void quickPathAgreesOnRandomCatalogues();
};

void TestCatalogModel::emptyValue_data()
{
    QTest::addColumn<QByteArray>("json");  // empty = the key is missing
    QTest::addColumn<bool>("empty");
    QTest::newRow("missing key") << QByteArray() << true;
    QTest::newRow("null") << QByteArray("null") << true;
    QTest::newRow("false") << QByteArray("false") << true;
    QTest::newRow("true") << QByteArray("true") << false;
    QTest::newRow("integer 0") << QByteArray("0") << true;
    QTest::newRow("fraction 0.0") << QByteArray("0.0") << true;
    QTest::newRow("negative number") << QByteArray("-1") << false;
    QTest::newRow("small fraction") << QByteArray("0.001") << false;
    QTest::newRow("empty string") << QByteArray("\"\"") << true;
    QTest::newRow("string \"0\" is text, not zero") << QByteArray("\"0\"") << false;
    QTest::newRow("blank string") << QByteArray("\" \"") << false;
    QTest::newRow("empty array") << QByteArray("[]") << true;
    QTest::newRow("array holding 0") << QByteArray("[0]") << false;
    QTest::newRow("empty object") << QByteArray("{}") << true;
    QTest::newRow("object") << QByteArray("{\"a\":0}") << false;
}

void TestCatalogModel::emptyValue()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, empty);
    QCOMPARE(catalog::is_empty(value_from(json)), empty);
}

void TestCatalogModel::integerValue_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("missing is 0") << QByteArray() << true << 0.0;
    QTest::newRow("null is 0") << QByteArray("null") << true << 0.0;
    QTest::newRow("integer") << QByteArray("7") << true << 7.0;
    QTest::newRow("negative integer") << QByteArray("-7") << true << -7.0;
    QTest::newRow("2.7 truncates to 2") << QByteArray("2.7") << true << 2.0;
    QTest::newRow("-2.7 truncates toward zero") << QByteArray("-2.7") << true << -2.0;
    QTest::newRow("true is 1") << QByteArray("true") << true << 1.0;
    QTest::newRow("false is 0") << QByteArray("false") << true << 0.0;
    QTest::newRow("digit string") << QByteArray("\"12\"") << true << 12.0;
    QTest::newRow("signed string with blanks") << QByteArray("\"  -12\\t\"") << true << -12.0;
    QTest::newRow("plus sign") << QByteArray("\"+5\"") << true << 5.0;
    QTest::newRow("empty string is 0") << QByteArray("\"\"") << true << 0.0;
    QTest::newRow("empty array is 0") << QByteArray("[]") << true << 0.0;
    QTest::newRow("letters fail") << QByteArray("\"abc\"") << false << 0.0;
    QTest::newRow("fraction in a string fails") << QByteArray("\"2.5\"") << false << 0.0;
    QTest::newRow("exponent in a string fails") << QByteArray("\"1e3\"") << false << 0.0;
    QTest::newRow("sign alone fails") << QByteArray("\"-\"") << false << 0.0;
    QTest::newRow("blank string fails") << QByteArray("\" \"") << false << 0.0;
    QTest::newRow("array fails") << QByteArray("[1]") << false << 0.0;
    QTest::newRow("object fails") << QByteArray("{\"a\":1}") << false << 0.0;
}

void TestCatalogModel::integerValue()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QFETCH(double, value);
    QString error;
    const std::optional<double> got = catalog::integer_value(value_from(json), QStringLiteral("skin_id"), &error);
    QCOMPARE(got.has_value(), ok);
    if (ok) {
        QCOMPARE(*got, value);
    } else {
        QVERIFY2(error.contains(QStringLiteral("skin_id")), qPrintable(error));
    }
}

void TestCatalogModel::parseRecords_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("count");  // -1 = failure
    QTest::newRow("empty array") << QByteArray(" [ ] ") << 0;
    QTest::newRow("empty object passes as no records") << QByteArray("{}") << 0;
    QTest::newRow("empty JSON string passes as no records") << QByteArray("\"\"") << 0;
    QTest::newRow("objects") << QByteArray("[{}, {\"name\":\"a\"}]") << 2;
    QTest::newRow("element not an object") << QByteArray("[{}, 1]") << -1;
    QTest::newRow("non-empty object") << QByteArray("{\"a\":1}") << -1;
    QTest::newRow("non-empty string") << QByteArray("\"x\"") << -1;
    QTest::newRow("number") << QByteArray("5") << -1;
    QTest::newRow("null") << QByteArray("null") << -1;
    QTest::newRow("not JSON") << QByteArray("<html>oops</html>") << -1;
    QTest::newRow("empty body") << QByteArray("") << -1;
    QTest::newRow("truncated") << QByteArray("[{\"name\":\"a\"}") << -1;
}

void TestCatalogModel::parseRecords()
{
    QFETCH(QByteArray, body);
    QFETCH(int, count);
    QString error;
    const std::optional<QJsonArray> records = catalog::parse_records(body, &error);
    if (count < 0) {
        QVERIFY(!records);
        QVERIFY(!error.isEmpty());
    } else {
        QVERIFY2(records, qPrintable(error));
        QCOMPARE(records->size(), count);
    }
}

void TestCatalogModel::categories_data()
{
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("mains");
    QTest::addColumn<QByteArray>("subs");

    auto rec = [](const char *m, const char *mw, const char *s = nullptr, const char *sw = nullptr) {
        QString text = QStringLiteral("{\"MainCategory\":%1").arg(QString::fromUtf8(m));
        if (mw)
            text += QStringLiteral(",\"MainCategory_ranking_id\":%1").arg(QString::fromUtf8(mw));
        if (s)
            text += QStringLiteral(",\"subcategory\":%1").arg(QString::fromUtf8(s));
        if (sw)
            text += QStringLiteral(",\"subcategory_ranking_id\":%1").arg(QString::fromUtf8(sw));
        return text + QLatin1Char('}');
    };
    auto list = [](const QStringList &recs) { return ("[" + recs.join(QLatin1Char(',')) + "]").toUtf8(); };

    QTest::newRow("weights 5 9 9 give B C A")
        << list({rec("\"A\"", "5"), rec("\"B\"", "9"), rec("\"C\"", "9")}) << true
        << QStringList{"B", "C", "A"} << QByteArray("{}");
    QTest::newRow("a later A with 10 goes first")
        << list({rec("\"A\"", "5"), rec("\"B\"", "9"), rec("\"C\"", "9"), rec("\"A\"", "10")}) << true
        << QStringList{"A", "B", "C"} << QByteArray("{}");
    QTest::newRow("weight is the maximum, not the last")
        << list({rec("\"A\"", "1"), rec("\"B\"", "4"), rec("\"A\"", "6"), rec("\"A\"", "2")}) << true
        << QStringList{"A", "B"} << QByteArray("{}");
    QTest::newRow("record without weight never lowers")
        << list({rec("\"A\"", "5"), rec("\"B\"", "4"), rec("\"A\"", nullptr)}) << true
        << QStringList{"A", "B"} << QByteArray("{}");
    QTest::newRow("fractions compared unchanged")
        << list({rec("\"A\"", "1.2"), rec("\"B\"", "1.5")}) << true << QStringList{"B", "A"} << QByteArray("{}");
    QTest::newRow("true weighs 1")
        << list({rec("\"A\"", "0.5"), rec("\"B\"", "true")}) << true << QStringList{"B", "A"} << QByteArray("{}");
    QTest::newRow("negative weight sorts after missing")
        << list({rec("\"A\"", "-3"), rec("\"B\"", nullptr)}) << true << QStringList{"B", "A"} << QByteArray("{}");
    QTest::newRow("digit string weight fails the load")
        << list({rec("\"A\"", "5"), rec("\"B\"", "\"9\"")}) << false << QStringList{} << QByteArray("{}");
    QTest::newRow("digit string as the first weight fails too")
        << list({rec("\"A\"", "\"9\"")}) << false << QStringList{} << QByteArray("{}");
    QTest::newRow("string subcategory weight fails the load")
        << list({rec("\"A\"", "1", "\"x\"", "\"3\"")}) << false << QStringList{} << QByteArray("{}");
    QTest::newRow("array weight fails the load")
        << list({rec("\"A\"", "[1]")}) << false << QStringList{} << QByteArray("{}");
    QTest::newRow("empty string weight counts 0")
        << list({rec("\"A\"", "\"\""), rec("\"B\"", "1")}) << true << QStringList{"B", "A"} << QByteArray("{}");
    QTest::newRow("unused string weight of a nameless record is harmless")
        << list({rec("\"\"", "\"9\""), rec("\"A\"", "1")}) << true << QStringList{"A"} << QByteArray("{}");
    QTest::newRow("subcategory without main category contributes nothing")
        << list({rec("null", "3", "\"x\"", "1"), rec("\"A\"", "1")}) << true << QStringList{"A"} << QByteArray("{}");
    QTest::newRow("main category without subcategory has no entry")
        << list({rec("\"A\"", "1"), rec("\"B\"", "2", "\"x\"", "1")}) << true << QStringList{"B", "A"}
        << QByteArray("{\"B\":[\"x\"]}");
    QTest::newRow("non-string names count as empty")
        << list({rec("5", "9"), rec("{\"n\":1}", "9"), rec("\"A\"", "1", "7", "1"), rec("\"A\"", "1", "[\"y\"]", "1")})
        << true << QStringList{"A"} << QByteArray("{}");
    QTest::newRow("equal weights keep first appearance")
        << list({rec("\"C\"", "2", "\"z\"", nullptr), rec("\"A\"", "2", "\"y\"", nullptr),
                 rec("\"C\"", "2", "\"x\"", nullptr), rec("\"B\"", "2")})
        << true << QStringList{"C", "A", "B"} << QByteArray("{\"C\":[\"z\",\"x\"],\"A\":[\"y\"]}");
    QTest::newRow("same subcategory under two main categories, own weights")
        << list({rec("\"A\"", "1", "\"x\"", "1"), rec("\"A\"", "1", "\"y\"", "2"),
                 rec("\"B\"", "1", "\"x\"", "5"), rec("\"B\"", "1", "\"z\"", "3")})
        << true << QStringList{"A", "B"} << QByteArray("{\"A\":[\"y\",\"x\"],\"B\":[\"x\",\"z\"]}");
    QTest::newRow("subcategory weight is the maximum")
        << list({rec("\"A\"", "1", "\"x\"", "1"), rec("\"A\"", "1", "\"y\"", "2"), rec("\"A\"", "1", "\"x\"", "3"),
                 rec("\"A\"", "1", "\"x\"", "0")})
        << true << QStringList{"A"} << QByteArray("{\"A\":[\"x\",\"y\"]}");
    // (A_B, C) and (A, B_C) both keep their weight under "A_B_C": the later
    // pair's first record overwrites it, so C sorts with B_C's weight 5.
    QTest::newRow("joined key collision shares one weight")
        << list({rec("\"A_B\"", "2", "\"C\"", "1"), rec("\"A_B\"", "2", "\"D\"", "3"),
                 rec("\"A\"", "1", "\"B_C\"", "5"), rec("\"A\"", "1", "\"E\"", "4")})
        << true << QStringList{"A_B", "A"} << QByteArray("{\"A_B\":[\"C\",\"D\"],\"A\":[\"B_C\",\"E\"]}");
    QTest::newRow("joined key collision: the first record of a pair overwrites downwards")
        << list({rec("\"A\"", "1", "\"B_C\"", "5"), rec("\"A\"", "1", "\"E\"", "4"),
                 rec("\"A_B\"", "2", "\"C\"", "1"), rec("\"A_B\"", "2", "\"D\"", "3")})
        << true << QStringList{"A_B", "A"} << QByteArray("{\"A_B\":[\"D\",\"C\"],\"A\":[\"E\",\"B_C\"]}");
    QTest::newRow("no records") << QByteArray("[]") << true << QStringList{} << QByteArray("{}");
}

void TestCatalogModel::categories()
{
    QFETCH(QByteArray, records);
    QFETCH(bool, ok);
    QFETCH(QStringList, mains);
    QFETCH(QByteArray, subs);
    QString error;
    const std::optional<catalog::Categories> derived =
        catalog::derive_categories(QJsonDocument::fromJson(records).array(), &error);
    QCOMPARE(derived.has_value(), ok);
    if (!ok) {
        QVERIFY(error.contains(QStringLiteral("ranking_id")));
        return;
    }
    QCOMPARE(derived->main_categories, mains);
    QCOMPARE(derived->subcategories, map_from(subs.constData()));
}

void TestCatalogModel::filter_data()
{
    QTest::addColumn<QString>("main");
    QTest::addColumn<QString>("sub");   // "<none>" = the whole main category
    QTest::addColumn<QStringList>("ids");
    const QString none = QStringLiteral("<none>");
    QTest::newRow("whole main category") << "A" << none << QStringList{"1", "2", "5"};
    QTest::newRow("subcategory matches across main categories") << "A" << "x" << QStringList{"1", "3"};
    QTest::newRow("empty subcategory name falls back to the main category") << "B" << "" << QStringList{"3", "4"};
    QTest::newRow("non-string subcategory never matches") << "A" << "7" << QStringList{};
    QTest::newRow("no match") << "Z" << none << QStringList{};
}

void TestCatalogModel::filter()
{
    QFETCH(QString, main);
    QFETCH(QString, sub);
    QFETCH(QStringList, ids);
    const QJsonArray records = records_from(R"([
        {"skin_id":1,"MainCategory":"A","subcategory":"x"},
        {"skin_id":2,"MainCategory":"A","subcategory":"y"},
        {"skin_id":3,"MainCategory":"B","subcategory":"x"},
        {"skin_id":4,"MainCategory":"B"},
        {"skin_id":5,"MainCategory":"A","subcategory":7},
        {"skin_id":6,"subcategory":"y"}])");
    std::optional<QString> selected;
    if (sub != QStringLiteral("<none>"))
        selected = sub;
    QCOMPARE(ids_of(catalog::filter_records(records, main, selected)), ids);
}

void TestCatalogModel::completeness_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("complete");
    const QByteArray full = R"({"name":"n","MainCategory":"M","subcategory":"s","pak_original":"p.pak","sig_original":"p.sig"})";
    QTest::newRow("all five present") << full << true;
    for (const char *key : catalog::REQUIRED_KEYS) {
        QJsonObject without = QJsonDocument::fromJson(full).object();
        without.remove(QLatin1String(key));
        QTest::newRow(qPrintable(QStringLiteral("missing %1").arg(QLatin1String(key))))
            << QJsonDocument(without).toJson() << false;
        QJsonObject blank = QJsonDocument::fromJson(full).object();
        blank.insert(QLatin1String(key), QString());
        QTest::newRow(qPrintable(QStringLiteral("empty %1").arg(QLatin1String(key))))
            << QJsonDocument(blank).toJson() << false;
    }
    QTest::newRow("zero name is empty")
        << QByteArray(R"({"name":0,"MainCategory":"M","subcategory":"s","pak_original":"p","sig_original":"q"})") << false;
    QTest::newRow("cover and skin_id not required") << full << true;
}

void TestCatalogModel::completeness()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, complete);
    QCOMPARE(catalog::is_complete(QJsonDocument::fromJson(record).object()), complete);
}

void TestCatalogModel::ordering_data()
{
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QStringList>("ids");  // empty = failure
    QTest::newRow("(2,5,7) (2,5,9) (3,0,1) give 1 9 7") << QByteArray(R"([
        {"skin_id":7,"MainCategory_ranking_id":2,"subcategory_ranking_id":5},
        {"skin_id":9,"MainCategory_ranking_id":2,"subcategory_ranking_id":5},
        {"skin_id":1,"MainCategory_ranking_id":3,"subcategory_ranking_id":0}])") << QStringList{"1", "9", "7"};
    QTest::newRow("string \"12\" sorts as 12") << QByteArray(R"([
        {"skin_id":11},{"skin_id":"12"},{"skin_id":13}])") << QStringList{"13", "12", "11"};
    QTest::newRow("2.7 sorts like 2, the id decides") << QByteArray(R"([
        {"skin_id":1,"MainCategory_ranking_id":2},
        {"skin_id":2,"MainCategory_ranking_id":2.7},
        {"skin_id":3,"MainCategory_ranking_id":3}])") << QStringList{"3", "2", "1"};
    QTest::newRow("no keys keep the response order") << QByteArray(R"([
        {"name":"c"},{"name":"a"},{"name":"b"}])") << QStringList{"unknown", "unknown", "unknown"};
    QTest::newRow("equal keys keep the response order") << QByteArray(R"([
        {"skin_id":"5","n":1},{"skin_id":5.9,"n":2},{"skin_id":" 5 ","n":3}])") << QStringList{"5", "5.9", " 5 "};
    QTest::newRow("subcategory weight before id") << QByteArray(R"([
        {"skin_id":9,"subcategory_ranking_id":1},{"skin_id":1,"subcategory_ranking_id":2}])") << QStringList{"1", "9"};
    QTest::newRow("letters in skin_id fail") << QByteArray(R"([{"skin_id":1},{"skin_id":"abc"}])") << QStringList{};
    QTest::newRow("object weight fails") << QByteArray(R"([{"MainCategory_ranking_id":{"a":1}}])") << QStringList{};
}

void TestCatalogModel::ordering()
{
    QFETCH(QByteArray, records);
    QFETCH(QStringList, ids);
    QString error;
    const std::optional<QJsonArray> ordered = catalog::order_records(QJsonDocument::fromJson(records).array(), &error);
    if (ids.isEmpty()) {
        QVERIFY(!ordered);
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY2(ordered, qPrintable(error));
    QCOMPARE(ids_of(*ordered), ids);
    if (ids.startsWith(QStringLiteral("unknown"))) {
        QStringList names;
        for (const QJsonValue &v : *ordered)
            names << v.toObject().value(QStringLiteral("name")).toString();
        QCOMPARE(names, (QStringList{"c", "a", "b"}));
    }
}

void TestCatalogModel::pageCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pages");
    QTest::newRow("seven make two pages") << 7 << 2;
    QTest::newRow("six make one page") << 6 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("twelve make two") << 12 << 2;
}

void TestCatalogModel::pageCount()
{
    QFETCH(int, count);
    QFETCH(int, pages);
    QCOMPARE(catalog::page_count(count, 6), pages);
}

void TestCatalogModel::textBodyDecoding_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    const QString text = QStringLiteral("欢迎使用 Furlane");
    QTest::newRow("no charset is UTF-8") << text.toUtf8() << QByteArray("text/plain");
    QTest::newRow("no content type is UTF-8") << text.toUtf8() << QByteArray();
    QTest::newRow("declared GBK") << QTextCodec::codecForName("GBK")->fromUnicode(text) << QByteArray("text/plain; charset=GBK");
    QTest::newRow("quoted charset") << text.toUtf8() << QByteArray("text/html; charset=\"utf-8\"");
    QTest::newRow("unknown charset falls back to UTF-8") << text.toUtf8() << QByteArray("text/plain; charset=x-nonsense");
}

void TestCatalogModel::textBodyDecoding()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QCOMPARE(catalog::decode_text_body(body, contentType), QStringLiteral("欢迎使用 Furlane"));
}

void TestCatalogModel::skinIdInLogs()
{
    const QJsonArray records = records_from(R"([{"skin_id":7},{"skin_id":"x7"},{"name":"n"},{"skin_id":null}])");
    QCOMPARE(ids_of(records), (QStringList{"7", "x7", "unknown", "null"}));
}

// --- the quick path over raw bodies must answer exactly as the general one ---

namespace {

struct Outcome {
    bool ok = false;
    QStringList mains;
    QMap<QString, QStringList> subs;
    QJsonArray selection;
    QString error;
};

Outcome general_categories(const QByteArray &body)
{
    Outcome out;
    const auto records = catalog::parse_records(body, &out.error);
    const auto derived = records ? catalog::derive_categories(*records, &out.error) : std::nullopt;
    if ((out.ok = derived.has_value())) {
        out.mains = derived->main_categories;
        out.subs = derived->subcategories;
    }
    return out;
}

Outcome general_selection(const QByteArray &body, const QString &main, const std::optional<QString> &sub)
{
    Outcome out;
    const auto records = catalog::parse_records(body, &out.error);
    const auto ordered =
        records ? catalog::order_records(catalog::filter_records(*records, main, sub), &out.error) : std::nullopt;
    if ((out.ok = ordered.has_value()))
        out.selection = *ordered;
    return out;
}

// Compares both functions taking a body against the general path; returns
// whether the quick path answered by itself.
bool check_agreement(const QByteArray &body, const QString &main, const std::optional<QString> &sub)
{
    const Outcome want = general_categories(body);
    Outcome got;
    const auto derived = catalog::categories_from_body(body, &got.error);
    got.ok = derived.has_value();
    if (got.ok) {
        got.mains = derived->main_categories;
        got.subs = derived->subcategories;
    }
    [&] {
        QCOMPARE(got.ok, want.ok);
        QCOMPARE(got.mains, want.mains);
        QCOMPARE(got.subs, want.subs);
        QCOMPARE(got.error, want.error);
    }();

    const Outcome want_sel = general_selection(body, main, sub);
    Outcome got_sel;
    const auto selected = catalog::selection_from_body(body, main, sub, &got_sel.error);
    got_sel.ok = selected.has_value();
    if (got_sel.ok)
        got_sel.selection = *selected;
    [&] {
        QCOMPARE(got_sel.ok, want_sel.ok);
        QCOMPARE(got_sel.selection, want_sel.selection);
        QCOMPARE(got_sel.error, want_sel.error);
    }();

    const bool quick_categories = catalog::scan::categories(body).has_value();
    const bool quick_selection = catalog::scan::selection(body, main, sub).has_value();
    // The quick path never answers where the general one fails.
    if (!want.ok)
        [&] { QVERIFY(!quick_categories); }();
    return quick_categories && quick_selection;
}

} // namespace

void TestCatalogModel::quickPathAgrees_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("quick");  // the quick path answers by itself

    const QByteArray a = R"({"skin_id":1,"name":"a","MainCategory":"A","subcategory":"x","MainCategory_ranking_id":2,"subcategory_ranking_id":1})";
    const QByteArray b = R"({"skin_id":2,"name":"b","MainCategory":"B","subcategory":"x","MainCategory_ranking_id":5,"subcategory_ranking_id":3})";
    QTest::newRow("plain") << "[" + a + "," + b + "]" << true;
    QTest::newRow("blanks everywhere") << " \n[ " + a + " ,\r\n\t" + b + " ] \n" << true;
    QTest::newRow("empty array") << QByteArray("[]") << true;
    QTest::newRow("escapes in values")
        << QByteArray(R"([{"MainCategory":"\u4e3b\"\/\\","subcategory":"x\ny","MainCategory_ranking_id":1},{"MainCategory":"A","subcategory":"\ud83d\ude00"}])")
        << true;
    QTest::newRow("non-ASCII names") << QByteArray(R"([{"MainCategory":"角色","subcategory":"猎人 一"},{"MainCategory":"角色","subcategory":"航海"}])") << true;
    QTest::newRow("numbers of every form")
        << QByteArray(R"([{"MainCategory":"A","MainCategory_ranking_id":-0},{"MainCategory":"B","MainCategory_ranking_id":1.5e1},)"
                      R"({"MainCategory":"C","MainCategory_ranking_id":12345678901234567890},{"MainCategory":"D","MainCategory_ranking_id":-2.5E-3},)"
                      R"({"MainCategory":"E","MainCategory_ranking_id":123456789012345678}])")
        << true;
    QTest::newRow("literals and empty containers as weights")
        << QByteArray(R"([{"MainCategory":"A","MainCategory_ranking_id":true},{"MainCategory":"B","MainCategory_ranking_id":false},)"
                      R"({"MainCategory":"C","MainCategory_ranking_id":null},{"MainCategory":"D","MainCategory_ranking_id":[ ]},)"
                      R"({"MainCategory":"E","MainCategory_ranking_id":{}},{"MainCategory":"F","MainCategory_ranking_id":""}])")
        << true;
    QTest::newRow("names that are not strings")
        << QByteArray(R"([{"MainCategory":7,"subcategory":"x"},{"MainCategory":"A","subcategory":["x"]},{"MainCategory":{"n":1}}])") << true;
    QTest::newRow("nested values in other keys")
        << QByteArray(R"([{"extra":{"a":[1,{"b":null}],"c":"}]"},"MainCategory":"A","subcategory":"x"}])") << true;
    QTest::newRow("repeated key that is not read") << QByteArray(R"([{"name":"a","name":"b","MainCategory":"A"}])") << true;
    QTest::newRow("joined key collision")
        << QByteArray(R"([{"MainCategory":"A_B","subcategory":"C","subcategory_ranking_id":1},{"MainCategory":"A_B","subcategory":"D","subcategory_ranking_id":3},)"
                      R"({"MainCategory":"A","subcategory":"B_C","subcategory_ranking_id":5},{"MainCategory":"A","subcategory":"E","subcategory_ranking_id":4}])")
        << true;

    // Everything below goes the general way, with the same answer.
    QTest::newRow("escaped key") << QByteArray(R"([{"Main\u0043ategory":"A","subcategory":"x"}])") << false;
    QTest::newRow("repeated category key") << QByteArray(R"([{"MainCategory":"A","MainCategory":"B"}])") << false;
    QTest::newRow("string weight") << QByteArray(R"([{"MainCategory":"A","MainCategory_ranking_id":"3"}])") << false;
    QTest::newRow("non-empty array weight") << QByteArray(R"([{"MainCategory":"A","MainCategory_ranking_id":[0]}])") << false;
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF[" + a + "]" << false;
    QTest::newRow("empty object body") << QByteArray("{}") << false;
    QTest::newRow("empty string body") << QByteArray("\"\"") << false;
    QTest::newRow("element not an object") << "[" + a + ",3]" << false;
    QTest::newRow("trailing garbage") << "[" + a + "]x" << false;
    QTest::newRow("trailing comma") << "[" + a + ",]" << false;
    QTest::newRow("number out of range") << QByteArray(R"([{"MainCategory":"A","x":1e999}])") << false;
    QTest::newRow("number with a bare point") << QByteArray(R"([{"MainCategory":"A","x":1.}])") << false;
    QTest::newRow("leading zero") << QByteArray(R"([{"MainCategory":"A","x":01}])") << false;
    QTest::newRow("control character in a string") << QByteArray("[{\"MainCategory\":\"A\tB\"}]") << false;
    QTest::newRow("invalid UTF-8") << QByteArray("[{\"MainCategory\":\"A\xC3\x28\"}]") << false;
    QTest::newRow("overlong UTF-8") << QByteArray("[{\"MainCategory\":\"\xC0\xAF\"}]") << false;
    QTest::newRow("overlong three-byte UTF-8") << QByteArray("[{\"MainCategory\":\"\xE0\x80\xAF\"}]") << false;
    QTest::newRow("surrogate in UTF-8") << QByteArray("[{\"MainCategory\":\"\xED\xA0\x80\"}]") << false;
    QTest::newRow("beyond U+10FFFF") << QByteArray("[{\"MainCategory\":\"\xF4\x90\x80\x80\"}]") << false;
    QTest::newRow("lone surrogate escape") << QByteArray(R"([{"MainCategory":"\ud800"}])") << false;
    QTest::newRow("NUL escape") << QByteArray(R"([{"MainCategory":"a\u0000b"}])") << false;
    QTest::newRow("deep nesting") << "[{\"MainCategory\":\"A\",\"x\":" + QByteArray(100, '[') + QByteArray(100, ']') + "}]" << false;
    QTest::newRow("not JSON") << QByteArray("<html>") << false;
    QTest::newRow("cut short") << "[" + a.left(30) << false;
}

void TestCatalogModel::quickPathAgrees()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, quick);
    for (const auto &sub : {std::optional<QString>(), std::optional<QString>(QStringLiteral("x"))}) {
        const bool answered = check_agreement(body, QStringLiteral("A"), sub);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(answered, quick);
    }
}

void TestCatalogModel::quickPathAgreesOnRandomCatalogues()
{
    QRandomGenerator random(20261207);
    const QStringList names{"A", "B", "A_B", "B_C", "C", "角色", "猎人", "x", "x\\n", "\\u00e9t\\u00e9", ""};
    // What a user may select: plain names and the decoded forms of the escaped ones.
    const QStringList selectable{"A", "B", "A_B", "C", "角色", "x", "x\n", "été", ""};
    auto pick = [&](const QStringList &list) { return list.at(int(random.bounded(list.size()))); };
    auto value = [&]() -> QString {
        switch (random.bounded(12)) {
        case 0: return QStringLiteral("\"%1\"").arg(pick(names));
        case 1: return QString::number(int(random.bounded(20)) - 5);
        case 2: return QString::number(random.bounded(100) / 7.0, 'g', 6);
        case 3: return QStringLiteral("true");
        case 4: return QStringLiteral("false");
        case 5: return QStringLiteral("null");
        case 6: return QStringLiteral("[]");
        case 7: return QStringLiteral("{}");
        case 8: return QStringLiteral("\"\"");
        case 9: return QStringLiteral("\"7\"");
        case 10: return QStringLiteral("[1, {\"a\": \"b\"}]");
        default: return QStringLiteral("%1e%2").arg(random.bounded(9) + 1).arg(random.bounded(5));
        }
    };
    const QStringList keys{"MainCategory", "subcategory", "MainCategory_ranking_id", "subcategory_ranking_id",
                           "skin_id", "name", "cover"};
    int quick = 0;
    for (int round = 0; round < 400; ++round) {
        QStringList records;
        const int count = int(random.bounded(8));
        for (int r = 0; r < count; ++r) {
            QStringList members;
            for (const QString &key : keys) {
                // Weights and ids are mostly numbers, names mostly names.
                if (random.bounded(6) == 0)
                    continue;
                QString v = value();
                if (key.endsWith(QStringLiteral("_id")) && random.bounded(3) != 0)
                    v = QString::number(int(random.bounded(10)));
                else if (!key.endsWith(QStringLiteral("_id")) && random.bounded(3) != 0)
                    v = QStringLiteral("\"%1\"").arg(pick(names));
                members << QStringLiteral("\"%1\" : %2").arg(key, v);
                if (random.bounded(40) == 0)
                    members << QStringLiteral("\"%1\":%2").arg(key, value());  // a repeated key
            }
            std::shuffle(members.begin(), members.end(), random);
            records << QLatin1Char('{') + members.join(random.bounded(2) ? QStringLiteral(",") : QStringLiteral(" ,\n ")) + QLatin1Char('}');
        }
        const QByteArray body = (QLatin1Char('[') + records.join(QLatin1Char(',')) + QLatin1Char(']')).toUtf8();
        const std::optional<QString> sub = random.bounded(2) ? std::optional<QString>(pick(selectable)) : std::nullopt;
        quick += check_agreement(body, pick(selectable), sub);
        if (QTest::currentTestFailed()) {
            qWarning("body: %s", body.constData());
            return;
        }
    }
    // Most random catalogues are plain enough for the quick path.
    QVERIFY2(quick > 100, qPrintable(QString::number(quick)));
}

QTEST_GUILESS_MAIN(TestCatalogModel)
#include "tst_catalog_model.moc"
