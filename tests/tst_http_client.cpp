#include "app/program_services.h"
#include "core/net/http_client.h"
#include "core/net/resumable_get.h"
#include "core/support/log.h"
#include "support/test_server.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QNetworkAccessManager>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <optional>

namespace {

QStringList g_log;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "main") == 0)
        g_log << message;
    if (g_previous)
        g_previous(type, context, message);
}

QJsonObject rule(const QString &match, const QVariantMap &effects)
{
    QJsonObject r = QJsonObject::fromVariantMap(effects);
    r.insert(QStringLiteral("match"), match);
    return r;
}

bool run(const QString &program, const QStringList &args, const QString &dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

} // namespace

class TestHttpClient : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void init();
    void answers_data();
    void answers();
    void stalledServerTimesOut_data();
    void stalledServerTimesOut();
    void backgroundRequestDroppedWithItsContext();
    void refusedConnectionTriedFourTimes();
    void establishedConnectionNotRetried();
    void redirects_data();
    void redirects();
    void cookiesKept();
    void cookiesSharedAcrossThreads();
    void streamReads_data();
    void streamReads();
    void resumableGetHashAndValidators_data();
    void resumableGetHashAndValidators();
    void cancelWhileStalledIsPrompt();
    void tls();
    void eventsKeepFlowingWhileBlocked();

private:
    TestServer server;
    QString url(const QString &path) const { return server.base() + path; }
};

void TestHttpClient::initTestCase()
{
    applog::install();
    g_previous = qInstallMessageHandler(capture);
    QVERIFY(server.start());
    server.write_file(QStringLiteral("catalog.json"), "[{\"name\":\"a\"}]");
    server.write_file(QStringLiteral("skins/主/子/big.pak"), QByteArray(100000, 'x'));
}

void TestHttpClient::init()
{
    server.reset();
    g_log.clear();
}

void TestHttpClient::answers_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errorContains");
    QTest::newRow("plain 200") << QJsonArray{} << true << 200 << QString();
    QTest::newRow("404 is an answer with an error text naming code and url")
        << QJsonArray{rule("index_skins", {{"status", 404}})} << true << 404
        << QStringLiteral("404 Client Error: Not Found for url: ");
    QTest::newRow("500 is a server error")
        << QJsonArray{rule("index_skins", {{"status", 500}})} << true << 500 << QStringLiteral("500 Server Error");
    QTest::newRow("connection cut mid-body is a transport failure")
        << QJsonArray{rule("index_skins", {{"cut_after", 3}, {"body", QString(5000, QLatin1Char('y'))}})} << false << 0 << QString();
    QTest::newRow("a body shorter than its length is a transport failure")
        << QJsonArray{rule("index_skins", {{"content_length", 9000}, {"body", QString(5000, QLatin1Char('y'))}})} << false << 0
        << QString();
    QTest::newRow("connection closed before any answer")
        << QJsonArray{rule("index_skins", {{"drop", true}})} << false << 0 << QString();
}

void TestHttpClient::answers()
{
    QFETCH(QJsonArray, faults);
    QFETCH(bool, ok);
    QFETCH(int, status);
    QFETCH(QString, errorContains);
    server.set_faults(faults);
    const HttpResult r = m_services.http.get(url(QStringLiteral("/index_skins.php")), 5);
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.failed(), !ok || status >= 400);
    if (ok)
        QCOMPARE(r.status, status);
    else
        QVERIFY(!r.error_text().isEmpty());
    if (status == 200)
        QCOMPARE(r.body, QByteArray("[{\"name\":\"a\"}]"));
    if (!errorContains.isEmpty()) {
        QVERIFY2(r.error_text().contains(errorContains), qPrintable(r.error_text()));
        QVERIFY(r.error_text().contains(QStringLiteral("/index_skins.php")));
    }

    // The window's background GET comes to the same result.
    QObject context;
    std::optional<HttpResult> later;
    m_services.http.get_async(url(QStringLiteral("/index_skins.php")), 5, &context,
                                     [&](const HttpResult &answer) { later = answer; });
    QVERIFY(!later);
    QTRY_VERIFY(later.has_value());
    QCOMPARE(later->ok, r.ok);
    QCOMPARE(later->status, r.status);
    QCOMPARE(later->body, r.body);
    QCOMPARE(later->error_text().isEmpty(), r.error_text().isEmpty());
}

