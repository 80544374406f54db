#include "app/program_services.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "app/main_window.h"
#include "ui/browse/skin_grid.h"
#include "core/catalog/catalog_service.h"
#include "core/gamedir/game_dir_service.h"
#include "ui/widgets/elided_label.h"
#include "ui/widgets/flow_layout.h"
#include "core/platform/end_now.h"
#include "core/platform/process_list.h"

#include "support/fake_game.h"
#include "support/fake_steam.h"
#include "support/log_capture.h"
#include "support/modal_answerer.h"
#include "support/scratch_settings.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QToolTip>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

const char *const READ_CHILD = "--child-read-settings";
const char *const DYING_CHILD = "--child-detect-then-die";

const QString NOT_DETECTED = QStringLiteral("✗ 未检测到Dread Hunger进程 (请先启动Dread Hunger)");
const QString FIRST_RUN = QStringLiteral("请先启动Dread Hunger游戏后点击检测目录");
const QString PREVIOUS_ROOT = QStringLiteral("/previous/game");

// The grid refresh, seen from the log: with a category chosen and no card on
// the page it says that nothing needs refreshing.
int refreshes(const LogCapture &log)
{
    return log.texts().filter(QStringLiteral("当前页面没有皮肤组件需要刷新")).size();
}

ProcessListing listing_with(const QString &exe_path)
{
    ProcessListing listing;
    listing.ok = true;
    listing.processes = {{QStringLiteral("systemd"), QStringLiteral("/usr/lib/systemd/systemd")},
                         {QStringLiteral("DreadHunger-Win64-Shipping.exe"), exe_path}};
    return listing;
}

QString exe_below(const QString &root)
{
    return root + QStringLiteral("/DreadHunger/Binaries/Win64/DreadHunger-Win64-Shipping.exe");
}

// Child: a fresh MainWindow reading the stored folder; prints what it shows.
int run_read_child(const QString &server)
{
    config::use_server_for_tests(server);
    ModalAnswerer answerer;
    ProgramServices services;
    MainWindow window(services);
    const QJsonObject seen{{QStringLiteral("game_dir"), window.findChild<GameDirService *>()->game_dir()},
                           {QStringLiteral("label"), window.findChild<QLabel *>(QStringLiteral("dir_label"))->text()}};
    std::printf("%s\n", QJsonDocument(seen).toJson(QJsonDocument::Compact).constData());
    return 0;
}

// Child: a successful detection, then the process ends at once, before the
// event loop runs again and without destructors, as a crash or kill would.
[[noreturn]] void run_dying_child(const QString &server, const QString &root)
{
    config::use_server_for_tests(server);
    ModalAnswerer answerer;
    ProgramServices services;
    MainWindow window(services);
    window.findChild<GameDirService *>()->detect(listing_with(exe_below(root)));
    platform::end_now(3);
}

// Records what the desktop services were asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

class TestGameDirWindow : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void first_start_without_setting();
    void detect_from_table_data();
    void detect_from_table();
    void detect_twice_writes_setting_again();
    void detect_real_process();
    void open_skin_dir_data();
    void open_skin_dir();
    void setting_survives_restart();
    void setting_survives_abrupt_end();
    void steam_library_data();
    void steam_library();

private:
    QJsonObject read_in_child();
    QString stored() { return settings.value(QStringLiteral("game_dir")).toString(); }
    // The window's parts.
    GameDirService *service() const { return window->findChild<GameDirService *>(); }
    QLabel *dir_label() const { return window->findChild<QLabel *>(QStringLiteral("dir_label")); }
    void click(const QString &text) const;

    // The window's store (one file, shared within the process).
    QSettings settings{QStringLiteral("orvex"), QStringLiteral("DreadHunger")};

    TestServer server;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<MainWindow> window;
    QTemporaryDir dir;
};

