#include "core/gamedir/game_folder.h"
#include "core/platform/process_list.h"

#include "support/fake_game.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

// A Windows build of a program, run by Wine under the game's name, seen from
// the Linux build: the process listing must give the program's Unix path and
// the game root must map back to the Unix folder. Skipped where Wine or MinGW
// is missing (FURLANE_REQUIRE_WINE=1 turns that into a failure).
class TestGameDirWine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void detected_under_wine_data();
    void detected_under_wine();

private:
    void skip_or_fail(const QString &why);
    QProcessEnvironment wine_environment() const;
    bool run(const QStringList &command, int timeout_ms, QString *output = nullptr);
    void kill_wine();

    QTemporaryDir dir;
    QString wine;
    QString prefix;
    QString idle_exe;
};

void TestGameDirWine::skip_or_fail(const QString &why)
{
    if (qEnvironmentVariableIntValue("FURLANE_REQUIRE_WINE") == 1)
        QFAIL(qPrintable(why));
    QSKIP(qPrintable(why));
}

QProcessEnvironment TestGameDirWine::wine_environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No Mono/Gecko set-up prompts, no windows.
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    env.remove(QStringLiteral("DISPLAY"));
    return env;
}

bool TestGameDirWine::run(const QStringList &command, int timeout_ms, QString *output)
{
    QProcess process;
    process.setProcessEnvironment(wine_environment());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(timeout_ms)) {
        process.kill();
        process.waitForFinished(5000);
        if (output)
            *output = QStringLiteral("timed out: ") + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void TestGameDirWine::kill_wine()
{
    if (prefix.isEmpty() || !QFileInfo::exists(prefix))
        return;
    const QString server = QStandardPaths::findExecutable(QStringLiteral("wineserver"));
    if (!server.isEmpty())
        run({server, QStringLiteral("-k")}, 20000);
    else
        run({wine, QStringLiteral("wineserver"), QStringLiteral("-k")}, 20000);
}

void TestGameDirWine::initTestCase()
{
#ifdef Q_OS_WIN
    QSKIP("checks the Linux listing of programs that Wine runs: nothing of it exists on Windows");
#endif
    QVERIFY(dir.isValid());
    for (const char *name : {"wine", "wine64"}) {
        wine = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!wine.isEmpty())
            break;
    }
    if (wine.isEmpty())
        skip_or_fail(QStringLiteral("wine is not installed (Debian: wine64)"));
    const QString mingw = QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-g++"));
    if (mingw.isEmpty())
        skip_or_fail(QStringLiteral("x86_64-w64-mingw32-g++ is not installed (Debian: g++-mingw-w64-x86-64)"));

    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    prefix = root + QStringLiteral("/prefix");
    idle_exe = root + QStringLiteral("/idle_program.exe");
    QString output;
    if (!run({mingw, QStringLiteral("-O2"), QStringLiteral("-static"),
              QStringLiteral(FURLANE_SOURCE_DIR "/tests/support/windows/idle_program.cpp"), QStringLiteral("-o"), idle_exe},
             120000, &output))
        QFAIL(qPrintable(QStringLiteral("MinGW build of the stand-in game failed: ") + output));
    if (!run({wine, QStringLiteral("wineboot"), QStringLiteral("-i")}, 240000, &output))
        skip_or_fail(QStringLiteral("'wine wineboot -i' failed: ") + output.right(2000));
}

void TestGameDirWine::cleanupTestCase()
{
    kill_wine();
}

void TestGameDirWine::detected_under_wine_data()
{
    QTest::addColumn<QString>("where");  // "unix": a folder outside the prefix; "c": the prefix's drive C
    QTest::addColumn<QString>("launch"); // how Wine is asked to run it; {root} = the game root as launched
    QTest::addColumn<QString>("cwd");    // working folder relative to the root, empty = the test's

    QTest::newRow("Unix path") << "unix" << QStringLiteral("{root}/DreadHunger/Binaries/Win64/DreadHunger-Win64-Shipping.exe") << QString();
    QTest::newRow("Z: path") << "unix"
                             << QStringLiteral("Z:{root}\\DreadHunger\\Binaries\\Win64\\DreadHunger-Win64-Shipping.exe") << QString();
    QTest::newRow("C: path through the prefix")
        << "c" << QStringLiteral("C:\\Games\\Dread Hunger\\DreadHunger\\Binaries\\Win64\\DreadHunger-Win64-Shipping.exe") << QString();
    QTest::newRow("path relative to the working folder")
        << "unix" << QStringLiteral("Win64/DreadHunger-Win64-Shipping.exe") << QStringLiteral("DreadHunger/Binaries");
}

void TestGameDirWine::detected_under_wine()
{
    QFETCH(QString, where);
    QFETCH(QString, launch);
    QFETCH(QString, cwd);

    const QString root = where == QLatin1String("c")
        ? prefix + QStringLiteral("/drive_c/Games/Dread Hunger")
        : QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/unix/Dread Hunger");
    FakeGame game(root);
    QString windows_root = root;
    windows_root.replace(QLatin1Char('/'), QLatin1Char('\\'));
    launch.replace(QStringLiteral("Z:{root}"), QStringLiteral("Z:") + windows_root);
    launch.replace(QStringLiteral("{root}"), root);

    game.process().setProcessEnvironment(wine_environment());
    if (!cwd.isEmpty())
        game.process().setWorkingDirectory(root + QLatin1Char('/') + cwd);
    QVERIFY(game.start(idle_exe, {}, wine, launch));

    // Wine takes a moment to turn into the game's process.
    QString exe;
    QElapsedTimer clock;
    clock.start();
    while (exe.isEmpty() && clock.elapsed() < 60000 && game.process().state() == QProcess::Running) {
        const ProcessListing listing = list_processes();
        QVERIFY(listing.ok);
        for (const ProcessInfo &process : listing.processes) {
            if (process.name == FakeGame::exe_name())
                exe = process.exe_path;
        }
        if (exe.isEmpty())
            QThread::msleep(200);
    }
    const QString output = QString::fromLocal8Bit(game.process().readAll());
    game.stop();
    kill_wine();

    QVERIFY2(!exe.isEmpty(), qPrintable(QStringLiteral("Wine ran '%1' but no process was listed as the game. %2").arg(launch, output)));
    QCOMPARE(exe, game.exe_path());
    QCOMPARE(gamedir::game_root_from_exe(exe), root);
}

QTEST_GUILESS_MAIN(TestGameDirWine)
#include "tst_gamedir_wine.moc"