void TestHttpClient::backgroundRequestDroppedWithItsContext()
{
    server.set_faults({rule("index_skins", {{"delay", 0.5}})});
    bool called = false;
    auto *context = new QObject;
    m_services.http.get_async(url(QStringLiteral("/index_skins.php")), 5, context,
                                     [&](const HttpResult &) { called = true; });
    QTimer::singleShot(100, context, &QObject::deleteLater);
    QTest::qWait(1500);
    QVERIFY(!called);
    QCOMPARE(server.requests().size(), 1);
}

void TestHttpClient::stalledServerTimesOut_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::newRow("no headers") << rule("index_skins", {{"delay", 30}});
    QTest::newRow("stall mid-body") << rule("index_skins", {{"stall_after", 2}, {"body", "abcdef"}});
}

void TestHttpClient::stalledServerTimesOut()
{
    QFETCH(QJsonObject, fault);
    server.set_faults({fault});
    QElapsedTimer clock;
    clock.start();
    const HttpResult r = m_services.http.get(url(QStringLiteral("/index_skins.php")), 1);
    const qint64 ms = clock.elapsed();
    QVERIFY(r.failed());
    QVERIFY(r.timed_out);
    QVERIFY2(ms >= 900 && ms < 5000, qPrintable(QString::number(ms)));
    // A time-out after the connection was made is not retried.
    QCOMPARE(server.requests().size(), 1);
}

void TestHttpClient::refusedConnectionTriedFourTimes()
{
    const QString dead = QStringLiteral("http://127.0.0.1:%1/x").arg(TestServer::closed_port());
    const HttpResult r = m_services.http.get(dead, 5);
    QVERIFY(!r.ok);
    QVERIFY(!r.timed_out);
    QVERIFY(!r.error.isEmpty());
    const QStringList retries = g_log.filter(QStringLiteral("连接失败，立即重试"));
    QCOMPARE(retries.size(), HttpClient::MAX_RETRIES);
    QVERIFY(retries.last().contains(QStringLiteral("(3/3)")));
}

void TestHttpClient::establishedConnectionNotRetried()
{
    server.set_faults({rule("index_skins", {{"status", 503}})});
    const HttpResult r = m_services.http.get(url(QStringLiteral("/index_skins.php")), 5);
    QCOMPARE(r.status, 503);
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(g_log.filter(QStringLiteral("重试")).isEmpty());
}

// Every way of asking follows redirects in the client, and what it reports
// (status, size, address) is the final answer's, never a redirect's.
void TestHttpClient::redirects_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QString>("error");   // empty when the file is reached

    // A Location header is ASCII: the address as it goes on the wire.
    const QString file = QString::fromLatin1(
        url_from_text(QStringLiteral("/subcutaneous/index_skin_download.php?MainCategory=主&subcategory=子&pak_original=big.pak"))
            .toEncoded());
    QTest::newRow("followed for every method, the size the file's")
        << "/old.php" << QJsonArray{rule("old.php", {{"redirect", url(file)}})} << QString();
    QTest::newRow("relative address resolved against the redirect's")
        << "/a/old.php" << QJsonArray{rule("old.php", {{"redirect", ".." + file}})} << QString();
    // Hops from /h0.php through /h<n-1>.php to the file: n redirects.
    const auto chain = [&](int n) {
        QJsonArray rules;
        for (int i = 0; i < n; ++i)
            rules.append(rule(QStringLiteral("/h%1.php").arg(i),
                              {{"redirect", i + 1 < n ? QStringLiteral("/h%1.php").arg(i + 1) : file}}));
        return rules;
    };
    QTest::newRow("as many hops as allowed") << "/h0.php" << chain(HttpClient::MAX_REDIRECTS) << QString();
    QTest::newRow("one hop too many fails")
        << "/h0.php" << chain(HttpClient::MAX_REDIRECTS + 1) << QStringLiteral("重定向次数过多");
    QTest::newRow("a loop fails") << "/loop.php" << QJsonArray{rule("loop.php", {{"redirect", "loop.php"}})}
                                  << QStringLiteral("重定向循环");
    QTest::newRow("a redirect without Location fails")
        << "/old.php" << QJsonArray{rule("old.php", {{"status", 302}})} << QStringLiteral("重定向没有目标地址: 302");
}

