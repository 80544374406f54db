#include <algorithm>
#include "core/net/http_client.h"
#include "core/catalog/catalog_service.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "support/test_server.h"

#include <QApplication>
#include <QtTest>

namespace {

QStringList g_log;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "main") == 0) {
        const char *level = type == QtWarningMsg ? "WARNING" : type == QtInfoMsg ? "INFO" : type == QtDebugMsg ? "DEBUG" : "ERROR";
        g_log << QString::fromLatin1(level) + QLatin1Char(' ') + message;
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

class TestEndpoints : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void resolution_data();
    void resolution();
    void serverDown();
    void endpointsWrittenOnce();

private:
    void check_summary(const QString &base);
    // Resolves the endpoints and waits for the answer.
    bool resolve();
    TestServer server;
    HttpClient http;
    CatalogService service{http};
};

void TestEndpoints::initTestCase()
{
    applog::install();
    g_previous = qInstallMessageHandler(capture);
    QVERIFY(server.start());
    config::use_server_for_tests(server.base(), QStringLiteral("demo"));
    QVERIFY(resolve());
}

bool TestEndpoints::resolve()
{
    QSignalSpy ready(&service, &CatalogService::endpoints_ready);
    service.resolve_endpoints();
    return ready.wait(15000);
}

void TestEndpoints::check_summary(const QString &base)
{
    QCOMPARE(config::BASE_URL(), base);
    QCOMPARE(config::Instructions_API(), base + QStringLiteral("/Instructions.php"));
    QCOMPARE(config::BASE_API(), base + QStringLiteral("/index_skins.php"));
    QCOMPARE(config::SKIN_DOWNLOAD_API(), base + QStringLiteral("/subcutaneous/index_skin_download.php"));
    QCOMPARE(config::IMAGE_DOWNLOAD_API(), base + QStringLiteral("/subcutaneous/index_image_download.php"));
    const QStringList expected{
        QStringLiteral("INFO API地址设置完成:"),
        QStringLiteral("INFO   Instructions_API: ") + config::Instructions_API(),
        QStringLiteral("INFO   BASE_API: ") + config::BASE_API(),
        QStringLiteral("INFO   SKIN_DOWNLOAD_API: ") + config::SKIN_DOWNLOAD_API(),
        QStringLiteral("INFO   IMAGE_DOWNLOAD_API: ") + config::IMAGE_DOWNLOAD_API(),
    };
    QVERIFY(g_log.size() >= 5);
    QCOMPARE(g_log.mid(g_log.size() - 5), expected);
}

void TestEndpoints::resolution_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("base");      // "" = the fallback
    QTest::addColumn<QString>("firstLog");

    const QString fallback_warning = QStringLiteral("WARNING 动态API地址无效，使用备用地址");
    QTest::newRow("blanks and a trailing line break are stripped")
        << QJsonArray{} << QByteArray("  \thttp://cdn.example.test/api \r\n") << QStringLiteral("http://cdn.example.test/api")
        << QStringLiteral("INFO 成功获取动态API地址: http://cdn.example.test/api");
    QTest::newRow("https accepted") << QJsonArray{} << QByteArray("https://a.test") << QStringLiteral("https://a.test")
                                    << QStringLiteral("INFO 成功获取动态API地址: https://a.test");
    QTest::newRow("HTTPS in capitals rejected") << QJsonArray{} << QByteArray("HTTPS://a.test") << QString() << fallback_warning;
    QTest::newRow("empty answer") << QJsonArray{} << QByteArray(" \n") << QString() << fallback_warning;
    QTest::newRow("no scheme") << QJsonArray{} << QByteArray("a.test/api") << QString() << fallback_warning;
    QTest::newRow("any text starting with http is taken unchanged")
        << QJsonArray{} << QByteArray("httpfoo") << QStringLiteral("httpfoo") << QStringLiteral("INFO 成功获取动态API地址: httpfoo");
    QTest::newRow("trailing slash gives a double slash")
        << QJsonArray{} << QByteArray("http://a.test/") << QStringLiteral("http://a.test/")
        << QStringLiteral("INFO 成功获取动态API地址: http://a.test/");
    QTest::newRow("404 falls back with the error text")
        << QJsonArray{QJsonObject{{"match", "皮肤.php"}, {"status", 404}}} << QByteArray("http://a.test") << QString()
        << QStringLiteral("WARNING 获取动态API地址失败: 404 Client Error");
    QTest::newRow("500 falls back with the error text")
        << QJsonArray{QJsonObject{{"match", "皮肤.php"}, {"status", 500}}} << QByteArray("http://a.test") << QString()
        << QStringLiteral("WARNING 获取动态API地址失败: 500 Server Error");
    QTest::newRow("cut connection falls back")
        << QJsonArray{QJsonObject{{"match", "皮肤.php"}, {"drop", true}}} << QByteArray("http://a.test") << QString()
        << QStringLiteral("WARNING 获取动态API地址失败: ");
}

void TestEndpoints::resolution()
{
    QFETCH(QJsonArray, faults);
    QFETCH(QByteArray, answer);
    QFETCH(QString, base);
    QFETCH(QString, firstLog);

    server.reset();
    server.set_faults(faults);
    server.write_file(QStringLiteral("address.txt"), answer);
    config::reset_endpoints_for_tests();
    g_log.clear();
    QVERIFY(resolve());

    const QString expected_base = base.isEmpty() ? server.base() + QStringLiteral("/2/皮肤.php") : base;
    // A slow machine may log a line of the start-up before it; the line must be there.
    const auto logged = std::find_if(g_log.cbegin(), g_log.cend(),
                                     [&](const QString &line) { return line.startsWith(firstLog); });
    QVERIFY2(logged != g_log.cend(), qPrintable(g_log.join(QLatin1Char('\n'))));
    if (firstLog.contains(QStringLiteral("获取动态API地址失败")))
        QVERIFY2(logged->endsWith(QStringLiteral("，使用备用地址")), qPrintable(*logged));
    check_summary(expected_base);

    // The request carried the configured name value.
    QJsonArray log;
    for (const QJsonValue &request : server.requests()) {
        if (request.toObject().value(QStringLiteral("path")).toString() != QLatin1String("/api1/"))
            log.append(request);
    }
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.at(0).toObject().value(QStringLiteral("path")).toString(), QStringLiteral("/2/皮肤.php"));
    QCOMPARE(log.at(0).toObject().value(QStringLiteral("query")).toString(), QStringLiteral("name=demo"));
}

void TestEndpoints::serverDown()
{
    const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(TestServer::closed_port());
    config::use_server_for_tests(dead);
    config::reset_endpoints_for_tests();
    g_log.clear();
    QVERIFY(resolve());
    config::use_server_for_tests(server.base());
    QVERIFY(!g_log.filter(QStringLiteral("WARNING 获取动态API地址失败: ")).isEmpty());
    check_summary(dead + QStringLiteral("/2/皮肤.php"));
}

void TestEndpoints::endpointsWrittenOnce()
{
    const QString before = config::BASE_API();
    QVERIFY(!before.isEmpty());
    QVERIFY(!config::set_endpoints(QStringLiteral("http://elsewhere.test")));
    QCOMPARE(config::BASE_API(), before);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestEndpoints test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endpoints.moc"
