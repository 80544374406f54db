// The version check and the self-update, end to end against the stand-in
// server. Every run that ends the process happens in a child: this program
// started again with "--child", which builds the real window, prints each
// message box and progress text to stdout and lets the update run its course.
#include "app/program_services.h"
#include "app/main_window.h"
#include "core/support/config.h"
#include "support/hard_link.h"
#include "core/support/log.h"
#include "support/test_server.h"
#include "core/update/elevated_launch.h"
#include "core/update/update_logic.h"
#include "core/update/update_worker.h"
#include "core/update/updater.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

const char *const CHILD_FLAG = "--child";

void print_line(const QString &line)
{
    QString flat = line;
    flat.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    std::fputs((flat + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

class BoxPrinter : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched))
                print_line(QStringLiteral("BOX\t") + box->windowTitle() + QLatin1Char('\t') + box->text());
        }
        return false;
    }
};

// Child side: one start of the application with test options.
//   --child BASE [--limit-ms N] [--stall-ms N] [--record FILE] [--fsize BYTES] [--alive-ms N]
//   [--close-on-download]
int run_child(int argc, char **argv)
{
    applog::install();
    if (!config::init_configuration())
        return 3;
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const char *name) {
        const int i = args.indexOf(QLatin1String(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
    };
    config::use_server_for_tests(args.at(args.indexOf(QLatin1String(CHILD_FLAG)) + 1));
    if (!option("--record").isEmpty())
        platform::set_launch_record_file_for_tests(option("--record").toStdString());

    // Prints every message box as it shows (the update may end the process
    // right after), then presses its default button: a fatal box ends the
    // process on that press.
    BoxPrinter printer;
    app.installEventFilter(&printer);
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        QAbstractButton *button = box->defaultButton();
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button)
            button->click();
        else
            box->reject();
    });
    boxes.start(20);

    ProgramServices services;
    MainWindow window(services);
    Updater *updater = window.findChild<Updater *>();
    if (!updater)
        return 4;
    if (!option("--limit-ms").isEmpty())
        updater->set_download_limit_ms(option("--limit-ms").toInt());
    if (!option("--stall-ms").isEmpty())
        updater->set_stall_limit_ms(option("--stall-ms").toInt());
    QElapsedTimer clock;
    clock.start();
    const bool close_on_download = args.contains(QStringLiteral("--close-on-download"));
    QObject::connect(&window, &MainWindow::update_progress_shown, [&](const QString &text) {
        print_line(QStringLiteral("PROGRESS\t") + QString::number(clock.elapsed()) + QLatin1Char('\t') + text);
        if (close_on_download && text.contains(QStringLiteral("开始下载更新文件")))
            QTimer::singleShot(100, &window, &QWidget::close);
    });
#ifdef Q_OS_UNIX
    if (!option("--fsize").isEmpty()) {
        // The update file meets a full disk: writes past this size fail.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t size = option("--fsize").toULongLong();
        rlimit limit{size, size};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
#endif
    // Still running this long after the check: report and stop.
    const int alive_ms = option("--alive-ms").isEmpty() ? 60000 : option("--alive-ms").toInt();
    QTimer::singleShot(alive_ms, &app, [&] {
        print_line(QStringLiteral("ALIVE\t") + (updater->is_updating() ? QStringLiteral("thread") : QStringLiteral("no-thread")));
        QCoreApplication::exit(42);
    });
    window.show();
    return app.exec();
}

struct ChildRun {
    bool finished = false;
    QProcess::ExitStatus exit_status = QProcess::CrashExit;
    int exit_code = -1;
    QStringList boxes;    // "title\ttext"
    QStringList progress; // texts in order
    QList<qint64> progress_ms;
    QStringList alive;
    QString log;
};

QByteArray served_bytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xff);
    return data;
}

QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// A copy of this test program as `dir`/Furlane.exe: the update saves beside
// the program, which must not be the build folder.
QString copy_program(const QString &dir)
{
    const QString exe = dir + QStringLiteral("/Furlane.exe");
    if (!QDir().mkpath(dir) || !QFile::copy(QCoreApplication::applicationFilePath(), exe))
        return QString();
    return exe;
}

QJsonObject version_record(const QJsonValue &version, const QJsonValue &url)
{
    return QJsonObject{{QStringLiteral("Furlane代理版本"), version}, {QStringLiteral("Furlane代理下载地址"), url}};
}

QByteArray json(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void init();

    void fatalCheck_data();
    void fatalCheck();
    void upToDate_data();
    void upToDate();
    void updateReplacesProgram_data();
    void updateReplacesProgram();
    void updateFails_data();
    void updateFails();
    void newerVersionWhereNothingRunsTheScript();
    void installStepFails_data();
    void installStepFails();
    void checkLeavesInputFree();
    void windowClosedDuringUpdate();
    void workerFailsOnItsThread();

private:
    // `argv0`, when given, is what the child sees as its first argument.
    ChildRun run(const QStringList &options, const QString &workdir = QString(), const QString &program = QString(),
                 const QString &base = QString(), const QString &argv0 = QString());
    void set_version(const QByteArray &body);
    void set_faults(const QJsonArray &rules);

    TestServer server;
    QTemporaryDir scratch;
};

