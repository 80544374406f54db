#include "core/update/elevated_launch.h"
#include "core/update/update_logic.h"

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

class TestUpdateLogic : public QObject {
    Q_OBJECT
private slots:
    void versionComparison_data();
    void versionComparison();
    void fileNameFromAddress_data();
    void fileNameFromAddress();
    void mebibytes_data();
    void mebibytes();
    void progressThrottle_data();
    void progressThrottle();
    void scriptText_data();
    void scriptText();
    void scriptEncoding_data();
    void scriptEncoding();
    void scriptWriteReplacesAndFails();
    void publisherCheck_data();
    void publisherCheck();
};

namespace {

using Signature = platform::CodeSignature;

Signature signature(Signature::Status status, const std::string &der = std::string(), long code = 0,
                    const std::wstring &error = std::wstring())
{
    Signature out;
    out.status = status;
    out.code = code;
    out.error = error;
    out.subject_der = der;
    out.subject = QString::fromStdString(der).toStdWString();
    return out;
}

} // namespace

Q_DECLARE_METATYPE(platform::CodeSignature)

void TestUpdateLogic::versionComparison_data()
{
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");

    const QString cur = selfupdate::CURRENT_VERSION;
    QTest::newRow("1.1 is newer") << "1.1" << cur << true;
    QTest::newRow("1.10 is newer (text, not number)") << "1.10" << cur << true;
    QTest::newRow("1.0.1 is newer (longer with same prefix)") << "1.0.1" << cur << true;
    QTest::newRow("2 is newer") << "2" << cur << true;
    QTest::newRow("10 is newer ('1' then '0' > '.')") << "10" << cur << true;
    QTest::newRow("same version is not newer") << "1.0" << cur << false;
    QTest::newRow("1 is a proper prefix, so older") << "1" << cur << false;
    QTest::newRow("0.9 is no downgrade") << "0.9" << cur << false;
    QTest::newRow("empty is never newer") << "" << cur << false;
    QTest::newRow("1.0 with trailing blank is newer") << "1.0 " << cur << true;
    // U+10000 is a surrogate pair in UTF-16 (0xD800...), below U+FF61 by
    // unit but above it by code point.
    QTest::newRow("code points, not UTF-16 units") << QString::fromUcs4(U"\U00010000") << QString::fromUcs4(U"\uFF61")
                                                  << true;
    QTest::newRow("code points, reverse") << QString::fromUcs4(U"\uFF61") << QString::fromUcs4(U"\U00010000") << false;
}

void TestUpdateLogic::versionComparison()
{
    QFETCH(QString, latest);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(selfupdate::is_newer_version(latest, current), newer);
}

void TestUpdateLogic::fileNameFromAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");

    QTest::newRow("plain name") << "http://127.0.0.1/files/Furlane_1.1.exe" << "Furlane_1.1.exe";
    QTest::newRow("no slash at all") << "Furlane.exe" << "Furlane.exe";
    QTest::newRow("non-ASCII name kept") << "http://h/files/更新版.exe" << "更新版.exe";
    QTest::newRow("trailing slash gives no name") << "http://127.0.0.1/files/" << "";
    QTest::newRow("dot") << "http://h/files/." << "";
    QTest::newRow("dot dot") << "http://h/files/.." << "";
    QTest::newRow("backslash could climb on Windows") << "http://h/files/..\\..\\evil.exe" << "";
    QTest::newRow("drive colon") << "http://h/C:evil.exe" << "";
    QTest::newRow("query mark") << "http://h/get.php?f=new.exe" << "";
    QTest::newRow("star") << "http://h/files/*.exe" << "";
    QTest::newRow("pipe") << "http://h/files/a|b.exe" << "";
    QTest::newRow("quote would break the script") << "http://h/files/a\"b.exe" << "";
    QTest::newRow("control character") << QStringLiteral("http://h/files/a\tb.exe") << "";
    QTest::newRow("trailing dot renamed by Windows") << "http://h/files/new.exe." << "";
    QTest::newRow("trailing blank renamed by Windows") << "http://h/files/new.exe " << "";
    QTest::newRow("device name") << "http://h/files/con" << "";
    QTest::newRow("device name with extension") << "http://h/files/NUL.exe" << "";
    QTest::newRow("COM port") << "http://h/files/com1.exe" << "";
    QTest::newRow("COM0 is an ordinary name") << "http://h/files/com0.exe" << "com0.exe";
    QTest::newRow("console-like but longer") << "http://h/files/console.exe" << "console.exe";
    QTest::newRow("leading dot is fine") << "http://h/files/.hidden" << ".hidden";
}