void TestGameDirWindow::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(server.start(true));
    config::use_server_for_tests(server.base());
    {
        QSettings store(QStringLiteral("orvex"), QStringLiteral("DreadHunger"));
        // Never the user's own store.
        REQUIRE_SCRATCH_SETTINGS(store);
        store.clear();
    }
    answerer.reset(new ModalAnswerer);
    window.reset(new MainWindow(m_services));
    // Its search of Steam's libraries at start is over before any test.
    QSignalSpy searched(service(), &GameDirService::steam_searched);
    QVERIFY(searched.wait());
}

void TestGameDirWindow::cleanupTestCase()
{
    window.reset();
    answerer.reset();
}

void TestGameDirWindow::init()
{
    settings.setValue(QStringLiteral("game_dir"), PREVIOUS_ROOT);
    service()->load();   // the window's folder, as read at its start
    dir_label()->setText(QString());
    // A category chosen and no card: a grid refresh shows in the log.
    auto *grid = window->findChild<SkinGrid *>();
    grid->select(QStringLiteral("测试分类"), std::nullopt);
    clear_layout(grid->findChild<QWidget *>(QStringLiteral("card_area"))->layout());
}

void TestGameDirWindow::click(const QString &text) const
{
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (button->text() == text)
            return button->click();
    QFAIL(qPrintable(text));
}

void TestGameDirWindow::first_start_without_setting()
{
    // initTestCase built the window on an empty store.
    QSettings store(QStringLiteral("orvex"), QStringLiteral("DreadHunger"));
    store.remove(QStringLiteral("game_dir"));
    store.sync();
    const QJsonObject seen = read_in_child();
    QCOMPARE(seen.value(QStringLiteral("game_dir")).toString(), QString());
    QCOMPARE(seen.value(QStringLiteral("label")).toString(), FIRST_RUN);
}

void TestGameDirWindow::detect_from_table_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("label"); // {root} = the candidate root, shown natively
    QTest::addColumn<bool>("taken");

    QTest::newRow("valid installation: shown, kept and stored")
        << "valid" << QStringLiteral("✓ 检测成功: {root}") << true;
    QTest::newRow("base package missing: nothing kept or stored")
        << "no-base" << QStringLiteral("✗ 检测到游戏但皮肤目录验证失败: {root}") << false;
    QTest::newRow("mod folder cannot be made: nothing kept or stored")
        << "unwritable" << QStringLiteral("✗ 检测到游戏但皮肤目录验证失败: {root}") << false;
    QTest::newRow("a deep folder: cut in its middle, whole as the tooltip, the row within the window")
        << "deep" << QStringLiteral("✓ 检测成功: {root}") << true;
    QTest::newRow("the folder in use under another spelling: its own spelling kept")
        << "respelt" << QStringLiteral("✓ 检测成功: {root}") << true;
    QTest::newRow("no game process") << "none" << NOT_DETECTED << false;
    QTest::newRow("game process outside the game's layout") << "shallow" << NOT_DETECTED << false;
    QTest::newRow("process list unavailable")
        << "listing-failed" << QStringLiteral("✗ 进程检测失败: cannot read /proc") << false;
}

