#include "core/catalog/catalog_model.h"
#include "core/catalog/search_index.h"

#include <QJsonDocument>
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
    void catalogueBody_data();
    void catalogueBody();
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
    void search_data();
    void search();
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
    const std::optional<double> got = catalog::integer_value(value_from(json), QLatin1String("skin_id"), &error);
    QCOMPARE(got.has_value(), ok);
    if (ok) {
        QCOMPARE(*got, value);
    } else {
        QVERIFY2(error.contains(QStringLiteral("skin_id")), qPrintable(error));
    }
}

void TestCatalogModel::catalogueBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("count");  // records of main category A; -1 = failure
    QTest::addColumn<QString>("error");  // part of the failure's text
    QTest::newRow("empty array") << QByteArray(" [ ] ") << 0 << QString();
    QTest::newRow("empty object passes as no records") << QByteArray("{}") << 0 << QString();
    QTest::newRow("empty JSON string passes as no records") << QByteArray("\"\"") << 0 << QString();
    QTest::newRow("objects") << QByteArray("[{\"MainCategory\":\"A\"}, {\"name\":\"a\",\"MainCategory\":\"A\"}, {}]") << 2
                             << QString();
    QTest::newRow("element not an object") << QByteArray("[{}, 1]") << -1 << QStringLiteral("第 2 项");
    QTest::newRow("element not an object is named before a bad weight")
        << QByteArray(R"([{"MainCategory":"A","MainCategory_ranking_id":"9"}, 3])") << -1 << QStringLiteral("第 2 项");
    QTest::newRow("non-empty object") << QByteArray("{\"a\":1}") << -1 << QString();
    QTest::newRow("non-empty string") << QByteArray("\"x\"") << -1 << QString();
    QTest::newRow("number") << QByteArray("5") << -1 << QString();
    QTest::newRow("null") << QByteArray("null") << -1 << QString();
    QTest::newRow("not JSON") << QByteArray("<html>oops</html>") << -1 << QString();
    QTest::newRow("empty body") << QByteArray("") << -1 << QString();
    QTest::newRow("truncated") << QByteArray("[{\"name\":\"a\"}") << -1 << QString();
}

void TestCatalogModel::catalogueBody()
{
    QFETCH(QByteArray, body);
    QFETCH(int, count);
    QFETCH(QString, error);
    QString selection_error;
    const std::optional<QJsonArray> selected =
        catalog::selection_from_body(body, QStringLiteral("A"), std::nullopt, &selection_error);
    QString categories_error;
    const std::optional<catalog::Categories> derived = catalog::categories_from_body(body, &categories_error);
    if (count < 0) {
        QVERIFY(!selected);
        QVERIFY(!derived);
        QVERIFY(!selection_error.isEmpty());
        QCOMPARE(categories_error, selection_error);
        QVERIFY2(selection_error.contains(error), qPrintable(selection_error));
    } else {
        QVERIFY2(selected, qPrintable(selection_error));
        QVERIFY2(derived, qPrintable(categories_error));
        QCOMPARE(selected->size(), count);
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
    const catalog::CategoryFilter filter(main, selected);
    QJsonArray kept;
    for (const QJsonValue &record : records) {
        if (filter.keeps(record.toObject()))
            kept.append(record);
    }
    QCOMPARE(ids_of(kept), ids);
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


void TestCatalogModel::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("ids");  // in display order
    QTest::newRow("case: abc finds ABC and Abc, list order, no incomplete or unorderable record")
        << QStringLiteral("abc") << QStringList{"5", "1"};
    QTest::newRow("full width query ＡＢＣ finds abc") << QStringLiteral("ＡＢＣ") << QStringList{"5", "1"};
    QTest::newRow("full width name found by xyz") << QStringLiteral("xyz") << QStringList{"2"};
    QTest::newRow("spaces in the name ignored") << QStringLiteral("猎人外套") << QStringList{"4"};
    QTest::newRow("spaces in the query ignored") << QStringLiteral("a b\tc") << QStringList{"5", "1"};
    QTest::newRow("ideographic space ignored") << QStringLiteral("猎人\u3000外") << QStringList{"4"};
    QTest::newRow("exact skin_id, trimmed") << QStringLiteral(" 4 ") << QStringList{"4"};
    QTest::newRow("skin_id matches whole, 1 is not 12") << QStringLiteral("1") << QStringList{"1"};
    QTest::newRow("skin_id given as text matches as written") << QStringLiteral("007") << QStringList{"007"};
    QTest::newRow("part of a text skin_id is none") << QStringLiteral("07") << QStringList{};
    QTest::newRow("a number's other spellings are no skin_id") << QStringLiteral("4.0") << QStringList{};
    QTest::newRow("no match") << QStringLiteral("zzz") << QStringList{};
    QTest::newRow("blank query finds nothing") << QStringLiteral(" \u3000 ") << QStringList{};
}

void TestCatalogModel::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, ids);
    const QJsonArray catalogue = records_from(R"([
        {"skin_id":1,"name":"Abc Hunter","MainCategory":"M","subcategory":"s","pak_original":"a.pak","sig_original":"a.sig","MainCategory_ranking_id":1},
        {"skin_id":2,"name":"ＸＹＺ 披风","MainCategory":"M","subcategory":"s","pak_original":"b.pak","sig_original":"b.sig"},
        {"skin_id":3,"name":"abc","MainCategory":"M","subcategory":"s","pak_original":"c.pak"},
        {"skin_id":4,"name":" 猎人 外套","MainCategory":"N","subcategory":"t","pak_original":"d.pak","sig_original":"d.sig","MainCategory_ranking_id":2},
        {"skin_id":5,"name":"ABC","MainCategory":"N","subcategory":"t","pak_original":"e.pak","sig_original":"e.sig","MainCategory_ranking_id":3},
        {"skin_id":"x6","name":"abc bad id","MainCategory":"N","subcategory":"t","pak_original":"f.pak","sig_original":"f.sig"},
        "abc",
        {"skin_id":12,"name":"十二","MainCategory":"N","subcategory":"t","pak_original":"g.pak","sig_original":"g.sig"},
        {"skin_id":"007","name":"七","MainCategory":"N","subcategory":"t","pak_original":"h.pak","sig_original":"h.sig"}])");
    catalog::SearchIndex index(catalogue);
    QCOMPARE(ids_of(index.find(query)), ids);
    // A catalogue that differs in one name replaces the index at the next
    // query.
    QJsonArray renamed = catalogue;
    QJsonObject first = renamed.at(0).toObject();
    first.insert(QStringLiteral("name"), QStringLiteral("Zed"));
    renamed.replace(0, first);
    index.set_catalogue(renamed);
    QCOMPARE(ids_of(index.find(QStringLiteral("ｚｅｄ"))), QStringList{"1"});
}

QTEST_GUILESS_MAIN(TestCatalogModel)
#include "tst_catalog_model.moc"