void TestUpdateLogic::fileNameFromAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QString reason;
    QCOMPARE(selfupdate::safe_file_name_from_url(url, &reason), name);
    QCOMPARE(reason.isEmpty(), !name.isEmpty());
}

void TestUpdateLogic::mebibytes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << qint64(0) << "0.0";
    QTest::newRow("one and a half") << qint64(1572864) << "1.5";
    QTest::newRow("twenty") << qint64(20971520) << "20.0";
    QTest::newRow("just under a mebibyte rounds up") << qint64(1048575) << "1.0";
    QTest::newRow("0.04999 rounds down") << qint64(52428) << "0.0";
    QTest::newRow("0.05000x rounds up") << qint64(52429) << "0.1";
    QTest::newRow("exact tie 0.25 to even") << qint64(262144) << "0.2";
    QTest::newRow("exact tie 0.75 to even") << qint64(786432) << "0.8";
    QTest::newRow("gibibytes") << qint64(5368709120LL) << "5120.0";
}

void TestUpdateLogic::mebibytes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(selfupdate::mebibytes_text(bytes), text);
}

void TestUpdateLogic::progressThrottle_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<double>("now");
    QTest::addColumn<double>("last");
    QTest::addColumn<bool>("shown");

    QTest::newRow("first report (last never)") << qint64(10) << qint64(100) << 5000.0 << 0.0 << true;
    QTest::newRow("unknown size never") << qint64(10) << qint64(-1) << 5000.0 << 0.0 << false;
    QTest::newRow("zero size never") << qint64(0) << qint64(0) << 5000.0 << 0.0 << false;
    QTest::newRow("too soon") << qint64(20) << qint64(100) << 5000.05 << 5000.0 << false;
    QTest::newRow("a tenth later") << qint64(20) << qint64(100) << 5000.1 << 5000.0 << true;
    QTest::newRow("final one however soon") << qint64(100) << qint64(100) << 5000.001 << 5000.0 << true;
    QTest::newRow("final of unknown size stays hidden") << qint64(100) << qint64(-1) << 5000.001 << 5000.0 << false;
    // A total below what came belongs to some other answer (a redirect's).
    QTest::newRow("total below received never") << qint64(2097152) << qint64(9) << 5000.0 << 0.0 << false;
}

void TestUpdateLogic::progressThrottle()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(double, now);
    QFETCH(double, last);
    QFETCH(bool, shown);
    QCOMPARE(selfupdate::should_show_progress(received, total, now, last), shown);
    QCOMPARE(selfupdate::progress_text(1572864, 20971520), QStringLiteral("更新中，下载进度: 1.5MB/20.0MB"));
}

void TestUpdateLogic::scriptText_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("dir");    // how the lines name the folder
    QTest::addColumn<QString>("self");   // how the last "del" names the script
    // No folder in the text: %~dp0 is the script's own, and the program's.
    QTest::newRow("any folder: %~dp0") << QStringLiteral("C:\\工具\\Übersicht") << QStringLiteral("%~dp0")
                                       << QStringLiteral("%~f0");
    // Wine's cmd would expand the "%" that %~dp0 yields.
    QTest::newRow("folder with %: written out") << QStringLiteral("C:\\Games\\100%")
                                               << QStringLiteral("C:\\Games\\100%%\\")
                                               << QStringLiteral("C:\\Games\\100%%\\update.bat");
}