void TestGameDirWindow::detect_from_table()
{
    QFETCH(QString, layout);
    QFETCH(QString, label);
    QFETCH(bool, taken);

    QString root = dir.path() + QStringLiteral("/table/") + QString::fromLatin1(QTest::currentDataTag()).left(20);
    if (layout == QLatin1String("deep"))
        root += QLatin1Char('/') + QStringLiteral("Steam Library ").repeated(6) + QStringLiteral("/steamapps/common/Dread Hunger");
    FakeGame game(root, layout != QLatin1String("no-base"));
    if (layout == QLatin1String("unwritable")) {
        QFile blocker(game.mod_folder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    ProcessListing listing = listing_with(exe_below(root));
    if (layout == QLatin1String("none"))
        listing.processes.removeLast();
    if (layout == QLatin1String("shallow"))
        listing.processes.last().exe_path = QStringLiteral("/DreadHunger-Win64-Shipping.exe");
    if (layout == QLatin1String("listing-failed")) {
        listing = ProcessListing();
        listing.error = QStringLiteral("cannot read /proc");
    }

    QString previous = PREVIOUS_ROOT;
    QString kept = root;
    if (layout == QLatin1String("respelt")) {
        // The folder in use, stored as another program would write it; the
        // install records name it so.
        previous = QDir::toNativeSeparators(root) + QDir::separator();
#ifdef Q_OS_WIN
        previous = previous.toUpper();
#endif
        settings.setValue(QStringLiteral("game_dir"), previous);
        service()->load();
        previous = kept = QDir::fromNativeSeparators(previous);
    }

    LogCapture log;
    const GameDirService::Detection found = service()->detect(listing);

    // What the window would show, and whether it takes the folder (and
    // refreshes the grid); detect_real_process sees the window do both.
    QCOMPARE(found.adopted, taken);
    QCOMPARE(found.status, QString(label).replace(QStringLiteral("{root}"), QDir::toNativeSeparators(kept)));
    QCOMPARE(service()->game_dir(), taken ? kept : previous);
    QCOMPARE(stored(), taken ? kept : previous);
    if (layout == QLatin1String("deep")) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // As the window shows a detection's answer.
        auto *label = qobject_cast<ElidedLabel *>(dir_label());
        QVERIFY(label);
        label->setText(found.status);
        // The label gives way; the row's buttons stay whole inside the window.
        for (QPushButton *button : window->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("下载队列"))
                QVERIFY(button->mapTo(window.get(), button->rect().topRight()).x() < window->width());
        }
        QVERIFY2(label->shown_text().startsWith(QStringLiteral("✓ 检测成功: "))
                     && label->shown_text().contains(QStringLiteral("…"))
                     && label->shown_text().endsWith(QDir::toNativeSeparators(QStringLiteral("/common/Dread Hunger"))),
                 qPrintable(label->shown_text()));
        QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
        QCoreApplication::sendEvent(label, &help);
        QCOMPARE(QToolTip::text(), found.status);
        QToolTip::hideText();
        window->hide();
    }
    if (layout == QLatin1String("no-base")) {
        // Validation ran in full: the mod folder exists, the reason is in
        // the log, and the window names the folder only.
        QVERIFY(QFileInfo(game.mod_folder()).isDir());
        QVERIFY(!log.texts().filter(QStringLiteral("WARNING 无效目录: 未找到必需文件 ")).isEmpty());
        QVERIFY(dir_label()->toolTip().isEmpty());
    }
}

void TestGameDirWindow::detect_twice_writes_setting_again()
{
    FakeGame game(dir.path() + QStringLiteral("/twice"));
    const ProcessListing listing = listing_with(game.exe_path());
    const GameDirService::Detection first = service()->detect(listing);
    QCOMPARE(stored(), game.root());

    settings.remove(QStringLiteral("game_dir"));
    const GameDirService::Detection again = service()->detect(listing);
    QCOMPARE(again.status, QStringLiteral("✓ 检测成功: ") + QDir::toNativeSeparators(game.root()));
    QCOMPARE(stored(), game.root());
    QVERIFY(first.adopted && again.adopted);
}