void TestUpdate::initTestCase()
{
    QVERIFY(server.start());
    server.write_file(QStringLiteral("catalog.json"), "[]");
    server.write_file(QStringLiteral("instructions.txt"), "instructions");
    QVERIFY(scratch.isValid());
}

void TestUpdate::init()
{
    QVERIFY(server.reset());
    QFile::remove(server.data_dir() + QStringLiteral("/version.json"));
}

void TestUpdate::set_version(const QByteArray &body)
{
    // The server puts its own address in place of @@BASE@@.
    server.write_file(QStringLiteral("version.json"), body);
}

void TestUpdate::set_faults(const QJsonArray &rules)
{
    QVERIFY(server.set_faults(rules));
}

ChildRun TestUpdate::run(const QStringList &options, const QString &workdir, const QString &program,
                         const QString &base, const QString &argv0)
{
    QProcess child;
    const QString exe = program.isEmpty() ? QCoreApplication::applicationFilePath() : program;
    QStringList arguments{QLatin1String(CHILD_FLAG), base.isEmpty() ? server.base() : base};
    arguments += options;
    // A Windows program finds itself through its module, never its first
    // argument: there `argv0` has nothing to show.
    if (argv0.isEmpty() || QDir::separator() == QLatin1Char('\\')) {
        child.setProgram(exe);
    } else {
        child.setProgram(QStringLiteral("/bin/bash"));
        arguments = QStringList{QStringLiteral("-c"), QStringLiteral("exec -a \"$0\" \"$@\""), argv0, exe} + arguments;
    }
    child.setArguments(arguments);
    child.setWorkingDirectory(workdir.isEmpty() ? scratch.path() : workdir);
    child.start();
    ChildRun result;
    if (!child.waitForStarted(10000))
        return result;
    result.finished = child.waitForFinished(60000);
    if (!result.finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    result.exit_status = child.exitStatus();
    result.exit_code = child.exitCode();
    result.log = QString::fromUtf8(child.readAllStandardError());
    // Windows' text-mode standard output ends lines in "\r\n".
    const QString output = QString::fromUtf8(child.readAllStandardOutput()).remove(QLatin1Char('\r'));
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QStringList parts = line.split(QLatin1Char('\t'));
        if (parts.first() == QLatin1String("BOX") && parts.size() == 3)
            result.boxes << parts.at(1) + QLatin1Char('\t') + parts.at(2);
        else if (parts.first() == QLatin1String("PROGRESS") && parts.size() == 3) {
            result.progress_ms << parts.at(1).toLongLong();
            result.progress << parts.at(2);
        } else if (parts.first() == QLatin1String("ALIVE"))
            result.alive << parts.value(1);
    }
    return result;
}

// --- the check: every fatal answer ends the program with status 1 ----------

void TestUpdate::fatalCheck_data()
{
    QTest::addColumn<QByteArray>("version_json"); // empty: the server's default
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<bool>("server_down");
    QTest::addColumn<QString>("box");       // exact text, or prefix when ending in ": "
    QTest::addColumn<QString>("detail");    // must appear after a prefix
    QTest::addColumn<QString>("before");    // the one box closed before it, if any

    const QJsonArray none;
    const QString exception = QStringLiteral("获取版本信息异常: ");
    QTest::newRow("server down") << QByteArray() << none << true << exception << QString()
                                 << QStringLiteral("分类加载失败");
    QTest::newRow("status 503") << QByteArray()
                                << QJsonArray{QJsonObject{{"match", "/api1/"}, {"status", 503}}} << false
                                << QStringLiteral("获取版本信息失败，状态码: 503") << QString() << QString();
    QTest::newRow("status 404") << QByteArray()
                                << QJsonArray{QJsonObject{{"match", "/api1/"}, {"status", 404}}} << false
                                << QStringLiteral("获取版本信息失败，状态码: 404") << QString() << QString();
    QTest::newRow("download key missing") << json({{QStringLiteral("Furlane代理版本"), "1.1"}}) << none << false
                                          << QStringLiteral("服务器响应错误") << QString() << QString();
    QTest::newRow("version key missing") << json({{QStringLiteral("Furlane代理下载地址"), "@@BASE@@/files/a.exe"}})
                                         << none << false << QStringLiteral("服务器响应错误") << QString() << QString();
    QTest::newRow("array instead of object")
        << QStringLiteral("[\"Furlane代理版本\", \"Furlane代理下载地址\"]").toUtf8() << none << false
        << QStringLiteral("服务器响应错误") << QString() << QString();
    QTest::newRow("not JSON") << QByteArray("<html>maintenance</html>") << none << false << exception << QString() << QString();
    QTest::newRow("empty body") << QByteArray() << QJsonArray{QJsonObject{{"match", "/api1/"}, {"body", ""}}}
                                << false << exception << QString() << QString();
    QTest::newRow("body cut short") << QByteArray()
                                    << QJsonArray{QJsonObject{{"match", "/api1/"}, {"cut_after", 10}}} << false
                                    << exception << QString() << QString();
    QTest::newRow("version as JSON number") << json(version_record(1.1, "@@BASE@@/files/a.exe")) << none << false
                                            << QStringLiteral("检查更新异常: ") << QStringLiteral("1.1") << QString();
    QTest::newRow("version true") << json(version_record(true, "@@BASE@@/files/a.exe")) << none << false
                                  << QStringLiteral("检查更新异常: ") << QStringLiteral("true") << QString();
    QTest::newRow("no answer within 5 s")
        << QByteArray() << QJsonArray{QJsonObject{{"match", "/api1/"}, {"delay", 20}}} << false << exception
        << QStringLiteral("超时") << QString();
    // The catalogue's box comes first and alone, though its answer comes last.
    QTest::newRow("catalogue times out, version refused")
        << QByteArray()
        << QJsonArray{QJsonObject{{"match", "index_skins.php"}, {"delay", 12}},
                      QJsonObject{{"match", "/api1/"}, {"status", 503}}}
        << false << QStringLiteral("获取版本信息失败，状态码: 503") << QString() << QStringLiteral("分类加载失败");
}