void TestUpdateLogic::scriptText()
{
    QFETCH(QString, folder);
    QFETCH(QString, dir);
    QFETCH(QString, self);
    const QString text = selfupdate::update_script_text(folder, QStringLiteral("Furlane 100%.exe"),
                                                        QStringLiteral("new%USERNAME%.exe"));
    const QStringList lines{
        QString(),
        QStringLiteral("@echo off"),
        QStringLiteral("timeout /t 1 /nobreak >nul"),
        QStringLiteral("taskkill /F /IM \"Furlane 100%%.exe\" >nul 2>&1"),
        QStringLiteral("start \"\" \"") + dir + QStringLiteral("new%%USERNAME%%.exe\""),
        QStringLiteral("timeout /t 3 /nobreak >nul"),
        QStringLiteral("del /F /Q \"") + dir + QStringLiteral("Furlane 100%%.exe\" >nul 2>&1"),
        QStringLiteral("timeout /t 1 /nobreak >nul"),
        QStringLiteral("del /F /Q \"") + self + QStringLiteral("\" >nul 2>&1"),
        QStringLiteral("exit"),
    };
    QCOMPARE(text, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

void TestUpdateLogic::scriptEncoding_data()
{
    QTest::addColumn<QByteArray>("codec");   // a number: that Windows code page, through the system
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("expected"); // empty: refused

    QTest::newRow("ASCII in Western") << QByteArray("windows-1252") << "C:\\a.exe" << QByteArray("C:\\a.exe");
    QTest::newRow("Chinese in GBK") << QByteArray("GBK") << QStringLiteral("C:\\游戏\\a.exe")
                                   << QByteArray("C:\\\xd3\xce\xcf\xb7\\a.exe");
    // cmd reads the script in the OEM code page, where Ü is not 0xDC.
    QTest::newRow("umlaut in OEM 850") << QByteArray("IBM 850") << QStringLiteral("Übersicht.exe")
                                      << QByteArray("\x9a" "bersicht.exe");
    QTest::newRow("accent in Western") << QByteArray("windows-1252") << QStringLiteral("C:\\José\\a.exe")
                                      << QByteArray("C:\\Jos\xe9\\a.exe");
    QTest::newRow("Chinese refused in Western (would be ?)") << QByteArray("windows-1252")
                                                            << QStringLiteral("C:\\游戏\\a.exe") << QByteArray();
    QTest::newRow("Cyrillic refused in GBK-less Western") << QByteArray("ISO-8859-1")
                                                         << QStringLiteral("C:\\Игры\\a.exe") << QByteArray();
    QTest::newRow("system: ø in OEM 850 (437 has none)")
        << QByteArray("850") << QStringLiteral("C:\\ø.exe") << QByteArray("C:\\\x9b.exe");
    // Windows' "use Unicode UTF-8" option makes the OEM code page UTF-8.
    QTest::newRow("system: any name in OEM UTF-8") << QByteArray("65001") << QStringLiteral("C:\\游戏\\Übersicht.exe")
                                                   << QStringLiteral("C:\\游戏\\Übersicht.exe").toUtf8();
    QTest::newRow("system: lone surrogate refused in OEM UTF-8")
        << QByteArray("65001") << QStringLiteral("C:\\") + QChar(0xd800) + QStringLiteral("a.exe") << QByteArray();
}

void TestUpdateLogic::scriptEncoding()
{
    QFETCH(QByteArray, codec);
    QFETCH(QString, path);
    QFETCH(QByteArray, expected);
    bool system_page = false;
    const unsigned page = codec.toUInt(&system_page);
    if (system_page) {
#ifdef Q_OS_WIN
        std::string bytes;
        const bool encoded = platform::to_oem_code_page(path.toStdWString(), &bytes, page);
        QCOMPARE(encoded, !expected.isEmpty());
        if (encoded)
            QCOMPARE(QByteArray::fromStdString(bytes), expected);
        return;
#else
        Q_UNUSED(page)
        QSKIP("Windows' code pages only");
#endif
    }
    QTextCodec *c = QTextCodec::codecForName(codec);
    QVERIFY(c);
    QString error;
    const std::optional<QByteArray> bytes = selfupdate::encode_script(path, c, &error);
    QCOMPARE(bytes.has_value(), !expected.isEmpty());
    if (bytes)
        QCOMPARE(*bytes, expected);
    else
        QVERIFY(!error.isEmpty());
}

void TestUpdateLogic::scriptWriteReplacesAndFails()
{
    QTemporaryDir dir;
    const QString bat = dir.filePath(QStringLiteral("update.bat"));
    {
        QFile old(bat);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
    }
    QCOMPARE(selfupdate::write_update_script(bat, QStringLiteral("C:\\x"), QStringLiteral("a.exe"), QStringLiteral("b.exe")), QString());
    QFile written(bat);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), selfupdate::update_script_text(QStringLiteral("C:\\x"), QStringLiteral("a.exe"), QStringLiteral("b.exe")).toUtf8());
    written.close();

    // A folder in the way (root may write anywhere else): reported, nothing
    // half-written left behind.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("blocked/update.bat/inside")));
    const QString blocked = dir.filePath(QStringLiteral("blocked/update.bat"));
    QVERIFY(!selfupdate::write_update_script(blocked, QStringLiteral("C:\\x"), QStringLiteral("a"), QStringLiteral("b")).isEmpty());
    QCOMPARE(QDir(dir.filePath(QStringLiteral("blocked"))).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

void TestUpdateLogic::publisherCheck_data()
{
    QTest::addColumn<Signature>("running");
    QTest::addColumn<Signature>("update");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("unverified");
    QTest::addColumn<QString>("reason");

    const Signature ours = signature(Signature::Status::Valid, "CN=Pub, O=A");
    const Signature none;
    QTest::newRow("no check on this platform") << none << none << true << true << "";
    QTest::newRow("unsigned program takes an unsigned update")
        << signature(Signature::Status::Unsigned) << signature(Signature::Status::Unsigned) << true << true << "";
    QTest::newRow("same publisher") << ours << signature(Signature::Status::Valid, "CN=Pub, O=A") << true << false
                                    << "";
    QTest::newRow("unsigned update") << ours << signature(Signature::Status::Unsigned) << false << false
                                     << "更新文件没有数字签名";
    QTest::newRow("changed after signing") << ours << signature(Signature::Status::BadDigest) << false << false
                                           << "更新文件的内容与数字签名不符";
    QTest::newRow("windows' own verdict")
        << ours << signature(Signature::Status::Failed, "", long(0x800B0109), L"根证书不受信任") << false << false
        << "更新文件的数字签名无效: 根证书不受信任 (0x800b0109)";
    QTest::newRow("verdict without text") << ours << signature(Signature::Status::Failed, "", long(0x80096004))
                                          << false << false << "更新文件的数字签名无效: 0x80096004";
    // The whole name counts: one that merely contains ours is another.
    QTest::newRow("another publisher of the same common name")
        << ours << signature(Signature::Status::Valid, "CN=Pub, O=A, OU=B") << false << false
        << "更新文件的发布者与当前程序不同: CN=Pub, O=A, OU=B (当前程序: CN=Pub, O=A)";
    QTest::newRow("program's own signature does not hold")
        << signature(Signature::Status::BadDigest) << ours << false << false << "当前程序的内容与数字签名不符";
}

void TestUpdateLogic::publisherCheck()
{
    QFETCH(Signature, running);
    QFETCH(Signature, update);
    QFETCH(bool, accepted);
    QFETCH(bool, unverified);
    QFETCH(QString, reason);
    const selfupdate::SignatureVerdict verdict = selfupdate::judge_update_signature(running, update);
    QCOMPARE(verdict.accepted, accepted);
    QCOMPARE(verdict.unverified, unverified);
    QCOMPARE(verdict.reason, reason);
    if (!accepted)
        QCOMPARE(selfupdate::signature_failure_text(reason), QStringLiteral("更新文件签名校验失败: ") + reason);
}

QTEST_GUILESS_MAIN(TestUpdateLogic)
#include "tst_update_logic.moc"