void TestHttpClient::redirects()
{
    QFETCH(QString, path);
    QFETCH(QJsonArray, faults);
    QFETCH(QString, error);
    server.set_faults(faults);
    const QUrl address = url_from_text(url(path));
    const auto check = [&](const char *how, const HttpResult &r) {
        if (!error.isEmpty()) {
            QVERIFY2(!r.ok && r.error_text().contains(error), qPrintable(QString::fromLatin1(how) + ": " + r.error_text()));
            return;
        }
        QVERIFY2(r.ok, qPrintable(QString::fromLatin1(how) + ": " + r.error_text()));
        QCOMPARE(r.status, 200);
        QCOMPARE(r.content_length, qint64(100000));
        QVERIFY2(r.url.toString().endsWith(QStringLiteral("pak_original=big.pak")), qPrintable(r.url.toString()));
    };

    check("GET", m_services.http.get(address, 5));
    QCOMPARE(m_services.http.get(address, 5).body.size(), error.isEmpty() ? 100000 : 0);
    check("HEAD", m_services.http.head(address, 5));
    QObject context;
    std::optional<HttpResult> later;
    m_services.http.get_async(address, 5, &context, [&](const HttpResult &answer) { later = answer; });
    QTRY_VERIFY(later.has_value());
    check("background GET", *later);
    later.reset();
    m_services.http.head_async(address, 5, {}, &context, [&](const HttpResult &answer) { later = answer; });
    QTRY_VERIFY(later.has_value());
    check("background HEAD", *later);

    HttpResult failure;
    auto stream = m_services.http.open_stream(address, 5, &failure);
    check("stream", stream ? stream->head() : failure);
    QByteArray chunk;
    qint64 total = 0;
    while (stream && stream->read(chunk, 1 << 20) == HttpStream::Read::Data)
        total += chunk.size();
    QCOMPARE(total, error.isEmpty() ? 100000 : 0);
}

void TestHttpClient::cookiesKept()
{
    server.set_faults({rule("index_skins", {{"set_cookie", "session=abc123; Path=/"}, {"times", 1}})});
    m_services.http.get(url(QStringLiteral("/index_skins.php")), 5);
    m_services.http.get(url(QStringLiteral("/Instructions.php")), 5);
    const QJsonArray log = server.requests();
    QCOMPARE(log.size(), 2);
    QVERIFY(TestServer::request_header(log.at(0).toObject(), QStringLiteral("Cookie")).isEmpty());
    QCOMPARE(TestServer::request_header(log.at(1).toObject(), QStringLiteral("Cookie")), QStringLiteral("session=abc123"));
}

void TestHttpClient::cookiesSharedAcrossThreads()
{
    server.set_faults({rule("index_skins", {{"set_cookie", "shared=1; Path=/"}, {"times", 1}})});
    m_services.http.get(url(QStringLiteral("/index_skins.php")), 5);

    // A worker thread and the GUI thread at once, each with its own manager.
    QThread worker;
    HttpResult from_worker;
    QObject context;
    context.moveToThread(&worker);
    worker.start();
    QMetaObject::invokeMethod(&context, [&] {
        from_worker = m_services.http.get(url(QStringLiteral("/skin.php?w=1")), 5);
        QThread::currentThread()->quit();
    });
    const HttpResult from_gui = m_services.http.get(url(QStringLiteral("/Instructions.php")), 5);
    QVERIFY(worker.wait(10000));
    QVERIFY(from_gui.ok);
    QVERIFY(from_worker.ok);
    const QJsonArray log = server.requests();
    QCOMPARE(log.size(), 3);
    for (int i = 1; i < 3; ++i)
        QVERIFY(TestServer::request_header(log.at(i).toObject(), QStringLiteral("Cookie")).contains(QStringLiteral("shared=1")));
}

void TestHttpClient::streamReads_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<int>("expected");  // HttpStream::Read at the end
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("whole body in chunks") << QJsonArray{} << int(HttpStream::Read::End) << qint64(100000);
    QTest::newRow("no content length: read to the close")
        << QJsonArray{rule("big.pak", {{"content_length", "none"}})} << int(HttpStream::Read::End) << qint64(100000);
    QTest::newRow("body shorter than its content length")
        << QJsonArray{rule("big.pak", {{"content_length", 200000}})} << int(HttpStream::Read::Failed) << qint64(100000);
    QTest::newRow("cut connection")
        << QJsonArray{rule("big.pak", {{"cut_after", 30000}})} << int(HttpStream::Read::Failed) << qint64(30000);
    QTest::newRow("stall mid-body times out")
        << QJsonArray{rule("big.pak", {{"stall_after", 10000}})} << int(HttpStream::Read::Failed) << qint64(10000);
}