void TestUpdate::fatalCheck()
{
    QFETCH(QByteArray, version_json);
    QFETCH(QJsonArray, faults);
    QFETCH(bool, server_down);
    QFETCH(QString, box);
    QFETCH(QString, detail);
    QFETCH(QString, before);

    if (!version_json.isEmpty())
        set_version(version_json);
    set_faults(faults);
    const QString base = server_down ? QStringLiteral("http://127.0.0.1:%1").arg(TestServer::closed_port()) : QString();
    const ChildRun r = run({}, QString(), QString(), base);

    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_status, QProcess::NormalExit);
    QCOMPARE(r.exit_code, 1);
    QVERIFY2(!r.boxes.isEmpty(), qPrintable(r.log));
    const QStringList last = r.boxes.last().split(QLatin1Char('\t'));
    QCOMPARE(last.first(), QStringLiteral("程序错误"));
    if (!before.isEmpty()) {
        QCOMPARE(r.boxes.size(), 2);
        QCOMPARE(r.boxes.first().section(QLatin1Char('\t'), 0, 0), before);
    }
    if (box.endsWith(QStringLiteral(": "))) {
        QVERIFY2(last.last().startsWith(box) && last.last().size() > box.size(), qPrintable(last.last()));
        QVERIFY2(last.last().contains(detail), qPrintable(last.last()));
    } else {
        QCOMPARE(last.last(), box);
    }
    QVERIFY(r.progress.isEmpty());
}

// --- the check: nothing newer, the program goes on ------------------------

void TestUpdate::upToDate_data()
{
    QTest::addColumn<QJsonValue>("version");
    QTest::newRow("same version") << QJsonValue(QStringLiteral("1.0"));
    QTest::newRow("older 0.9, no downgrade") << QJsonValue(QStringLiteral("0.9"));
    QTest::newRow("prefix 1") << QJsonValue(QStringLiteral("1"));
    QTest::newRow("empty text") << QJsonValue(QString());
    // No version published at all is no newer version, not a broken answer.
    QTest::newRow("version null") << QJsonValue();
    QTest::newRow("version empty array") << QJsonValue(QJsonArray());
}

void TestUpdate::upToDate()
{
    QFETCH(QJsonValue, version);
    set_version(json(version_record(version, "@@BASE@@/files/Furlane.exe")));
    const ChildRun r = run({QStringLiteral("--alive-ms"), QStringLiteral("2500")});

    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_code, 42);
    QCOMPARE(r.alive, QStringList{QStringLiteral("no-thread")});
    QVERIFY2(r.log.contains(QStringLiteral("[INFO] main: 当前已是最新版本")), qPrintable(r.log));
    for (const QString &b : r.boxes)
        QVERIFY2(!b.startsWith(QStringLiteral("程序错误")) && !b.startsWith(QStringLiteral("发现新版本")), qPrintable(b));
    QVERIFY(r.progress.isEmpty());
    // Exactly one request for the version record: no retries.
    int version_requests = 0;
    for (const QJsonValue &req : server.requests())
        version_requests += req.toObject().value(QStringLiteral("path")).toString() == QLatin1String("/api1/");
    QCOMPARE(version_requests, 1);
}

// --- a newer version: download, script, launch, exit 0 --------------------

