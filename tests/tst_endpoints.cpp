#include <algorithm>
#include "core/net/http_client.h"
#include "core/catalog/catalog_service.h"
#include "core/covers/cover_cache.h"
#include "core/install/install_store.h"
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
    void twoServersInOneProcess_data();
    void twoServersInOneProcess();

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
    const ServerEndpoints &endpoints = service.endpoints();
    QCOMPARE(endpoints.base_url, base);
    QCOMPARE(endpoints.instructions_api, base + QStringLiteral("/Instructions.php"));
    QCOMPARE(endpoints.base_api, base + QStringLiteral("/index_skins.php"));
    QCOMPARE(endpoints.skin_download_api, base + QStringLiteral("/subcutaneous/index_skin_download.php"));
    QCOMPARE(endpoints.image_download_api, base + QStringLiteral("/subcutaneous/index_image_download.php"));
    const QStringList expected{
        QStringLiteral("INFO API地址设置完成:"),
        QStringLiteral("INFO   Instructions_API: ") + endpoints.instructions_api,
        QStringLiteral("INFO   BASE_API: ") + endpoints.base_api,
        QStringLiteral("INFO   SKIN_DOWNLOAD_API: ") + endpoints.skin_download_api,
        QStringLiteral("INFO   IMAGE_DOWNLOAD_API: ") + endpoints.image_download_api,
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
    g_log.clear();
    QVERIFY(resolve());
    config::use_server_for_tests(server.base());
    QVERIFY(!g_log.filter(QStringLiteral("WARNING 获取动态API地址失败: ")).isEmpty());
    check_summary(dead + QStringLiteral("/2/皮肤.php"));
}

void TestEndpoints::twoServersInOneProcess_data()
{
    QTest::addColumn<QString>("address");   // which address of a skin is built

    QTest::newRow("cover address names its own server") << QStringLiteral("cover");
    QTest::newRow("package address names its own server") << QStringLiteral("package");
    QTest::newRow("signature address names its own server") << QStringLiteral("signature");
}

void TestEndpoints::twoServersInOneProcess()
{
    QFETCH(QString, address);

    const QJsonObject skin{{"name", "甲"}, {"MainCategory", "主"}, {"subcategory", "子"},
                           {"cover", "c.png"}, {"pak_original", "a.pak"}, {"sig_original", "a.sig"}};
    const auto built = [&](const ServerEndpoints &endpoints) {
        if (address == QLatin1String("cover"))
            return cover_url(endpoints, skin);
        if (address == QLatin1String("package"))
            return skin_package_url(endpoints, skin);
        return skin_signature_url(endpoints, skin);
    };
    const QString endpoint_of_kind = address == QLatin1String("cover") ? QStringLiteral("/subcutaneous/index_image_download.php?")
                                                                       : QStringLiteral("/subcutaneous/index_skin_download.php?");

    // The resolved server, and another one built beside it: neither changes the other.
    const ServerEndpoints resolved = service.endpoints();
    QVERIFY(!resolved.is_empty());
    const ServerEndpoints elsewhere = ServerEndpoints::from_base(QStringLiteral("http://elsewhere.test"));
    CatalogService other{http};
    other.set_endpoints(elsewhere);

    const QString here = built(resolved);
    const QString there = built(other.endpoints());
    QVERIFY2(here.startsWith(resolved.base_url + endpoint_of_kind), qPrintable(here));
    QVERIFY2(there.startsWith(QStringLiteral("http://elsewhere.test") + endpoint_of_kind), qPrintable(there));
    QCOMPARE(built(service.endpoints()), here);
    QCOMPARE(service.endpoints().base_api, resolved.base_api);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestEndpoints test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endpoints.moc"
