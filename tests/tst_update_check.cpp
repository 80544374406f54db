#include "app/program_services.h"
#include "core/download/update_check.h"
#include "core/support/log.h"
#include "support/log_capture.h"
#include "support/test_server.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

QJsonObject rule(const QVariantMap &effects)
{
    QJsonObject r = QJsonObject::fromVariantMap(effects);
    r.insert(QStringLiteral("match"), QStringLiteral("a.pak"));
    return r;
}

QJsonObject validators(const QJsonValue &etag, const QJsonValue &last_modified)
{
    QJsonObject v;
    if (!etag.isUndefined())
        v.insert(QStringLiteral("etag"), etag);
    if (!last_modified.isUndefined())
        v.insert(QStringLiteral("last_modified"), last_modified);
    return QJsonObject{{QStringLiteral("match"), QStringLiteral("a.pak")}, {QStringLiteral("validators"), v}};
}

const QByteArray EARLIER = "Mon, 01 Jan 2001 00:00:00 GMT";

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT
    ProgramServices m_services;
private slots:
    void initTestCase();
    void checks_data();
    void checks();

private:
    // The file's value for "file", a variant of it for the other words, empty for "".
    QByteArray etag(const QString &word) const;
    QByteArray modified(const QString &word) const;
    qint64 size(const QString &word) const;

    // A second server of the same files: Qt holds six connections per
    // server, so only checks spread over two show how many are in flight.
    TestServer server;
    TestServer mirror;
    QString m_url;
    QString m_mirror_url;
    HttpResult m_file;
};

void TestUpdateCheck::initTestCase()
{
    applog::install();
    QVERIFY(server.start());
    server.write_file(QStringLiteral("skins/主/子/a.pak"), QByteArray(5000, 'p'));
    m_url = server.base()
        + QStringLiteral("/subcutaneous/index_skin_download.php?MainCategory=主&subcategory=子&pak_original=a.pak");
    QVERIFY(mirror.start(false, {QStringLiteral("--data"), server.data_dir()}));
    m_mirror_url = QString(m_url).replace(server.base(), mirror.base());
    m_file = m_services.http.head(url_from_text(m_url), 5);
    QCOMPARE(m_file.status, 200);
    QVERIFY(!m_file.header("ETag").isEmpty() && !m_file.header("Last-Modified").isEmpty());
}

QByteArray TestUpdateCheck::etag(const QString &word) const
{
    if (word == QLatin1String("file"))
        return m_file.header("ETag");
    if (word == QLatin1String("W/file"))
        return "W/" + m_file.header("ETag");
    return word.toUtf8();
}

QByteArray TestUpdateCheck::modified(const QString &word) const
{
    if (word == QLatin1String("file"))
        return m_file.header("Last-Modified");
    return word == QLatin1String("earlier") ? EARLIER : word.toUtf8();
}

qint64 TestUpdateCheck::size(const QString &word) const
{
    if (word == QLatin1String("file"))
        return m_file.content_length;
    return word == QLatin1String("other") ? m_file.content_length + 1 : -1;
}

