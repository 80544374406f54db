#include "app/program_services.h"
#include "app/main_window.h"
#include "app/message_dialogs.h"
#include "core/download/download_manager.h"
#include "core/support/config.h"
#include "support/download_fixtures.h"
#include "core/support/log.h"
#include "support/modal_answerer.h"
#include "support/scratch_settings.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

namespace {

const char *const YES_CHILD = "--child-close-yes";
const QString MOD = QStringLiteral("DreadHunger/Content/Paks/orvexs");

DownloadTask task(const QString &name, const QString &game_dir)
{
    return download_fixtures::make_task(name, game_dir, QStringLiteral("主"), QStringLiteral("子"));
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QStringList tmp_files(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, {QStringLiteral("*.tmp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

// The window takes its game folder from the settings when it is built.
void store_game_dir(const QString &game_dir)
{
    QSettings store(QStringLiteral("orvex"), QStringLiteral("DreadHunger"));
    store.setValue(QStringLiteral("game_dir"), game_dir);
    store.sync();
}

void prepare_server(TestServer &server)
{
    server.write_file(QStringLiteral("catalog.json"), "[]");
    server.write_file(QStringLiteral("skins/主/子/甲.pak"), QByteArray(200000, 'p'));
    server.write_file(QStringLiteral("skins/主/子/甲.sig"), QByteArray(24, 's'));
    server.write_file(QStringLiteral("skins/主/子/乙.pak"), QByteArray(1000, 'p'));
    server.write_file(QStringLiteral("skins/主/子/乙.sig"), QByteArray(24, 's'));
}

// Child: a download is under way (its package half written) when the user
// closes the window and answers Yes, or when a fatal error ends the program
// (argument "fatal"). The process must end cleanly either way.
int run_yes_child(int argc, char **argv)
{
    const bool fatal = argc > 4 && qstrcmp(argv[4], "fatal") == 0;
    applog::install();
    QApplication app(argc, argv);
    const QString server = QString::fromLocal8Bit(argv[2]);
    const QString game_dir = QString::fromLocal8Bit(argv[3]);
    config::use_server_for_tests(server);
    store_game_dir(game_dir);
    ProgramServices services;
    MainWindow window(services);
    window.show();
    // Downloads go to the endpoints the start-up resolves.
    QSignalSpy loaded(&window, &MainWindow::catalog_loaded);
    if (!loaded.wait(20000))
        return 3;
    services.downloads.add_task(task(QStringLiteral("甲"), game_dir));
    services.downloads.add_task(task(QStringLiteral("乙"), game_dir));
    ModalAnswerer answerer;
    answerer.set_standard_button(QMessageBox::Yes);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!tmp_files(game_dir).isEmpty()) {
            poll.stop();
            std::printf("TMP SEEN\n");
            std::fflush(stdout);
            if (fatal)
                force_close_program(&window, services.downloads, QStringLiteral("检查更新失败，请重启软件重试"));
            window.close();
        }
    });
    poll.start(20);
    const int code = app.exec();
    std::printf("ASKED %s\n", answerer.texts.join(QLatin1Char('|')).toUtf8().constData());
    return code;
}

} // namespace

class TestCloseHandling : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void idleClosesAfterCleanUp();
    void declinedCloseKeepsDownloads_data();
    void declinedCloseKeepsDownloads();
    void yesWithRunningDownloadEndsCleanly_data();
    void yesWithRunningDownloadEndsCleanly();
    void queueButtonOpensDialog();

private:
    TestServer server;
    std::unique_ptr<QTemporaryDir> game;
    std::unique_ptr<MainWindow> window;
};

void TestCloseHandling::initTestCase()
{
    // Never the user's own store.
    REQUIRE_SCRATCH_SETTINGS(QSettings(QStringLiteral("orvex"), QStringLiteral("DreadHunger")));
    QVERIFY(server.start());
    prepare_server(server);
    config::use_server_for_tests(server.base());
}

void TestCloseHandling::init()
{
    server.reset();
    game.reset(new QTemporaryDir);
    QDir().mkpath(game->filePath(MOD));
    store_game_dir(game->path());
    window.reset(new MainWindow(m_services));
    window->show();
}

void TestCloseHandling::cleanup()
{
    (&m_services.downloads)->shutdown();
    window.reset();
}

void TestCloseHandling::idleClosesAfterCleanUp()
{
    write(game->filePath(MOD + QStringLiteral("/a.pak.tmp")), "half");
    write(game->filePath(MOD + QStringLiteral("/keep.pak")), "whole");
    ModalAnswerer answerer;
    QVERIFY(window->close());
    QCOMPARE(answerer.count(), 0);     // nothing asked
    QVERIFY(!window->isVisible());
    QVERIFY(!QFile::exists(game->filePath(MOD + QStringLiteral("/a.pak.tmp"))));
    QVERIFY(QFile::exists(game->filePath(MOD + QStringLiteral("/keep.pak"))));
}