void TestGameDirWindow::detect_real_process()
{
    FakeGame installed(dir.path() + QStringLiteral("/real/Dread Hunger"));
    QVERIFY(installed.start(FakeGame::idle_program(), {QStringLiteral("600")}));
    LogCapture log;
    click(QStringLiteral("检测目录"));
    QCOMPARE(dir_label()->text(), QStringLiteral("✓ 检测成功: ") + QDir::toNativeSeparators(installed.root()));
    QCOMPARE(service()->game_dir(), installed.root());
    QCOMPARE(stored(), installed.root());
    installed.stop();

    FakeGame broken(dir.path() + QStringLiteral("/real/No Base"), false);
    QVERIFY(broken.start(FakeGame::idle_program(), {QStringLiteral("600")}));
    click(QStringLiteral("检测目录"));
    QCOMPARE(dir_label()->text(),
             QStringLiteral("✗ 检测到游戏但皮肤目录验证失败: ") + QDir::toNativeSeparators(broken.root()));
    QCOMPARE(service()->game_dir(), installed.root());
    QCOMPARE(stored(), installed.root());
    QVERIFY(QFileInfo(broken.mod_folder()).isDir());
    broken.stop();

    click(QStringLiteral("检测目录"));
    // No game runs: Steam's libraries, searched in the background, hold none.
    QTRY_COMPARE(dir_label()->text(), NOT_DETECTED);
    QCOMPARE(service()->game_dir(), installed.root());
    // Only the folder taken refreshed the grid.
    QCOMPARE(refreshes(log), 1);
}

void TestGameDirWindow::open_skin_dir_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("title"); // empty: no box
    QTest::addColumn<QString>("text");

    QTest::newRow("no folder detected") << "unset" << QStringLiteral("提示") << QStringLiteral("请先检测游戏目录");
    QTest::newRow("mod folder missing: not created here")
        << "no-mods" << QStringLiteral("提示") << QStringLiteral("皮肤目录不存在，请先下载皮肤");
    QTest::newRow("mod folder path is a file")
        << "mods-is-file" << QStringLiteral("提示") << QStringLiteral("皮肤目录不存在，请先下载皮肤");
    QTest::newRow("no file browser can open it")
        << "refused" << QStringLiteral("打开失败") << QStringLiteral("无法打开皮肤目录：no application could open {mods}");
    QTest::newRow("opened in the file browser") << "opened" << QString() << QString();
}

void TestGameDirWindow::open_skin_dir()
{
    QFETCH(QString, layout);
    QFETCH(QString, title);
    QFETCH(QString, text);

    FakeGame game(dir.path() + QStringLiteral("/open/") + layout);
    // The window's folder: the stored one, as at its start.
    settings.setValue(QStringLiteral("game_dir"), layout == QLatin1String("unset") ? QString() : game.root());
    service()->load();
    if (layout == QLatin1String("refused") || layout == QLatin1String("opened"))
        QVERIFY(QDir().mkpath(game.mod_folder()));
    if (layout == QLatin1String("mods-is-file")) {
        QFile file(game.mod_folder());
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (layout == QLatin1String("refused") && QGuiApplication::platformName() != QLatin1String("offscreen"))
        QSKIP("only the offscreen platform is sure to refuse opening folders");

    UrlRecorder recorder;
    if (layout == QLatin1String("opened"))
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    ModalAnswerer &boxes = *answerer;
    boxes.titles.clear();
    boxes.texts.clear();
    click(QStringLiteral("打开皮肤目录"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    if (title.isEmpty()) {
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(game.mod_folder())});
    } else {
        QCOMPARE(boxes.titles, QStringList{title});
        QCOMPARE(boxes.texts, QStringList{text.replace(QStringLiteral("{mods}"), QDir::toNativeSeparators(game.mod_folder()))});
    }
    if (layout == QLatin1String("no-mods"))
        QVERIFY(!QFileInfo::exists(game.mod_folder()));
}

void TestGameDirWindow::setting_survives_restart()
{
    FakeGame game(dir.path() + QStringLiteral("/restart/游戏 DH"));
    service()->detect(listing_with(game.exe_path()));
    QCOMPARE(service()->game_dir(), game.root());
    // The only copy of a skin file, left under its backup name by an
    // install that the program's end cut short.
    QFile backup(game.mod_folder() + QStringLiteral("/a.pak.old.tmp"));
    QVERIFY(QDir().mkpath(game.mod_folder()) && backup.open(QIODevice::WriteOnly) && backup.write("old") == 3);
    backup.close();

    const QJsonObject seen = read_in_child();
    QCOMPARE(seen.value(QStringLiteral("game_dir")).toString(), game.root());
    QCOMPARE(seen.value(QStringLiteral("label")).toString(), QStringLiteral("✓ 皮肤目录已加载"));
    // Put back at that start, not left for the sweep to delete.
    QVERIFY(QFileInfo::exists(game.mod_folder() + QStringLiteral("/a.pak")));
    QVERIFY(!backup.exists());
}

void TestGameDirWindow::setting_survives_abrupt_end()
{
    FakeGame game(dir.path() + QStringLiteral("/fatal"));
    settings.remove(QStringLiteral("game_dir"));
    settings.sync();

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(DYING_CHILD), server.base(), game.root()});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 3);

    QCOMPARE(read_in_child().value(QStringLiteral("game_dir")).toString(), game.root());
}