void TestUpdateCheck::checks_data()
{
    // The record's package ("file": the server file's own value).
    QTest::addColumn<QString>("etag");
    QTest::addColumn<QString>("modified");
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("revision_known");
    QTest::addColumn<bool>("has_url");
    QTest::addColumn<int>("records");   // that many of the same record
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("again");   // a second check asked for while the first runs
    // What the request carried and the answer meant.
    QTest::addColumn<QString>("if_none_match");
    QTest::addColumn<QString>("if_modified_since");
    QTest::addColumn<QString>("asks");   // the methods of one record's requests
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("answer_etag");
    QTest::addColumn<QString>("answer_modified");
    QTest::addColumn<QString>("error");

    const int same = int(PackageVerdict::Same), changed = int(PackageVerdict::Changed);
    const int learned = int(PackageVerdict::Learned), failed = int(PackageVerdict::Failed);
    const QJsonValue none = QJsonValue::Null, keep = QJsonValue::Undefined;

    QTest::newRow("same ETag: 304")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{} << 5 << false
        << "file" << "file" << "HEAD" << same << "file" << "file" << "";
    QTest::newRow("another ETag")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{validators("\"new\"", keep)} << 5 << false
        << "file" << "file" << "HEAD" << changed << "\"new\"" << "file" << "";
    QTest::newRow("Last-Modified only, same: 304")
        << "" << "file" << "file" << true << true << 1 << QJsonArray{validators(none, keep)} << 5 << false
        << "" << "file" << "HEAD" << same << "" << "file" << "";
    QTest::newRow("Last-Modified only, a later one")
        << "" << "earlier" << "file" << true << true << 1 << QJsonArray{validators(none, keep)} << 5 << false
        << "" << "earlier" << "HEAD" << changed << "" << "file" << "";
    QTest::newRow("no validators, same size")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{validators(none, none)} << 5 << false
        << "file" << "file" << "HEAD" << same << "" << "" << "";
    QTest::newRow("no validators, another size")
        << "" << "" << "other" << true << true << 1 << QJsonArray{validators(none, none)} << 5 << false
        << "" << "" << "HEAD" << changed << "" << "" << "";
    QTest::newRow("unknown revision: validators learned, nothing asked")
        << "" << "" << "file" << false << true << 1 << QJsonArray{} << 5 << false
        << "" << "" << "HEAD" << learned << "file" << "file" << "";
    QTest::newRow("validators of another kind than the record's are learned")
        << "file" << "" << "file" << true << true << 1 << QJsonArray{validators(none, keep)} << 5 << false
        << "file" << "" << "HEAD" << learned << "" << "file" << "";
    QTest::newRow("server's weak ETag is none: the dates decide")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{validators("W/\"x\"", keep)} << 5 << false
        << "file" << "file" << "HEAD" << same << "" << "file" << "";
    QTest::newRow("record's weak ETag is not sent")
        << "W/file" << "file" << "file" << true << true << 1 << QJsonArray{} << 5 << false
        << "" << "file" << "HEAD" << same << "file" << "file" << "";
    QTest::newRow("adopted skin of another size than the server's: a change, not learnt")
        << "" << "" << "other" << false << true << 1 << QJsonArray{} << 5 << false
        << "" << "" << "HEAD" << changed << "file" << "file" << "";
    // Apache's mod_deflate tags the ETag with the coding it would use.
    QTest::newRow("server tags its ETag with the coding asked for: the check asks for the download's")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{rule({{"coding_etag", true}})} << 5 << false
        << "file" << "file" << "HEAD" << same << "file" << "file" << "";
    // Both checks answer; the same failure is one log line per skin.
    QTest::newRow("404 fails, asked again during the check: answered twice, logged once")
        << "file" << "file" << "file" << true << true << 2 << QJsonArray{rule({{"status", 404}})} << 5 << true
        << "file" << "file" << "HEAD" << failed << "" << "" << "404 Client Error";
    QTest::newRow("redirect is followed with the same headers")
        << "file" << "file" << "file" << true << true << 1
        << QJsonArray{rule({{"method", "HEAD"}, {"times", 1}, {"redirect", m_url + "&hop=1"}})} << 5 << false
        << "file" << "file" << "HEAD,HEAD" << same << "file" << "file" << "";
    QTest::newRow("HEAD refused (405): asked again as a GET of one byte, its 304")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{rule({{"method", "HEAD"}, {"status", 405}})}
        << 5 << false << "file" << "file" << "HEAD,GET" << same << "file" << "file" << "";
    QTest::newRow("HEAD refused (405): the 206's whole size against the record's")
        << "" << "" << "other" << true << true << 1
        << QJsonArray{rule({{"method", "HEAD"}, {"status", 405}}), validators(none, none)} << 5 << false
        << "" << "" << "HEAD,GET" << changed << "" << "" << "";
    QTest::newRow("HEAD not implemented (501), ranges unknown: a 200's length, its body unread")
        << "file" << "file" << "file" << true << true << 1
        << QJsonArray{rule({{"method", "HEAD"}, {"status", 501}}), rule({{"no_ranges", true}})} << 5 << false
        << "file" << "file" << "HEAD,GET" << same << "" << "" << "";
    QTest::newRow("time-out fails")
        << "file" << "file" << "file" << true << true << 1 << QJsonArray{rule({{"delay", 3}})} << 1 << false
        << "file" << "file" << "HEAD" << failed << "" << "" << "请求超时";
    QTest::newRow("record without a package address fails unasked")
        << "file" << "file" << "file" << true << false << 1 << QJsonArray{} << 5 << false
        << "" << "" << "HEAD" << failed << "" << "" << "安装记录中没有安装包";
    // Sent all at once, the later ones would wait in Qt's queue for a
    // connection and time out there.
    QTest::newRow("20 skins on a slow server: a few at a time, none times out waiting")
        << "file" << "file" << "file" << true << true << 20 << QJsonArray{rule({{"delay", 0.7}})} << 1 << false
        << "file" << "file" << "HEAD" << same << "file" << "file" << "";
    // Never more than six at once, and six while more wait.
    QTest::newRow("12 skins on two servers: six in flight")
        << "file" << "file" << "file" << true << true << 12 << QJsonArray{rule({{"delay", 2}})} << 5 << false
        << "file" << "file" << "HEAD" << same << "file" << "file" << "";
}