void TestUpdate::updateReplacesProgram_data()
{
    QTest::addColumn<QString>("served_name");   // below files/
    QTest::addColumn<QString>("address_name");  // what the version record names
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<bool>("size_known");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("resumed");   // the log's lines about going on after a break

    const QString name = QStringLiteral("Furlane_1.1.exe");
    QTest::newRow("size known, pause midway")
        << name << name
        << QJsonArray{QJsonObject{{"match", "/files/"}, {"stall_after", 1048576}, {"stall", 0.6}}} << true
        << QStringList() << QStringList();
    QTest::newRow("size unknown: no progress texts")
        << name << name << QJsonArray{QJsonObject{{"match", "/files/"}, {"content_length", "none"}}} << false
        << QStringList() << QStringList();
    QTest::newRow("address redirects to the file")
        << name << QStringLiteral("latest.exe")
        << QJsonArray{QJsonObject{{"match", "/files/latest.exe"}, {"redirect", server.base() + "/files/" + name}},
                      QJsonObject{{"match", "/files/" + name}, {"stall_after", 1048576}, {"stall", 0.6}}}
        << true << QStringList() << QStringList();
    // Hop by hop, the second one named relative to the first; the size
    // shown is the final answer's, never a redirect's.
    QTest::newRow("address redirects twice, then relatively")
        << name << QStringLiteral("latest.exe")
        << QJsonArray{QJsonObject{{"match", "/files/latest.exe"}, {"redirect", server.base() + "/mirror/files/next.exe"}},
                      QJsonObject{{"match", "/mirror/files/next.exe"}, {"redirect", "../../files/" + name}},
                      QJsonObject{{"match", "/files/" + name}, {"stall_after", 1048576}, {"stall", 0.6}}}
        << true << QStringList() << QStringList();
    const QString resumed = QStringLiteral("[WARNING] main: 下载中断，从 %1 字节处继续 (%2/3): ") + name;
    // The rest is asked for through the redirect as well, still as a range.
    QTest::newRow("address redirects, cut, resumed")
        << name << QStringLiteral("latest.exe")
        << QJsonArray{QJsonObject{{"match", "/files/latest.exe"}, {"redirect", server.base() + "/files/" + name}},
                      QJsonObject{{"match", "/files/" + name}, {"method", "GET"}, {"range", ""}, {"cut_after", 700000}}}
        << true << QStringList()
        << QStringList{QStringLiteral("[WARNING] main: 下载中断，从 700000 字节处继续 (1/3): latest.exe")};
    QTest::newRow("cut twice, resumed")
        << name << name
        // Bound to the range asked for: a request the network layer sends
        // twice is cut alike both times.
        << QJsonArray{QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"range", ""}, {"cut_after", 700000}},
                      QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"range", "bytes=700000-"}, {"cut_after", 700000}}}
        << true << QStringList() << QStringList{resumed.arg(700000).arg(1), resumed.arg(1400000).arg(2)};
    // Appended, the longer body would make a file longer than the whole.
    QTest::newRow("chunked 206 longer than its span: from zero")
        << name << name
        << QJsonArray{QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"cut_after", 700000}, {"times", 1}},
                      QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"range", "bytes=700000-"},
                                  {"range_body", "whole"}, {"chunked", true}}}
        << true << QStringList()
        << QStringList{resumed.arg(700000).arg(1), QStringLiteral("[WARNING] main: 服务器不支持断点续传，重新下载: ") + name};
    QTest::newRow("cut, no validator: from zero, no Range asked")
        << name << name
        << QJsonArray{QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"cut_after", 700000}, {"no_ranges", true},
                                  {"times", 1}},
                      QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"no_ranges", true}}}
        << true << QStringList() << QStringList{QStringLiteral("[WARNING] main: 服务器不支持断点续传，重新下载: ") + name};
    QTest::newRow("silent too long, resumed")
        << name << name
        << QJsonArray{QJsonObject{{"match", "/files/"}, {"method", "GET"}, {"stall_after", 1048576}, {"stall", 30},
                                  {"times", 1}}}
        << true << QStringList{QStringLiteral("--stall-ms"), QStringLiteral("1000")}
        << QStringList{resumed.arg(1048576).arg(1)};
}