void TestHttpClient::streamReads()
{
    QFETCH(QJsonArray, faults);
    QFETCH(int, expected);
    QFETCH(qint64, bytes);
    server.set_faults(faults);
    HttpResult failure;
    const QString address = url(QStringLiteral("/subcutaneous/index_skin_download.php?MainCategory=主&subcategory=子&pak_original=big.pak"));
    auto stream = m_services.http.open_stream(url_from_text(address), 1, &failure);
    QVERIFY2(stream, qPrintable(failure.error));
    QCOMPARE(stream->head().status, 200);
    QByteArray chunk;
    qint64 total = 0;
    HttpStream::Read outcome;
    while ((outcome = stream->read(chunk, 8192)) == HttpStream::Read::Data) {
        QVERIFY(chunk.size() > 0 && chunk.size() <= 8192);
        total += chunk.size();
    }
    QCOMPARE(int(outcome), expected);
    QCOMPARE(total, bytes);
    if (outcome == HttpStream::Read::Failed)
        QVERIFY(!stream->error().isEmpty());
}

// Whether the file is resumed or starts again, its hash is that of the bytes
// that end up on disk, and its validators are those of the answer that
// completed it ("served": what the server now sends for the file).
void TestHttpClient::resumableGetHashAndValidators_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<bool>("file_changes");   // rewritten on the server at the first bytes
    QTest::addColumn<QString>("logged");      // part of the resume or restart line; empty: none
    QTest::addColumn<QString>("etag");
    QTest::addColumn<QString>("last_modified");
    const QString pak = QStringLiteral("hash.pak");
    auto cut = [&](QVariantMap fault) {
        fault.insert("cut_after", 30000);
        fault.insert("times", 1);
        fault.insert("method", "GET");
        return rule(pak, fault);
    };
    auto on_resume = [&](QVariantMap fault) {
        fault.insert("range", "bytes=30000-");
        return rule(pak, fault);
    };
    const QString resumed = QStringLiteral("从 30000 字节处继续");
    const QString restarted = QStringLiteral("重新下载");
    QTest::newRow("whole at once") << QJsonArray{} << false << QString() << "served" << "served";
    QTest::newRow("cut, resumed: one hash over both answers")
        << QJsonArray{cut({})} << false << resumed << "served" << "served";
    QTest::newRow("cut, no validators: the hash starts again")
        << QJsonArray{cut({{"no_ranges", true}}), rule(pak, {{"no_ranges", true}})} << false << restarted << ""
        << "";
    const QVariantMap weak{{"etag", "W/\"x\""}};
    QTest::newRow("weak ETag: none kept, the hash starts again")
        << QJsonArray{cut({{"validators", weak}}), rule(pak, {{"validators", weak}})} << false << restarted << ""
        << "served";
    const QVariantMap date_only{{"etag", QVariant()}};
    QTest::newRow("206 without its date: the date of the answer it continues")
        << QJsonArray{cut({{"validators", date_only}}),
                      on_resume({{"validators", date_only}, {"partial_without", QVariantList{"Last-Modified"}}})}
        << false << resumed << "" << "served";
    QTest::newRow("file changed: the new file's hash and validators")
        << QJsonArray{cut({})} << true << restarted << "served" << "served";
    const QVariantMap other{{"etag", "\"other\""}, {"last_modified", "Mon, 01 Jan 2001 00:00:00 GMT"}};
    QTest::newRow("206 of another version, refused: the fresh answer's validators")
        << QJsonArray{cut({}), on_resume({{"validators", other}, {"ignore_if_range", true}})} << false << restarted
        << "served" << "served";
}