void TestUpdateCheck::checks()
{
    QFETCH(QString, etag);
    QFETCH(QString, modified);
    QFETCH(QString, size);
    QFETCH(bool, revision_known);
    QFETCH(bool, has_url);
    QFETCH(int, records);
    QFETCH(QJsonArray, faults);
    QFETCH(int, timeout);
    QFETCH(bool, again);
    QFETCH(QString, if_none_match);
    QFETCH(QString, if_modified_since);
    QFETCH(QString, asks);
    QFETCH(int, verdict);
    QFETCH(QString, answer_etag);
    QFETCH(QString, answer_modified);
    QFETCH(QString, error);

    for (TestServer *each : {&server, &mirror}) {
        QVERIFY(each->reset());
        QVERIFY(each->set_faults(faults));
    }
    LogCapture log;

    InstalledFile package;
    package.path = QStringLiteral("a.pak");
    package.url = has_url ? m_url : QString();
    package.size = this->size(size);
    package.etag = this->etag(etag);
    package.last_modified = this->modified(modified);
    InstalledFile signature;
    signature.path = QStringLiteral("a.sig");
    signature.url = m_url;
    QVector<InstallRecord> list;
    for (int i = 0; i < records; ++i) {
        InstallRecord record;
        record.skin_id = QString::number(i + 1);
        record.name = QStringLiteral("狼皮%1").arg(i + 1);
        record.files = {package, signature};
        if (has_url && i % 2 == 1)
            record.files.first().url = m_mirror_url;
        record.revision_known = revision_known;
        list << record;
    }

    SkinUpdateChecker checker(m_services.http);
    checker.set_timeout_seconds(timeout);
    QSignalSpy answered(&checker, &SkinUpdateChecker::answered);
    QSignalSpy finished(&checker, &SkinUpdateChecker::finished);
    checker.check(list);
    if (again)
        checker.check(list);
    // Before the first (slow) answer: six asked at once, and no more.
    const auto asked = [&] { return server.requests().size() + mirror.requests().size(); };
    if (records > SkinUpdateChecker::MAX_IN_FLIGHT) {
        QTRY_VERIFY_WITH_TIMEOUT(asked() >= SkinUpdateChecker::MAX_IN_FLIGHT, 1500);
        QTest::qWait(200);
        if (answered.isEmpty())
            QCOMPARE(asked(), SkinUpdateChecker::MAX_IN_FLIGHT);
    }
    const int rounds = again ? 2 : 1;
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), rounds, 20000);
    QCOMPARE(answered.count(), records * rounds);
    QVERIFY(!checker.running());

    QStringList ids;
    for (const QList<QVariant> &args : answered) {
        const auto check = args.at(0).value<PackageCheck>();
        ids << check.skin_id;
        QCOMPARE(int(check.verdict), verdict);
        if (verdict == int(PackageVerdict::Failed)) {
            QVERIFY2(check.error.contains(error), qPrintable(check.error));
            continue;
        }
        QCOMPARE(check.etag, this->etag(answer_etag));
        QCOMPARE(check.last_modified, this->modified(answer_modified));
        QCOMPARE(check.size, m_file.content_length);
    }
    ids.sort();
    QCOMPARE(ids.size(), records * rounds);
    QCOMPARE(ids.removeDuplicates(), records * (rounds - 1));

    // A failure is a log line per skin, nothing else.
    const QStringList warnings = log.texts().filter(QStringLiteral("检查皮肤更新失败: 狼皮"));
    QCOMPARE(warnings.size(), verdict == int(PackageVerdict::Failed) ? records : 0);
    if (!warnings.isEmpty())
        QVERIFY2(warnings.first().startsWith(QStringLiteral("WARNING 检查皮肤更新失败: 狼皮"))
                     && warnings.first().contains(QStringLiteral(" - ") + error),
                 qPrintable(warnings.first()));

    QJsonArray sent = server.requests();
    for (const QJsonValue &value : mirror.requests())
        sent.append(value);
    QStringList methods, expected_methods;
    for (int i = 0; has_url && i < records * rounds; ++i)
        expected_methods += asks.split(QLatin1Char(','));
    for (const QJsonValue &value : sent) {
        const QJsonObject request = value.toObject();
        const QString method = request.value(QStringLiteral("method")).toString();
        methods << method;
        // Asked as the download asks, the ranged GET for its first byte only.
        QCOMPARE(TestServer::request_header(request, QStringLiteral("Accept-Encoding")), QStringLiteral("identity"));
        QCOMPARE(TestServer::request_header(request, QStringLiteral("Range")),
                 method == QLatin1String("GET") ? QStringLiteral("bytes=0-0") : QString());
        QCOMPARE(TestServer::request_header(request, QStringLiteral("If-None-Match")).toUtf8(), this->etag(if_none_match));
        QCOMPARE(TestServer::request_header(request, QStringLiteral("If-Modified-Since")).toUtf8(), this->modified(if_modified_since));
    }
    methods.sort();
    expected_methods.sort();
    QCOMPARE(methods, expected_methods);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