// A window starting, or "检测目录" clicked without the game running, with
// Steam installed: its libraries are searched in the background.
void TestGameDirWindow::steam_library_data()
{
    QTest::addColumn<QString>("start_with"); // the stored folder: "none", "gone" or "usable"
    QTest::addColumn<int>("games");       // Steam libraries holding the game; 0: its folder without the base package; -1: no Steam
    QTest::addColumn<bool>("click");      // after the start, "检测目录" without the game running
    QTest::addColumn<QString>("label");   // {steam} = the game folder in Steam, {usable} = the stored one
    QTest::addColumn<QStringList>("logged"); // lines the log must hold

    const QString found = QStringLiteral("✓ 检测成功: {steam}");
    QTest::newRow("nothing stored, the game in Steam: taken at start")
        << "none" << 1 << false << found << QStringList{QStringLiteral("INFO ✓ 检测成功: {steam}")};
    QTest::newRow("stored folder gone, the game in Steam: taken at start")
        << "gone" << 1 << false << found << QStringList{QStringLiteral("INFO ✓ 检测成功: {steam}")};
    QTest::newRow("stored folder usable: kept, Steam not searched")
        << "usable" << 1 << false << QStringLiteral("✓ 皮肤目录已加载") << QStringList{};
    QTest::newRow("nothing stored, the game in two libraries: nothing taken")
        << "none" << 2 << false << FIRST_RUN << QStringList{QStringLiteral("INFO Steam库中找到多个Dread Hunger目录，未自动选择: ")};
    QTest::newRow("nothing stored, the game's folder in Steam without its base package: nothing taken")
        << "none" << 0 << false << FIRST_RUN
        << QStringList{QStringLiteral("WARNING Steam库中的游戏目录验证失败: {steam}"),
                       QStringLiteral("WARNING 无效目录: 未找到必需文件 "),
                       QStringLiteral("INFO Steam库中未找到可用的Dread Hunger目录")};
    QTest::newRow("nothing stored, no Steam: nothing taken") << "none" << -1 << false << FIRST_RUN
                                                           << QStringList{QStringLiteral("INFO 未找到Steam库")};
    QTest::newRow("click without the game running: Steam's folder taken")
        << "usable" << 1 << true << found << QStringList{QStringLiteral("INFO ✓ 检测成功: {steam}")};
    QTest::newRow("click without the game running, two in Steam: not detected")
        << "usable" << 2 << true << NOT_DETECTED
        << QStringList{QStringLiteral("INFO Steam库中找到多个Dread Hunger目录，未自动选择: ")};
}