void TestUpdate::updateReplacesProgram()
{
    QFETCH(QString, served_name);
    QFETCH(QString, address_name);
    QFETCH(QJsonArray, faults);
    QFETCH(bool, size_known);
    QFETCH(QStringList, options);
    QFETCH(QStringList, resumed);

    // The program runs as a copy in a folder of its own, started from another
    // folder; both names hold "%", which the script must keep literal.
    QTemporaryDir root;
    const QString app_dir = root.filePath(QStringLiteral("app 100%"));
    const QString work_dir = root.filePath(QStringLiteral("work%PATH%"));
    QVERIFY(QDir().mkpath(work_dir));
    const QString exe = copy_program(app_dir);
    QVERIFY(!exe.isEmpty());
    write(app_dir + QStringLiteral("/update.bat"), QByteArray(4000, 'o'));

    // A stale file of the new name, with a second link: deleting it first
    // leaves the link's content alone, truncating it in place would not.
    const QString target = app_dir + QLatin1Char('/') + address_name;
    write(target, "stale");
    QVERIFY(make_hard_link(target, root.filePath("stale_link")));

    const QByteArray payload = served_bytes(2 * 1024 * 1024);
    server.write_file(QStringLiteral("files/") + served_name, payload);
    set_version(json(version_record("1.1", "@@BASE@@/files/" + address_name)));
    set_faults(faults);
    const QString record = root.filePath(QStringLiteral("launch.txt"));

    // Started as if found through PATH: the first argument is the bare name,
    // which says nothing about where the program lies.
    const ChildRun r = run(options + QStringList{QStringLiteral("--record"), record}, work_dir, exe, QString(),
                           QStringLiteral("Furlane.exe"));
    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_status, QProcess::NormalExit);
    QVERIFY2(r.exit_code == 0, qPrintable(r.log));

    QVERIFY2(r.boxes.contains(QStringLiteral("发现新版本\t发现新版本 1.1，正在自动更新...")), qPrintable(r.boxes.join('|')));
    for (const QString &b : r.boxes)
        QVERIFY2(!b.startsWith(QStringLiteral("程序错误")), qPrintable(b));

    // Progress: start, sizes (throttled, final always), done, installing.
    QVERIFY2(r.progress.size() >= 3, qPrintable(r.progress.join('|')));
    QCOMPARE(r.progress.first(), QStringLiteral("📥 开始下载更新文件..."));
    QCOMPARE(r.progress.last(), QStringLiteral("📥 下载完成，准备安装更新..."));
    QCOMPARE(r.progress.at(r.progress.size() - 2), QStringLiteral("📥 下载完成"));
    QStringList sizes;
    QList<qint64> sizes_ms;
    for (int i = 0; i < r.progress.size(); ++i) {
        if (r.progress.at(i).startsWith(QStringLiteral("📥 更新中"))) {
            sizes << r.progress.at(i);
            sizes_ms << r.progress_ms.at(i);
        }
    }
    if (size_known) {
        const QRegularExpression shape(QStringLiteral("^📥 更新中，下载进度: \\d+\\.\\dMB/2\\.0MB$"));
        for (const QString &s : sizes)
            QVERIFY2(shape.match(s).hasMatch(), qPrintable(s));
        QVERIFY2(sizes.size() >= 2, qPrintable(sizes.join('|')));
        QCOMPARE(sizes.last(), QStringLiteral("📥 更新中，下载进度: 2.0MB/2.0MB"));
        // Apart from the final one, shown texts lie at least a tenth of a
        // second apart (a little slack for printing).
        for (int i = 1; i + 1 < sizes.size(); ++i)
            QVERIFY2(sizes_ms.at(i) - sizes_ms.at(i - 1) >= 90, qPrintable(sizes.join('|')));
    } else {
        QVERIFY2(sizes.isEmpty(), qPrintable(sizes.join('|')));
    }
    QVERIFY(r.log.contains(QStringLiteral("[INFO] main: 下载完成")));
    QStringList got_resumed;
    for (const QString &line : r.log.split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral("下载中断")) || line.contains(QStringLiteral("断点续传")))
            got_resumed << line.mid(line.indexOf(QStringLiteral("[WARNING]")));
    }
    QVERIFY2(got_resumed == resumed, qPrintable(got_resumed.join('|')));

    // The new program, downloaded whole beside the program, not into the
    // current folder; the stale file was removed, not overwritten.
    QCOMPARE(read_file(target), payload);
    QCOMPARE(read_file(root.filePath("stale_link")), QByteArray("stale"));
    QCOMPARE(QDir(work_dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

    // The script, byte for byte, replacing the earlier one.
    const QString bat = QDir::toNativeSeparators(app_dir + QStringLiteral("/update.bat"));
    // The folder holds a "%", so it is written out rather than left to %~dp0.
    const QString app_lit = QDir::toNativeSeparators(root.path() + QStringLiteral("/app 100%%/"));
    const QStringList lines{
        QString(),
        QStringLiteral("@echo off"),
        QStringLiteral("timeout /t 1 /nobreak >nul"),
        QStringLiteral("taskkill /F /IM \"Furlane.exe\" >nul 2>&1"),
        QStringLiteral("start \"\" \"") + app_lit + address_name + QLatin1Char('"'),
        QStringLiteral("timeout /t 3 /nobreak >nul"),
        QStringLiteral("del /F /Q \"") + app_lit + QStringLiteral("Furlane.exe\" >nul 2>&1"),
        QStringLiteral("timeout /t 1 /nobreak >nul"),
        QStringLiteral("del /F /Q \"") + app_lit + QStringLiteral("update.bat\" >nul 2>&1"),
        QStringLiteral("exit"),
    };
    QCOMPARE(QString::fromUtf8(read_file(bat)), lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

    // The platform layer was asked to run exactly that script.
    QCOMPARE(read_file(record), bat.toUtf8() + '\n');
}

// --- a newer version whose update fails: status 1 --------------------------

void TestUpdate::updateFails_data()
{
    QTest::addColumn<QString>("address");       // after @@BASE@@
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("blocker");       // a folder made beside the program first
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<bool>("requested");        // whether the file was asked for

    const QJsonArray none;
    const QString failed = QStringLiteral("下载更新文件失败");
    const QString name = QStringLiteral("/files/Furlane_1.1.exe");
    QTest::newRow("file missing (404)") << QStringLiteral("/files/missing.exe") << none << QStringList() << QString()
                                        << failed << QStringLiteral("[ERROR] main: 下载失败: ") << true;
    QTest::newRow("server error (500)") << name << QJsonArray{QJsonObject{{"match", "/files/"}, {"status", 500}}}
                                        << QStringList() << QString() << failed
                                        << QStringLiteral("[ERROR] main: 下载失败: ") << true;
    QTest::newRow("connection cut midway") << name
                                           << QJsonArray{QJsonObject{{"match", "/files/"}, {"cut_after", 300000}}}
                                           << QStringList() << QString() << failed
                                           << QStringLiteral("[ERROR] main: 下载失败: ") << true;
    // The network layer sometimes takes a close right after a few bytes for
    // the end of the body: the length must still be checked.
    QTest::newRow("connection cut after a few bytes")
        << name << QJsonArray{QJsonObject{{"match", "/files/"}, {"cut_after", 10}}} << QStringList() << QString()
        << failed << QStringLiteral("[ERROR] main: 下载失败: ") << true;
    QTest::newRow("server claims more than it sends")
        << name << QJsonArray{QJsonObject{{"match", "/files/"}, {"content_length", 3000000}}} << QStringList()
        << QString() << failed << QStringLiteral("[ERROR] main: 下载失败: ") << true;
    QTest::newRow("no answer within the limit")
        << name << QJsonArray{QJsonObject{{"match", "/files/"}, {"stall_after", 1000}, {"stall", 30}}}
        << QStringList{QStringLiteral("--limit-ms"), QStringLiteral("1500")} << QString() << failed
        << QStringLiteral("[ERROR] main: 下载超时") << true;
    QTest::newRow("disk full midway") << name << none
                                      << QStringList{QStringLiteral("--fsize"), QStringLiteral("500000")} << QString()
                                      << failed << QStringLiteral("[ERROR] main: 写入更新文件失败: ") << true;
    QTest::newRow("address redirects to itself") << QStringLiteral("/files/loop.exe")
                                                 << QJsonArray{QJsonObject{{"match", "/files/loop.exe"},
                                                                           {"redirect", "loop.exe"}}}
                                                 << QStringList() << QString() << failed
                                                 << QStringLiteral("[ERROR] main: 下载失败: ") << true;
    QTest::newRow("redirect without an address")
        << name << QJsonArray{QJsonObject{{"match", "/files/"}, {"status", 302}}} << QStringList() << QString()
        << failed << QStringLiteral("[ERROR] main: 下载失败: 重定向没有目标地址: 302") << true;
    QTest::newRow("target cannot be created") << name << none << QStringList()
                                              << QStringLiteral("Furlane_1.1.exe/keep") << failed
                                              << QStringLiteral("[ERROR] main: 下载新版本失败: ") << false;
    // Saved beside the program, that name would replace the running program.
    QTest::newRow("name of the program itself")
        << QStringLiteral("/files/furlane.EXE") << none << QStringList() << QString() << failed
        << QStringLiteral("[ERROR] main: 下载新版本失败: ") << false;
    // ... and this one would be overwritten by the script itself.
    QTest::newRow("name of the update script")
        << QStringLiteral("/files/Update.BAT") << none << QStringList() << QString() << failed
        << QStringLiteral("[ERROR] main: 下载新版本失败: 新版本与更新脚本同名") << false;
    QTest::newRow("address ends in slash") << QStringLiteral("/files/") << none << QStringList() << QString()
                                           << failed << QStringLiteral("[ERROR] main: 下载新版本失败: ") << false;
    QTest::newRow("name climbs out with backslashes")
        << QStringLiteral("/files/..\\..\\Furlane_1.1.exe") << none << QStringList() << QString() << failed
        << QStringLiteral("[ERROR] main: 下载新版本失败: ") << false;
    QTest::newRow("name is ..") << QStringLiteral("/files/..") << none << QStringList() << QString() << failed
                                << QStringLiteral("[ERROR] main: 下载新版本失败: ") << false;
    QTest::newRow("name is a device") << QStringLiteral("/files/NUL") << none << QStringList() << QString() << failed
                                      << QStringLiteral("[ERROR] main: 下载新版本失败: ") << false;
    QTest::newRow("download address empty") << QString() << none << QStringList() << QString()
                                            << QStringLiteral("服务器响应错误") << QString() << false;
}

void TestUpdate::updateFails()
{
    QFETCH(QString, address);
    QFETCH(QJsonArray, faults);
    QFETCH(QStringList, options);
    QFETCH(QString, blocker);
    QFETCH(QString, box);
    QFETCH(QString, logged);
    QFETCH(bool, requested);
#ifdef Q_OS_WIN
    if (options.contains(QStringLiteral("--fsize")))
        QSKIP("Windows has no per-process file size limit to stand in for a full disk");
#endif

    QTemporaryDir root;
    const QString app_dir = root.filePath(QStringLiteral("app"));
    const QString work = root.filePath(QStringLiteral("a/b"));
    QVERIFY(QDir().mkpath(work));
    const QString exe = copy_program(app_dir);
    QVERIFY(!exe.isEmpty());
    const QByteArray program = read_file(exe);
    if (!blocker.isEmpty())
        QVERIFY(QDir().mkpath(app_dir + QLatin1Char('/') + blocker));
    server.write_file(QStringLiteral("files/Furlane_1.1.exe"), served_bytes(2 * 1024 * 1024));
    server.write_file(QStringLiteral("files/furlane.EXE"), served_bytes(1000));
    set_version(json(version_record("1.1", address.isEmpty() ? QString() : QStringLiteral("@@BASE@@") + address)));
    set_faults(faults);
    const QString record = root.filePath(QStringLiteral("launch.txt"));

    const ChildRun r = run(options + QStringList{QStringLiteral("--record"), record}, work, exe);
    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_status, QProcess::NormalExit);
    QVERIFY2(r.exit_code == 1, qPrintable(r.log));
    QVERIFY2(!r.boxes.isEmpty(), qPrintable(r.log));
    QCOMPARE(r.boxes.last(), QStringLiteral("程序错误\t") + box);
    if (!logged.isEmpty())
        QVERIFY2(r.log.contains(logged), qPrintable(r.log));
    QVERIFY(!r.progress.contains(QStringLiteral("📥 下载完成，准备安装更新...")));
    QVERIFY(!QFile::exists(record));
    QVERIFY(!QFile::exists(app_dir + QStringLiteral("/update.bat")));
    QCOMPARE(read_file(exe), program);

    bool asked = false;
    for (const QJsonValue &req : server.requests())
        asked = asked || req.toObject().value(QStringLiteral("path")).toString().startsWith(QLatin1String("/files/"));
    QCOMPARE(asked, requested);
    // Nothing written in the current folder; before the request nothing
    // beside the program either.
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    if (!requested && blocker.isEmpty())
        QCOMPARE(QDir(app_dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("Furlane.exe")});
}

// The download is whole; what comes after it fails: status 1, no script left
// behind, the new program kept for the next attempt.
// Where nothing can run the update script (no elevated launch, no test
// record of one), nothing is fetched: a box names the new version, and the
// program ends once it closes, leaving nothing beside itself.
void TestUpdate::newerVersionWhereNothingRunsTheScript()
{
#ifdef Q_OS_WIN
    QSKIP("Windows runs the update script");
#endif
    QTemporaryDir root;
    const QString app_dir = root.filePath(QStringLiteral("app"));
    const QString exe = copy_program(app_dir);
    QVERIFY(!exe.isEmpty());
    server.write_file(QStringLiteral("files/Furlane_1.1.exe"), served_bytes(1000));
    set_version(json(version_record("1.1", "@@BASE@@/files/Furlane_1.1.exe")));

    const ChildRun r = run({}, root.path(), exe);
    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_status, QProcess::NormalExit);
    QVERIFY2(r.exit_code == 0, qPrintable(r.log));
    QVERIFY2(!r.boxes.isEmpty(), qPrintable(r.log));
    QCOMPARE(r.boxes.last(), QStringLiteral("发现新版本\t发现新版本 1.1。此版本无法自动更新，请手动下载并安装新版本。"));
    QVERIFY(r.progress.isEmpty());
    QCOMPARE(QDir(app_dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("Furlane.exe")});
    for (const QJsonValue &req : server.requests())
        QVERIFY(!req.toObject().value(QStringLiteral("path")).toString().startsWith(QLatin1String("/files/")));
}