void TestCloseHandling::declinedCloseKeepsDownloads_data()
{
    QTest::addColumn<bool>("queued");
    QTest::addColumn<int>("button");
    QTest::newRow("running, No") << false << int(QMessageBox::No);
    QTest::newRow("running and queued, No") << true << int(QMessageBox::No);
    QTest::newRow("question box closed without choosing") << false << int(QMessageBox::Escape);
    // Enter on the question must not close the window: No is the default.
    QTest::newRow("default button is No") << false << int(QMessageBox::NoButton);
}

void TestCloseHandling::declinedCloseKeepsDownloads()
{
    QFETCH(bool, queued);
    QFETCH(int, button);
    // The first download stalls at sizing, so it is still running when asked.
    server.set_faults({QJsonObject{{"match", QStringLiteral("甲")}, {"delay", 60}}});
    DownloadManager *manager = (&m_services.downloads);
    manager->add_task(task(QStringLiteral("甲"), game->path()));
    if (queued)
        manager->add_task(task(QStringLiteral("乙"), game->path()));
    write(game->filePath(MOD + QStringLiteral("/b.sig.tmp")), "x");
    QSignalSpy cancelled(manager, &DownloadManager::task_cancelled);

    ModalAnswerer answerer;
    if (button == int(QMessageBox::Escape))
        answerer.set_close_without_choosing(true);
    else if (button != int(QMessageBox::NoButton))
        answerer.set_standard_button(QMessageBox::StandardButton(button));
    QVERIFY(!window->close());
    QCOMPARE(answerer.titles, QStringList{QStringLiteral("确认关闭")});
    QCOMPARE(answerer.texts, QStringList{QStringLiteral("有正在下载的任务，确定要关闭软件吗？")});
    QVERIFY(window->isVisible());
    QVERIFY(manager->has_active_tasks());
    QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("甲"));
    QCOMPARE(manager->get_queue().size(), queued ? 1 : 0);
    QCOMPARE(cancelled.size(), 0);
    // No clean-up on a declined close.
    QVERIFY(QFile::exists(game->filePath(MOD + QStringLiteral("/b.sig.tmp"))));

    // A later close asks again.
    QVERIFY(!window->close());
    QCOMPARE(answerer.count(), 2);
}

void TestCloseHandling::yesWithRunningDownloadEndsCleanly_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("status");
    QTest::newRow("window closed with Yes") << QStringLiteral("close") << 0;
    // Ends without close handling, but never in the middle of an install.
    QTest::newRow("fatal error box") << QStringLiteral("fatal") << 1;
}

void TestCloseHandling::yesWithRunningDownloadEndsCleanly()
{
    QFETCH(QString, mode);
    QFETCH(int, status);
    server.set_faults({QJsonObject{{"match", QStringLiteral("甲.pak")}, {"method", "GET"}, {"stall_after", 50000}}});
    QTemporaryDir child_game;
    QDir().mkpath(child_game.filePath(MOD));
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(YES_CHILD), server.base(), child_game.path(), mode});
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QString err = QString::fromUtf8(child.readAllStandardError());
    QVERIFY2(out.contains(QStringLiteral("TMP SEEN")), qPrintable(out + err));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), status);
    QVERIFY2(!err.contains(QStringLiteral("QThread: Destroyed while thread is still running")), qPrintable(err));
    const int stopped = err.indexOf(QStringLiteral("退出时停止下载: 甲"));
    QVERIFY2(stopped >= 0, qPrintable(err));
    if (status == 0) {
        QVERIFY2(out.contains(QStringLiteral("ASKED 有正在下载的任务，确定要关闭软件吗？")), qPrintable(out));
        // The download stops and clears its own file before the sweep runs,
        // so the sweep never meets a file the worker holds open (which
        // Windows would refuse to delete).
        QVERIFY2(stopped < err.indexOf(QStringLiteral("执行定期临时文件清理")), qPrintable(err));
    }
    QVERIFY2(!err.contains(QStringLiteral("最终删除失败")) && !err.contains(QStringLiteral("已清理无效文件")), qPrintable(err));
    QCOMPARE(tmp_files(child_game.path()), QStringList());
    QVERIFY(!QFile::exists(child_game.filePath(MOD + QStringLiteral("/甲.pak"))));
}

void TestCloseHandling::queueButtonOpensDialog()
{
    ModalAnswerer answerer;
    QPushButton *queue_button = nullptr;
    for (QPushButton *b : window->findChildren<QPushButton *>())
        if (b->text() == QStringLiteral("下载队列"))
            queue_button = b;
    QVERIFY(queue_button);
    queue_button->click();
    QCOMPARE(answerer.titles, QStringList{QStringLiteral("下载队列")});
}

int main(int argc, char **argv)
{
    // Settings of this test live below HOME/.qttest, parent and children alike.
    QStandardPaths::setTestModeEnabled(true);
    if (argc > 3 && qstrcmp(argv[1], YES_CHILD) == 0)
        return run_yes_child(argc, argv);
    QApplication app(argc, argv);
    TestCloseHandling test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_close_handling.moc"