void TestGameDirWindow::steam_library()
{
    QFETCH(QString, start_with);
    QFETCH(int, games);
    QFETCH(bool, click);
    QFETCH(QString, label);
    QFETCH(QStringList, logged);

    static int row = 0;
    const QString base = dir.path() + QStringLiteral("/steam/") + QString::number(++row);
#ifdef Q_OS_WIN
    const QString home = base + QStringLiteral("/home");
#else
    const QString home = QDir::homePath();
#endif
    std::unique_ptr<FakeSteam> steam;
    if (games >= 0) {
        steam.reset(new FakeSteam(home, QStringLiteral(".local/share/Steam")));
        QVERIFY2(steam->error().isEmpty(), qPrintable(steam->error()));
        const QString second = base + QStringLiteral("/Lib2");
        steam->write_library_list(FakeSteam::library_list({steam->root(), second}));
        FakeSteam::add_game(steam->root(), QStringLiteral("Dread Hunger"), games >= 1);
        if (games >= 2)
            FakeSteam::add_game(second, QStringLiteral("Dread Hunger"));
    }
    const QString steam_game = steam ? QFileInfo(steam->root() + QStringLiteral("/steamapps/common/Dread Hunger")).canonicalFilePath()
                                     : QString();
    FakeGame usable(base + QStringLiteral("/usable"));
    const QString before = start_with == QLatin1String("usable") ? usable.root()
        : start_with == QLatin1String("gone")                    ? base + QStringLiteral("/gone")
                                                             : QString();
    settings.setValue(QStringLiteral("game_dir"), before);
    settings.sync();
    const QString taken = label.startsWith(QStringLiteral("✓ 检测成功")) ? steam_game : before;
    label.replace(QStringLiteral("{steam}"), QDir::toNativeSeparators(steam_game));
    logged.replaceInStrings(QStringLiteral("{steam}"), QDir::toNativeSeparators(steam_game));

    LogCapture log;
    MainWindow started(m_services);
    auto *service = started.findChild<GameDirService *>();
    auto *label_shown = started.findChild<QLabel *>(QStringLiteral("dir_label"));
    // A category chosen, also again after the catalogue's answer clears the
    // choice: a grid refresh shows in the log.
    auto *grid = started.findChild<SkinGrid *>();
    grid->select(QStringLiteral("测试分类"), std::nullopt);
    connect(started.findChild<CatalogService *>(), &CatalogService::categories_ready, grid,
            [grid] { grid->select(QStringLiteral("测试分类"), std::nullopt); });
    QSignalSpy searched(service, &GameDirService::steam_searched);
    QVERIFY(searched.wait());
    if (click) {
        // The start found the stored folder usable and changed nothing.
        QCOMPARE(label_shown->text(), QStringLiteral("✓ 皮肤目录已加载"));
        for (QPushButton *button : started.findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("检测目录"))
                button->click();
        }
        QVERIFY(searched.wait());
    }

    QCOMPARE(label_shown->text(), label);
    QCOMPARE(service->game_dir(), taken);
    QCOMPARE(stored(), taken);
    // The cards took the folder: the grid refreshed, with or without cards
    // (the catalogue may have filled the page meanwhile).
    const QRegularExpression refreshed(QStringLiteral("当前页面没有皮肤组件需要刷新|已刷新 \\d+ 个皮肤的图片缓存"));
    QCOMPARE(log.texts().filter(refreshed).size(), taken != before ? 1 : 0);
    for (const QString &line : logged)
        QVERIFY2(!log.texts().filter(line).isEmpty(), qPrintable(line));
    // The stored folder that is gone was not made again by the checks.
    QVERIFY(!QFileInfo::exists(base + QStringLiteral("/gone")));
}

QJsonObject TestGameDirWindow::read_in_child()
{
    settings.sync();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(READ_CHILD), server.base()});
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        return {{QStringLiteral("failed"), true}};
    const QByteArray out = child.readAllStandardOutput().trimmed();
    return QJsonDocument::fromJson(out.split('\n').last()).object();
}

int main(int argc, char **argv)
{
    // Settings of this test live below HOME/.qttest, parent and children alike.
    QStandardPaths::setTestModeEnabled(true);
    applog::install();
    config::init_configuration();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args.at(1) == QLatin1String(READ_CHILD))
        return run_read_child(args.at(2));
    if (args.size() >= 4 && args.at(1) == QLatin1String(DYING_CHILD))
        run_dying_child(args.at(2), args.at(3));
    TestGameDirWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gamedir_window.moc"