void TestUpdate::installStepFails_data()
{
    QTest::addColumn<bool>("script_blocked");  // a folder named update.bat beside the program
    QTest::addColumn<bool>("record_fails");    // the launch cannot happen
    QTest::addColumn<QString>("box");          // exact text, or prefix when ending in ": "
    QTest::addColumn<QString>("logged");

    QTest::newRow("script cannot be written") << true << false << QStringLiteral("自动更新安装失败")
                                              << QStringLiteral("[ERROR] main: 更新exe失败: ");
    QTest::newRow("launch does not happen") << false << true << QStringLiteral("更新启动失败: ")
                                            << QStringLiteral("[ERROR] main: 更新启动失败: ");
}

void TestUpdate::installStepFails()
{
    QFETCH(bool, script_blocked);
    QFETCH(bool, record_fails);
    QFETCH(QString, box);
    QFETCH(QString, logged);

    QTemporaryDir root;
    const QString app_dir = root.filePath(QStringLiteral("app"));
    const QString exe = copy_program(app_dir);
    QVERIFY(!exe.isEmpty());
    if (script_blocked)
        QVERIFY(QDir().mkpath(app_dir + QStringLiteral("/update.bat/keep")));
    server.write_file(QStringLiteral("files/new.exe"), served_bytes(100000));
    set_version(json(version_record("2", "@@BASE@@/files/new.exe")));
    // Recording is the stand-in's launch: into a folder that does not exist,
    // it cannot happen.
    const QString record = root.filePath(record_fails ? QStringLiteral("missing/launch.txt") : QStringLiteral("launch.txt"));

    const ChildRun r = run({QStringLiteral("--record"), record}, root.path(), exe);
    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_status, QProcess::NormalExit);
    QVERIFY2(r.exit_code == 1, qPrintable(r.log));
    QVERIFY2(!r.boxes.isEmpty(), qPrintable(r.log));
    const QString last = r.boxes.last();
    if (box.endsWith(QStringLiteral(": ")))
        QVERIFY2(last.startsWith(QStringLiteral("程序错误\t") + box) && last.contains(record), qPrintable(last));
    else
        QCOMPARE(last, QStringLiteral("程序错误\t") + box);
    QVERIFY2(r.log.contains(logged), qPrintable(r.log));
    QVERIFY(!r.log.contains(QStringLiteral("更新完成")));
    QVERIFY(!QFile::exists(record));
    QCOMPARE(read_file(app_dir + QStringLiteral("/new.exe")), served_bytes(100000));
    if (script_blocked)
        QVERIFY(QFileInfo(app_dir + QStringLiteral("/update.bat/keep")).isDir());
    else
        QVERIFY(!QFile::exists(app_dir + QStringLiteral("/update.bat")));
}