void TestHttpClient::resumableGetHashAndValidators()
{
    QFETCH(QJsonArray, faults);
    QFETCH(bool, file_changes);
    QFETCH(QString, logged);
    QFETCH(QString, etag);
    QFETCH(QString, last_modified);
    auto random_bytes = [](quint32 seed) {
        QByteArray data(100000, Qt::Uninitialized);
        QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        return data;
    };
    const QString name = QStringLiteral("skins/主/子/hash.pak");
    server.write_file(name, random_bytes(1));
    server.set_faults(faults);
    const QUrl address = url_from_text(
        url(QStringLiteral("/subcutaneous/index_skin_download.php?MainCategory=主&subcategory=子&pak_original=hash.pak")));
    QTemporaryDir dir;
    ResumableGet get(m_services.http);
    get.url = address;
    get.file_path = dir.filePath(QStringLiteral("hash.pak.tmp"));
    get.file_name = QStringLiteral("hash.pak");
    get.timeout_seconds = 5;
    bool changed = false;
    get.on_bytes = [&](qint64) {
        if (file_changes && !changed)
            server.write_file(name, random_bytes(2));
        changed = true;
    };
    QString error;
    QCOMPARE(int(get.run(error)), int(ResumableGet::Result::Done));
    QFile file(get.file_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray on_disk = file.readAll();
    QCOMPARE(on_disk, random_bytes(file_changes ? 2 : 1));
    QCOMPARE(get.sha256_hex(), QCryptographicHash::hash(on_disk, QCryptographicHash::Sha256).toHex());
    if (logged.isEmpty())
        QCOMPARE(g_log.filter(QStringLiteral("hash.pak")), QStringList());
    else
        QVERIFY2(!g_log.filter(logged).isEmpty(), qPrintable(g_log.join(QStringLiteral(" | "))));

    server.set_faults({});
    const HttpResult served = m_services.http.head(address, 5);
    QVERIFY(!served.header("ETag").isEmpty() && !served.header("Last-Modified").isEmpty());
    QCOMPARE(get.etag(), etag == QLatin1String("served") ? served.header("ETag") : etag.toLatin1());
    QCOMPARE(get.last_modified(),
             last_modified == QLatin1String("served") ? served.header("Last-Modified") : last_modified.toLatin1());
}

void TestHttpClient::cancelWhileStalledIsPrompt()
{
    server.set_faults({rule("index_skins", {{"delay", 30}})});
    std::atomic<bool> cancel{false};
    QTimer::singleShot(100, [&] { cancel = true; });
    QElapsedTimer clock;
    clock.start();
    const HttpResult r = m_services.http.get(url(QStringLiteral("/index_skins.php")), 30, &cancel);
    QVERIFY(r.cancelled);
    QVERIFY(!r.ok);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void TestHttpClient::tls()
{
#ifdef Q_OS_WIN
    QSKIP("makes its certificates with the Linux openssl command, which a Windows program cannot start");
#endif
    // Our own CA and a server certificate for 127.0.0.1 signed by it.
    QTemporaryDir dir;
    const QString d = dir.path();
    QVERIFY(run(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                           "-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Test CA"}, d));
    QVERIFY(run(QStringLiteral("openssl"), {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "srv.key",
                                           "-out", "srv.csr", "-subj", "/CN=127.0.0.1"}, d));
    QFile ext(d + QStringLiteral("/ext.cnf"));
    QVERIFY(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    QVERIFY(run(QStringLiteral("openssl"), {"x509", "-req", "-in", "srv.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                                           "-CAcreateserial", "-out", "srv.pem", "-days", "2", "-extfile", "ext.cnf"}, d));
    TestServer tls_server;
    QVERIFY(tls_server.start(false, {QStringLiteral("--tls-cert"), d + QStringLiteral("/srv.pem"),
                                     QStringLiteral("--tls-key"), d + QStringLiteral("/srv.key")}));
    tls_server.write_file(QStringLiteral("catalog.json"), "[]");
    const QString address = tls_server.base() + QStringLiteral("/index_skins.php");
    QVERIFY(address.startsWith(QStringLiteral("https://")));

    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();

    QSslConfiguration trusting = original;
    trusting.addCaCertificates(QSslCertificate::fromPath(d + QStringLiteral("/ca.pem")));
    QSslConfiguration::setDefaultConfiguration(trusting);
    const HttpResult trusted = m_services.http.get(address, 5);
    // Never on from an encrypted address to a plain one, whatever the method.
    tls_server.set_faults({rule("old.php", {{"redirect", url(QStringLiteral("/index_skins.php"))}})});
    const HttpResult downgraded = m_services.http.head(url_from_text(tls_server.base() + QStringLiteral("/old.php")), 5);
    QSslConfiguration::setDefaultConfiguration(original);
    QVERIFY2(!downgraded.ok && downgraded.error.startsWith(QStringLiteral("拒绝重定向: https://")),
             qPrintable(downgraded.error_text()));
    QVERIFY(server.requests().isEmpty());
    // Kept-alive connections were verified already; start afresh.
    m_services.http.manager()->clearConnectionCache();
    QVERIFY2(trusted.ok, qPrintable(trusted.error));
    QCOMPARE(trusted.status, 200);
    QCOMPARE(trusted.body, QByteArray("[]"));
    const HttpResult untrusted = m_services.http.get(address, 5);
    QVERIFY(!untrusted.ok);
    QVERIFY2(!untrusted.error.isEmpty(), "an untrusted certificate must fail");
}

void TestHttpClient::eventsKeepFlowingWhileBlocked()
{
    // A blocking call waits in a local loop: timers (and so painting) go on.
    server.set_faults({rule("index_skins", {{"delay", 0.6}})});
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    const HttpResult r = m_services.http.get(url(QStringLiteral("/index_skins.php")), 5);
    QCOMPARE(r.status, 200);
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_http_client.moc"