// The check waits for nothing: while the version server keeps silent the
// event loop goes on (timers, a key press for the window); the time-out
// ends the check all the same.
void TestUpdate::checkLeavesInputFree()
{
    set_faults({QJsonObject{{"match", "/api1/"}, {"delay", 20}}});
    config::use_server_for_tests(server.base());
    QLineEdit edit;
    Updater updater(m_services.http);
    QSignalSpy fatal(&updater, &Updater::fatal);
    QElapsedTimer clock;
    clock.start();
    updater.check();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    bool timer_ran = false;
    QTimer::singleShot(0, &edit, [&] { timer_ran = true; });
    QCoreApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
    QTRY_VERIFY_WITH_TIMEOUT(timer_ran && edit.text() == QStringLiteral("a"), 2000);
    QCOMPARE(fatal.count(), 0);

    QVERIFY(fatal.wait(8000));
    QVERIFY2(clock.elapsed() >= 4500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(fatal.first().first().toString().startsWith(QStringLiteral("获取版本信息异常: 请求超时 (5 秒): ")),
             qPrintable(fatal.first().first().toString()));
    QVERIFY(!updater.is_updating());
}

void TestUpdate::windowClosedDuringUpdate()
{
    server.write_file(QStringLiteral("files/new.exe"), served_bytes(1000000));
    set_version(json(version_record("1.1", "@@BASE@@/files/new.exe")));
    set_faults({QJsonObject{{"match", "/files/"}, {"stall_after", 1000}, {"stall", 30}}});
    QTemporaryDir work;
    const QString record = work.filePath(QStringLiteral("launch.txt"));
    const QString exe = copy_program(work.filePath(QStringLiteral("app")));
    QVERIFY(!exe.isEmpty());

    const ChildRun r =
        run({QStringLiteral("--close-on-download"), QStringLiteral("--record"), record}, work.path(), exe);
    QVERIFY2(r.finished, qPrintable(r.log));
    QCOMPARE(r.exit_status, QProcess::NormalExit);
    QCOMPARE(r.exit_code, 0);
    QVERIFY2(r.log.contains(QStringLiteral("[WARNING] main: 窗口已关闭，自动更新未完成")), qPrintable(r.log));
    QVERIFY(!QFile::exists(record));
}

void TestUpdate::workerFailsOnItsThread()
{
    // A record without a download address fails on the update thread and
    // reaches the failure signal from there, with nothing launched.
    QThread thread;
    auto *worker = new UpdateWorker(m_services.http, QJsonObject(), 30000, std::make_shared<std::atomic<bool>>(false));
    worker->moveToThread(&thread);
    connect(&thread, &QThread::started, worker, &UpdateWorker::run);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    QSignalSpy errors(worker, &UpdateWorker::failed);
    QSignalSpy launched(worker, &UpdateWorker::launched);
    thread.start();
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.first().first().toString(), QStringLiteral("服务器响应错误"));
    QCOMPARE(launched.count(), 0);
    thread.quit();
    QVERIFY(thread.wait(5000));
}

// Writes the replacement script with the program's own writer for paths
// given as the command interpreter will see them, so that scripts/
// ci_update_wine.sh can run it for real:
//   --write-update-script FILE FOLDER EXE_NAME NEW_EXE_NAME
int write_script(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() != 6)
        return 2;
    const QString error = selfupdate::write_update_script(a.at(2), a.at(3), a.at(4), a.at(5));
    if (!error.isEmpty()) {
        std::fputs((error + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--write-update-script") == 0)
        return write_script(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], CHILD_FLAG) == 0 && i + 1 < argc)
            return run_child(argc, argv);
    }
    QApplication app(argc, argv);
    TestUpdate test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_update.moc"
