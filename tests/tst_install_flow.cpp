// Installing and removing skins from the cards of a real main window against
// the stand-in server: detection, the download feedback on the cards, two
// cards of one skin, cards built mid-download, failures, cancelling from the
// card and from the queue dialog, and uninstalling.
#include "app/program_services.h"
#include "app/download_list_dialog.h"
#include "app/main_window.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/installed_button.h"
#include "ui/browse/search_field.h"
#include "ui/browse/skin_grid.h"
#include "ui/card/button_styles.h"
#include "ui/card/skin_widget.h"
#include "core/download/download_manager.h"
#include "core/install/install_check.h"
#include "core/install/installed_scan.h"
#include "core/download/update_check.h"
#include "core/support/config.h"
#include "core/gamedir/game_dir_service.h"
#include "core/support/log.h"

#include "support/fake_game.h"
#include "support/log_capture.h"
#include "support/scratch_settings.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString INSTALL = QStringLiteral("安装");
const QString UNINSTALL = QStringLiteral("卸载");
const QString MAIN = QStringLiteral("角色");
const QString TOOLS = QStringLiteral("工具");
const QString FAILED_SUFFIX = QStringLiteral("，请检查网络连接后重试");

QJsonObject record(int id, const QString &name, const QString &main, const QString &sub,
                   const QString &pak, const QString &sig)
{
    return QJsonObject{{"skin_id", id}, {"name", name}, {"MainCategory", main}, {"subcategory", sub},
                       {"pak_original", pak}, {"sig_original", sig}};
}

QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Everything below `dir`, relative, sorted; folders end in "/".
QStringList tree(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << QDir(dir).relativeFilePath(it.filePath()) + (it.fileInfo().isDir() ? QStringLiteral("/") : QString());
    }
    out.sort();
    return out;
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool make_file(const QString &path, const QByteArray &bytes = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QPushButton *button_in(const QList<QPushButton *> &buttons, const QString &text)
{
    for (QPushButton *b : buttons)
        if (b->text() == text)
            return b;
    return nullptr;
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

// The colour a card shows just inside its action button's top-left corner:
// the page's white when the corner is rounded off widely, the button's own
// colour when its radius is small.
QColor corner_colour(SkinWidget *card)
{
    const QImage shot = card->grab().toImage();
    return shot.pixelColor(card->action_button()->geometry().topLeft() + QPoint(4, 4));
}

// Reads and answers what the window puts up while a test presses buttons.
// Message boxes are recorded as "title|text" and confirmed. The uninstall
// confirmation is described, photographed and closed with its own "确定"
// (the shared answerer would reject it, which says nothing about its
// button). The queue dialog is left to the test that opened it.
class Boxes : public QObject {
public:
    Boxes()
    {
        connect(&m_timer, &QTimer::timeout, this, &Boxes::poll);
        m_timer.start(10);
    }
    QStringList shown;
    QStringList success;   // description of each confirmation, one line each
    QImage success_shot;
    // Runs while a message box is still open, before it is confirmed.
    std::function<void()> while_open;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (m_busy || !modal || !modal->isVisible())
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            shown << box->windowTitle() + QLatin1Char('|') + box->text();
            if (while_open) {
                m_busy = true;
                while_open();
                m_busy = false;
            }
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
            return;
        }
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!dialog || qobject_cast<DownloadListDialog *>(dialog))
            return;
        success << describe(dialog);
        success_shot = dialog->grab().toImage();
        if (while_open) {
            m_busy = true;
            while_open();
            m_busy = false;
        }
        QPushButton *ok = dialog->findChild<QPushButton *>();
        ok ? ok->click() : dialog->reject();
        success.last() += dialog->result() == QDialog::Accepted ? QStringLiteral(" accepted") : QStringLiteral(" rejected");
    }

    static QString describe(QDialog *dialog)
    {
        QStringList parts{dialog->windowTitle(),
                          QStringLiteral("%1x%2").arg(dialog->width()).arg(dialog->height()),
                          dialog->minimumSize() == dialog->maximumSize() ? QStringLiteral("fixed") : QStringLiteral("resizable"),
                          qobject_cast<SkinWidget *>(dialog->parentWidget()) ? QStringLiteral("on card")
                          : qobject_cast<MainWindow *>(dialog->parentWidget()) ? QStringLiteral("on window")
                                                                                : QStringLiteral("elsewhere")};
        auto *layout = qobject_cast<QVBoxLayout *>(dialog->layout());
        for (int i = 0; layout && i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            if (item->spacerItem())
                parts << QStringLiteral("<stretch>");
            else if (auto *label = qobject_cast<QLabel *>(item->widget()))
                parts << label->text() + (label->alignment() == Qt::AlignCenter ? QStringLiteral(" centred") : QString())
                        + (label->wordWrap() ? QStringLiteral(" wrapped") : QString());
            else if (auto *b = qobject_cast<QPushButton *>(item->widget()))
                parts << QStringLiteral("[") + b->text() + QStringLiteral("]");
        }
        return parts.join(QLatin1Char('|'));
    }

    QTimer m_timer;
    bool m_busy = false;
};

} // namespace

class TestInstallFlow : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void a_person_installs_and_removes_a_skin();
    void two_cards_of_one_skin_follow_one_download();
    void card_built_during_a_download_follows_it();
    void pressing_install_again_queues_nothing_and_card_cancels();
    void cancel_from_the_queue_dialog();
    void failed_download_data();
    void failed_download();
    void uninstall_data();
    void uninstall();
    void uninstall_without_game_folder();
    void installed_view_data();
    void installed_view();
    void skins_kept_whole_data();
    void skins_kept_whole();

private:
    // Clicks the main category and then "全部", which rebuilds the cards.
    void open_page(const QString &main);
    // Clicks "已安装" and waits for the fresh look at the folder it asks for
    // (the view opens at once from the last one).
    void open_installed_view();
    QList<SkinWidget *> cards(const QString &name) const;
    SkinWidget *card(const QString &name) const;
    QPushButton *window_button(const QString &text) const;
    InstalledButton *installed_button() const { return window->findChild<InstalledButton *>(); }
    // The window's parts.
    CategoryBar *bar() const { return window->findChild<CategoryBar *>(); }
    SkinGrid *grid() const { return window->findChild<SkinGrid *>(); }
    QString game_dir() const { return window->findChild<GameDirService *>()->game_dir(); }
    QString mod() const { return game->mod_folder(); }
    void serve(const QString &name, int pak_size, int sig_size = 300);
    QStringList requests_for(const QString &file);

    TestServer server;
    QTemporaryDir sandbox;
    std::unique_ptr<FakeGame> game;
    std::unique_ptr<Boxes> boxes;
    std::unique_ptr<MainWindow> window;
    QMap<QString, QByteArray> served;
};

void TestInstallFlow::initTestCase()
{
    QVERIFY(server.start());
    const QJsonArray catalog{
        record(1, QStringLiteral("甲"), MAIN, QStringLiteral("猎人"), QStringLiteral("甲.pak"), QStringLiteral("甲.sig")),
        record(2, QStringLiteral("双"), MAIN, QStringLiteral("猎人"), QStringLiteral("双.pak"), QStringLiteral("双.sig")),
        record(3, QStringLiteral("双"), MAIN, QStringLiteral("船员"), QStringLiteral("双.pak"), QStringLiteral("双.sig")),
        record(4, QStringLiteral("乙"), MAIN, QStringLiteral("船员"), QStringLiteral("乙.pak"), QStringLiteral("乙.sig")),
        record(5, QStringLiteral("丙"), MAIN, QStringLiteral("船员"), QStringLiteral("丙.pak"), QStringLiteral("丙.sig")),
        record(6, QStringLiteral("丁"), MAIN, QStringLiteral("船员"), QStringLiteral("丁.pak"), QStringLiteral("丁.sig")),
        // Server names with folders: only their last component is the file.
        record(7, QStringLiteral("戊"), TOOLS, QStringLiteral("刀"), QStringLiteral("files/2024/戊.pak"),
               QStringLiteral("files\\2024\\戊.sig")),
        record(8, QStringLiteral("己"), TOOLS, QStringLiteral("刀"), QStringLiteral("status"), QStringLiteral("status.sig")),
    };
    server.write_file(QStringLiteral("catalog.json"), QJsonDocument(catalog).toJson());
    serve(QStringLiteral("甲"), 600000);
    serve(QStringLiteral("双"), 40000);
    serve(QStringLiteral("乙"), 620000);
    serve(QStringLiteral("丙"), 30000);
    serve(QStringLiteral("丁"), 30000);
    config::use_server_for_tests(server.base());

    QSettings store(QStringLiteral("orvex"), QStringLiteral("DreadHunger"));
    // Never the user's own store.
    REQUIRE_SCRATCH_SETTINGS(store);
    store.clear();
    store.sync();

    game = std::make_unique<FakeGame>(sandbox.filePath(QStringLiteral("Steam/Dread Hunger")));
    boxes = std::make_unique<Boxes>();
    window = std::make_unique<MainWindow>(m_services);
    QSignalSpy loaded(window.get(), &MainWindow::catalog_loaded);
    QVERIFY(loaded.wait(20000));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestInstallFlow::cleanupTestCase()
{
    (&m_services.downloads)->shutdown();
    window.reset();
    game.reset();
}

void TestInstallFlow::init()
{
    server.reset();
    QDir(mod()).removeRecursively();
    QDir().mkpath(mod());
    boxes->shown.clear();
    boxes->success.clear();
    boxes->while_open = nullptr;
    // Every case after the first starts from a detected game.
    if (!game_dir().isEmpty())
        open_page(MAIN);
}

void TestInstallFlow::cleanup()
{
    // Whatever a failed case left running; the next case rebuilds its cards.
    (&m_services.downloads)->shutdown();
    QFile::remove(mod());   // a link left by a case that points elsewhere
}

void TestInstallFlow::serve(const QString &name, int pak_size, int sig_size)
{
    const QString folder = QStringLiteral("skins/") + MAIN + QStringLiteral("/%1/");
    const QByteArray pak = noise(pak_size, qHash(name));
    const QByteArray sig = noise(sig_size, qHash(name) + 1);
    for (const char *sub : {"猎人", "船员"}) {
        server.write_file(folder.arg(QString::fromUtf8(sub)) + name + QStringLiteral(".pak"), pak);
        server.write_file(folder.arg(QString::fromUtf8(sub)) + name + QStringLiteral(".sig"), sig);
    }
    served.insert(name + QStringLiteral(".pak"), pak);
    served.insert(name + QStringLiteral(".sig"), sig);
}

QStringList TestInstallFlow::requests_for(const QString &file)
{
    QStringList out;
    for (const QJsonValue &r : server.requests()) {
        const QJsonObject request = r.toObject();
        if (request.value(QStringLiteral("path")).toString().contains(file)
            || QUrl::fromPercentEncoding(request.value(QStringLiteral("query")).toString().toUtf8()).contains(file))
            out << request.value(QStringLiteral("method")).toString();
    }
    return out;
}

void TestInstallFlow::open_installed_view()
{
    auto *scanner = window->findChild<InstalledScanner *>();
    QVERIFY(scanner);
    quint64 taken = 0;
    const QMetaObject::Connection seen = connect(scanner, &InstalledScanner::scanned, this,
                                                 [&taken](const InstalledScan &scan) { taken = scan.generation; });
    QTest::mouseClick(installed_button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(taken, scanner->latest(), 10000);
    disconnect(seen);
}

void TestInstallFlow::open_page(const QString &main)
{
    QPushButton *main_button = button_in(bar()->main_buttons(), main);
    QVERIFY(main_button);
    main_button->click();
    QPushButton *all = button_in(bar()->subcategory_buttons(), QStringLiteral("全部"));
    QVERIFY(all);
    QSignalSpy loaded(window.get(), &MainWindow::skins_loaded);
    all->click();
    QVERIFY(loaded.wait(15000));
    QVERIFY(!cards(QString()).isEmpty());
}

QList<SkinWidget *> TestInstallFlow::cards(const QString &name) const
{
    QList<SkinWidget *> out;
    for (SkinWidget *c : grid()->cards()) {
        if (name.isEmpty() || c->skin_data().value(QStringLiteral("name")).toString() == name)
            out << c;
    }
    return out;
}

SkinWidget *TestInstallFlow::card(const QString &name) const
{
    const QList<SkinWidget *> found = cards(name);
    return found.size() == 1 ? found.first() : nullptr;
}

QPushButton *TestInstallFlow::window_button(const QString &text) const
{
    for (QPushButton *b : window->findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// --- installing -----------------------------------------------------------

void TestInstallFlow::a_person_installs_and_removes_a_skin()
{
    // A first start: no folder known yet, so every card reads "安装", also
    // that of a skin the game folder already holds, and nothing counts as
    // installed.
    QCOMPARE(game_dir(), QString());
    QVERIFY(make_file(mod() + QStringLiteral("/丙.pak")));
    open_page(MAIN);
    QCOMPARE(installed_button()->text(), QStringLiteral("已安装 (0)"));
    installed_button()->click();
    QTRY_COMPARE(boxes->shown, QStringList{QStringLiteral("游戏目录未设置|请先检测游戏目录才能安装皮肤")});
    QVERIFY(!grid()->showing_list());
    boxes->shown.clear();
    QPointer<SkinWidget> skin = card(QStringLiteral("甲"));
    QPointer<SkinWidget> present = card(QStringLiteral("丙"));
    QVERIFY(skin && present);
    QCOMPARE(present->action_button()->text(), INSTALL);

    // The game runs from its own tree. Once it is detected, the cards on
    // screen belong to that folder at once: same page, same cards.
    QVERIFY(game->start(FakeGame::idle_program(), {QStringLiteral("600")}));
    QPushButton *detect = window_button(QStringLiteral("检测目录"));
    QVERIFY(detect);
    detect->click();
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("dir_label"))->text(),
             QStringLiteral("✓ 检测成功: ") + QDir::toNativeSeparators(game->root()));
    QCOMPARE(game_dir(), game->root());
    // The folder is looked at off the window's thread.
    QTRY_COMPARE(installed_button()->text(), QStringLiteral("已安装 (1)"));
    game->stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(skin && present);
    QCOMPARE(bar()->main_category(), MAIN);
    QCOMPARE(grid()->current_page(), 0);
    QCOMPARE(present->action_button()->text(), UNINSTALL);
    QCOMPARE(present->action_button()->styleSheet(), UNINSTALL_BUTTON_STYLE);
    QVERIFY(QFile::remove(mod() + QStringLiteral("/丙.pak")));
    QCOMPARE(skin->action_button()->text(), INSTALL);
    QCOMPARE(skin->action_button()->styleSheet(), INSTALL_BUTTON_STYLE);

    // What the card reads at each step, seen right after the card itself
    // has handled the manager's signal.
    QStringList texts;
    bool downloading_look = false;
    DownloadManager *manager = (&m_services.downloads);
    const auto note = [&] { if (skin) texts << skin->action_button()->text(); };
    QMetaObject::Connection c1 = connect(manager, &DownloadManager::task_started, this, [&] {
        note();
        downloading_look = !skin->action_button()->isEnabled() && skin->cancel_button()->isVisible();
    });
    QMetaObject::Connection c2 = connect(manager, &DownloadManager::progress_updated, this, note);
    QMetaObject::Connection c3 = connect(manager, &DownloadManager::task_completed, this, note);

    // A pause half-way keeps the download visibly running for a moment.
    server.set_faults({QJsonObject{{"match", QStringLiteral("甲.pak")}, {"method", "GET"},
                                   {"stall_after", 250000}, {"stall", 0.5}}});
    QTest::mouseClick(skin->action_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(skin->action_button()->text().startsWith(QStringLiteral("下载中 ")), 10000);
    QVERIFY(skin->cancel_button()->isVisible());
    QVERIFY(!skin->action_button()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(skin->action_button()->text(), UNINSTALL, 20000);
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);

    QVERIFY(downloading_look);
    QVERIFY(texts.size() >= 4);
    QCOMPARE(texts.first(), QStringLiteral("下载中..."));
    QCOMPARE(texts.last(), UNINSTALL);
    int previous = -1;
    for (const QString &text : texts.mid(1, texts.size() - 2)) {
        QVERIFY2(text.startsWith(QStringLiteral("下载中 ")) && text.endsWith(QLatin1Char('%')), qPrintable(text));
        const int percent = text.mid(4, text.size() - 5).toInt();
        QVERIFY2(percent >= previous, qPrintable(texts.join(QLatin1Char(','))));
        previous = percent;
    }
    QCOMPARE(texts.at(texts.size() - 2), QStringLiteral("下载中 100%"));
    QCOMPARE(skin->action_button()->styleSheet(), UNINSTALL_BUTTON_STYLE);
    QVERIFY(skin->action_button()->isEnabled());
    QVERIFY(!skin->cancel_button()->isVisible());
    QCOMPARE(tree(mod()), (QStringList{QStringLiteral("甲.pak"), QStringLiteral("甲.sig")}));
    QVERIFY(read(mod() + QStringLiteral("/甲.pak")) == served.value(QStringLiteral("甲.pak")));
    QVERIFY(read(mod() + QStringLiteral("/甲.sig")) == served.value(QStringLiteral("甲.sig")));
    QCOMPARE(boxes->shown, QStringList());
    QVERIFY(m_services.downloads.installs().find(QStringLiteral("甲")));

    // Cancel pressed just after the download ended: the manager no longer
    // holds it. (The hidden button stands for a click that came too late.)
    skin->cancel_button()->click();
    QTRY_COMPARE(boxes->shown, QStringList{QStringLiteral("提示|该任务不在下载队列中")});
    QCOMPARE(skin->action_button()->text(), UNINSTALL);

    // Remove it again.
    LogCapture log;
    QTest::mouseClick(skin->action_button(), Qt::LeftButton);
    QCOMPARE(tree(mod()), QStringList());
    QTRY_COMPARE(boxes->success, QStringList{QStringLiteral(
        "卸载成功|300x200|fixed|on window|✓ centred|皮肤已成功卸载 centred wrapped|<stretch>|[确定] accepted")});
    QCOMPARE(log.texts().filter(QStringLiteral("已删除文件: ")).size(), 2);
    QCOMPARE(skin->action_button()->text(), INSTALL);
    // Nothing of the install is remembered once its files are gone.
    QVERIFY(!m_services.downloads.installs().find(QStringLiteral("甲")));
    QVERIFY(skin->action_button()->isEnabled());
    // The confirmation is green from top to bottom inside a dark green
    // frame, its button white, its tick drawn in white.
    const QImage &shot = boxes->success_shot;
    QVERIFY2(near(shot.pixelColor(150, 4), QColor(0x4C, 0xAF, 0x50), 8), qPrintable(shot.pixelColor(150, 4).name()));
    QVERIFY2(near(shot.pixelColor(150, 195), QColor(0x45, 0xA0, 0x49), 8), qPrintable(shot.pixelColor(150, 195).name()));
    QVERIFY2(near(shot.pixelColor(150, 0), QColor(0x2E, 0x7D, 0x32), 8), qPrintable(shot.pixelColor(150, 0).name()));
    int white = 0;
    for (int y = 10; y < 80; ++y)
        for (int x = 120; x < 180; ++x)
            white += near(shot.pixelColor(x, y), Qt::white, 30) ? 1 : 0;
    QVERIFY2(white > 30, qPrintable(QString::number(white)));

    // The button is green again, with the card's first, rounder look rather
    // than the plain install look a newly built card gets.
    QVERIFY(near(corner_colour(skin), Qt::white, 10));
    open_page(MAIN);
    SkinWidget *rebuilt = card(QStringLiteral("甲"));
    QCOMPARE(rebuilt->action_button()->text(), INSTALL);
    QCOMPARE(rebuilt->action_button()->styleSheet(), INSTALL_BUTTON_STYLE);
    QVERIFY2(near(corner_colour(rebuilt), QColor(0x4C, 0xAF, 0x50), 10), qPrintable(corner_colour(rebuilt).name()));
}

void TestInstallFlow::two_cards_of_one_skin_follow_one_download()
{
    const QList<SkinWidget *> twins = cards(QStringLiteral("双"));
    QCOMPARE(twins.size(), 2);
    server.set_faults({QJsonObject{{"match", QStringLiteral("双.pak")}, {"method", "HEAD"}, {"delay", 0.5}}});
    twins.last()->action_button()->click();
    QTRY_VERIFY(!twins.first()->action_button()->isEnabled());
    for (SkinWidget *twin : twins) {
        QCOMPARE(twin->action_button()->text(), QStringLiteral("下载中..."));
        QVERIFY(twin->cancel_button()->isVisible());
    }
    QTRY_COMPARE_WITH_TIMEOUT(twins.first()->action_button()->text(), UNINSTALL, 10000);
    for (SkinWidget *twin : twins) {
        QCOMPARE(twin->action_button()->text(), UNINSTALL);
        QVERIFY(twin->action_button()->isEnabled());
        QVERIFY(!twin->cancel_button()->isVisible());
    }
    QCOMPARE(requests_for(QStringLiteral("双.pak")), (QStringList{"HEAD", "GET"}));
}

void TestInstallFlow::card_built_during_a_download_follows_it()
{
    // Pauses inside the package and after the signature's headers keep the
    // download running while the page is rebuilt and the new card pressed.
    server.set_faults({QJsonObject{{"match", QStringLiteral("乙.pak")}, {"method", "GET"},
                                   {"stall_after", 100000}, {"stall", 1.0}},
                       QJsonObject{{"match", QStringLiteral("乙.sig")}, {"method", "GET"},
                                   {"stall_after", 0}, {"stall", 1.5}}});
    card(QStringLiteral("乙"))->action_button()->click();
    QTRY_VERIFY_WITH_TIMEOUT(card(QStringLiteral("乙"))->action_button()->text().startsWith(QStringLiteral("下载中 ")), 10000);

    open_page(MAIN);   // the page changes while the download runs
    QPointer<SkinWidget> late = card(QStringLiteral("乙"));
    QCOMPARE(late->action_button()->text(), INSTALL);
    QTRY_VERIFY_WITH_TIMEOUT(late->action_button()->text().startsWith(QStringLiteral("下载中 ")), 10000);
    QVERIFY(late->action_button()->isEnabled());
    QVERIFY(!late->cancel_button()->isVisible());

    // Its enabled button hands over the same task, which the manager holds.
    DownloadManager *manager = (&m_services.downloads);
    QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("乙"));
    late->action_button()->click();
    QCOMPARE(manager->get_queue().size(), 0);
    QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("乙"));

    QTRY_COMPARE_WITH_TIMEOUT(late->action_button()->text(), UNINSTALL, 10000);
    QCOMPARE(late->action_button()->styleSheet(), UNINSTALL_BUTTON_STYLE);
    QCOMPARE(requests_for(QStringLiteral("乙.pak")), (QStringList{"HEAD", "GET"}));
    QVERIFY(read(mod() + QStringLiteral("/乙.sig")) == served.value(QStringLiteral("乙.sig")));
}

void TestInstallFlow::pressing_install_again_queues_nothing_and_card_cancels()
{
    DownloadManager *manager = (&m_services.downloads);
    // 丙 waits at its sizing request, so it is running for as long as needed.
    server.set_faults({QJsonObject{{"match", QStringLiteral("丙.pak")}, {"method", "HEAD"}, {"delay", 30}, {"times", 1}}});
    SkinWidget *running = card(QStringLiteral("丙"));
    SkinWidget *waiting = card(QStringLiteral("丁"));
    running->action_button()->click();
    QTRY_VERIFY(running->cancel_button()->isVisible());

    waiting->action_button()->click();
    waiting->action_button()->click();
    QCOMPARE(manager->get_queue().size(), 1);
    // A waiting task leaves its card as it was.
    QCOMPARE(waiting->action_button()->text(), INSTALL);
    QVERIFY(waiting->action_button()->isEnabled());
    QVERIFY(!waiting->cancel_button()->isVisible());

    // Cancel on the running card: back to "安装", the waiting one starts.
    running->cancel_button()->click();
    QCOMPARE(running->action_button()->text(), INSTALL);
    QCOMPARE(running->action_button()->styleSheet(), INSTALL_BUTTON_STYLE);
    QVERIFY(running->action_button()->isEnabled());
    QVERIFY(!running->cancel_button()->isVisible());
    QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("丁"));
    QTRY_COMPARE_WITH_TIMEOUT(waiting->action_button()->text(), UNINSTALL, 10000);
    QCOMPARE(tree(mod()), (QStringList{QStringLiteral("丁.pak"), QStringLiteral("丁.sig")}));
    QCOMPARE(requests_for(QStringLiteral("丁.pak")), (QStringList{"HEAD", "GET"}));

    // A waiting task cancelled through its card (the button itself stays
    // hidden while a task only waits; a click still reaches it).
    server.set_faults({QJsonObject{{"match", QStringLiteral("丙.pak")}, {"method", "HEAD"}, {"delay", 30}, {"times", 1}}});
    SkinWidget *other = card(QStringLiteral("甲"));
    running->action_button()->click();
    QTRY_VERIFY(running->cancel_button()->isVisible());
    other->action_button()->click();
    QCOMPARE(manager->get_queue().size(), 1);
    other->cancel_button()->click();
    QCOMPARE(manager->get_queue().size(), 0);
    QCOMPARE(other->action_button()->text(), INSTALL);
    QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("丙"));
    QVERIFY(!running->action_button()->isEnabled());
    running->cancel_button()->click();
    QVERIFY(!manager->has_active_tasks());
    QCOMPARE(boxes->shown, QStringList());
    QCOMPARE(tree(mod()), (QStringList{QStringLiteral("丁.pak"), QStringLiteral("丁.sig")}));
}

void TestInstallFlow::cancel_from_the_queue_dialog()
{
    DownloadManager *manager = (&m_services.downloads);
    server.set_faults({QJsonObject{{"match", QStringLiteral("丙.pak")}, {"method", "HEAD"}, {"delay", 30}, {"times", 1}}});
    for (const char *name : {"丙", "丁", "乙"})
        card(QString::fromUtf8(name))->action_button()->click();
    QCOMPARE(manager->get_queue().size(), 2);

    // The dialog's rows as read from its layout, and the cancel button of
    // the row whose label reads `text`.
    const auto rows_layout = [](DownloadListDialog *dialog) {
        return dialog->findChild<QScrollArea *>()->widget()->layout();
    };
    const auto rows = [&](DownloadListDialog *dialog) {
        QStringList out;
        QLayout *layout = rows_layout(dialog);
        for (int i = 0; i < layout->count(); ++i)
            if (QWidget *w = layout->itemAt(i)->widget())
                if (QLabel *label = qobject_cast<QLabel *>(w) ? qobject_cast<QLabel *>(w) : w->findChild<QLabel *>())
                    out << label->text();
        return out;
    };
    const auto cancel_of = [&](DownloadListDialog *dialog, const QString &text) -> QPushButton * {
        QLayout *layout = rows_layout(dialog);
        for (int i = 0; i < layout->count(); ++i) {
            QWidget *w = layout->itemAt(i)->widget();
            QLabel *label = w && !qobject_cast<QLabel *>(w) ? w->findChild<QLabel *>() : nullptr;
            if (label && label->text() == text)
                return w->findChild<QPushButton *>();
        }
        return nullptr;
    };

    QStringList seen;
    bool driven = false;
    const auto drive = [&](DownloadListDialog *dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(rows_layout(dialog)->count() > 0, 3000);
        seen << rows(dialog).join(QLatin1Char(','));
        cancel_of(dialog, QStringLiteral("   1. 丁"))->click();      // waiting
        seen << rows(dialog).join(QLatin1Char(','));
        QCOMPARE(card(QStringLiteral("丁"))->action_button()->text(), INSTALL);
        cancel_of(dialog, QStringLiteral("   • 丙"))->click();      // running
        seen << rows(dialog).join(QLatin1Char(','));
        driven = true;
    };
    QTimer::singleShot(0, this, [&] {
        // Closed whatever happens inside, so that a failure cannot hang here.
        if (auto *dialog = qobject_cast<DownloadListDialog *>(QApplication::activeModalWidget())) {
            drive(dialog);
            dialog->accept();
        }
    });
    QPushButton *queue_button = window_button(QStringLiteral("下载队列"));
    QVERIFY(queue_button);
    queue_button->click();
    QVERIFY(driven);
    QCOMPARE(seen, (QStringList{
        QStringLiteral("=== 下载队列 ===,📥 正在下载:,   • 丙,⏳ 等待下载:,   1. 丁,   2. 乙"),
        QStringLiteral("=== 下载队列 ===,📥 正在下载:,   • 丙,⏳ 等待下载:,   1. 乙"),
        QStringLiteral("=== 下载队列 ===,📥 正在下载:,   • 乙"),
    }));
    QCOMPARE(card(QStringLiteral("丙"))->action_button()->text(), INSTALL);
    QVERIFY(!card(QStringLiteral("丙"))->cancel_button()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(card(QStringLiteral("乙"))->action_button()->text(), UNINSTALL, 10000);
    QCOMPARE(card(QStringLiteral("丁"))->action_button()->text(), INSTALL);
    QCOMPARE(tree(mod()), (QStringList{QStringLiteral("乙.pak"), QStringLiteral("乙.sig")}));
    QCOMPARE(requests_for(QStringLiteral("丁.")), QStringList());
}

void TestInstallFlow::failed_download_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("error_start");   // the error text inside the message

    QTest::newRow("package answered 404")
        << QJsonObject{{"match", QStringLiteral("乙.pak")}, {"method", "GET"}, {"status", 404}}
        << QStringLiteral("404 Client Error: Not Found for url: ");
    // Cut on every attempt, so that resuming cannot save it.
    QTest::newRow("connection cut inside the package")
        << QJsonObject{{"match", QStringLiteral("乙.pak")}, {"method", "GET"}, {"cut_after", 50000}}
        << QString();
    // The package was whole, but without its signature it does not stay.
    QTest::newRow("connection cut inside the signature")
        << QJsonObject{{"match", QStringLiteral("乙.sig")}, {"method", "GET"}, {"cut_after", 50}}
        << QString();
}

void TestInstallFlow::failed_download()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, error_start);

    server.set_faults({fault});
    SkinWidget *skin = card(QStringLiteral("乙"));
    SkinWidget *next = card(QStringLiteral("丙"));
    // The task waiting behind the failed one does not wait for the user to
    // read the failure: its requests reach the server while the box is open.
    bool next_ran_while_open = false;
    boxes->while_open = [&] {
        QElapsedTimer waited;
        waited.start();
        while (requests_for(QStringLiteral("丙.pak")).isEmpty() && waited.elapsed() < 10000)
            QTest::qWait(20);
        next_ran_while_open = !requests_for(QStringLiteral("丙.pak")).isEmpty();
    };
    skin->action_button()->click();
    next->action_button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes->shown.size(), 1, 20000);
    QVERIFY(next_ran_while_open);

    const QString shown = boxes->shown.first();
    const QString prefix = QStringLiteral("下载失败|皮肤下载失败: ");
    QVERIFY2(shown.startsWith(prefix + error_start) && shown.endsWith(FAILED_SUFFIX), qPrintable(shown));
    const QString error = shown.mid(prefix.size(), shown.size() - prefix.size() - FAILED_SUFFIX.size());
    QVERIFY2(!error.trimmed().isEmpty(), qPrintable(shown));
    QCOMPARE(skin->action_button()->text(), INSTALL);
    QCOMPARE(skin->action_button()->styleSheet(), INSTALL_BUTTON_STYLE);
    QVERIFY(skin->action_button()->isEnabled());
    QVERIFY(!skin->cancel_button()->isVisible());
    // Nothing of the failed skin is left; the next one is installed whole.
    QTRY_COMPARE_WITH_TIMEOUT(next->action_button()->text(), UNINSTALL, 10000);
    QCOMPARE(tree(mod()), (QStringList{QStringLiteral("丙.pak"), QStringLiteral("丙.sig")}));
    QVERIFY(read(mod() + QStringLiteral("/丙.pak")) == served.value(QStringLiteral("丙.pak")));
}

// --- uninstalling -----------------------------------------------------------

void TestInstallFlow::uninstall_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QStringList>("files");       // below the mod folder at the start
    // "", "remove files", "remove folder", "link to proc", "lock pak", "list on its way"
    QTest::addColumn<QString>("before_press");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QString>("message");         // "title|text" of the box; empty: the success dialog
    QTest::addColumn<QStringList>("logged");      // removal lines, "{mod}" = the mod folder

    const QString not_found = QStringLiteral("卸载提示|未找到已安装的皮肤文件\n搜索路径: {mod}\n目标文件: 戊.sig, 戊.pak"
                                             "\n\n可能原因：文件已被删除或未正确安装");
    const QString kept = QStringLiteral("卸载失败|以下皮肤文件无法删除:\n%1\n\n文件可能正被游戏使用，请关闭游戏后重试");

    const QString wu = QStringLiteral("戊");
    QTest::newRow("pak in the mod folder and sig in a sub-folder")
        << wu << QStringList{"戊.pak", "老/皮肤/戊.sig"} << QString() << QStringList{"老/", "老/皮肤/"} << QString()
        << QStringList{"INFO 已删除文件: {mod}/戊.pak", "INFO 已删除文件: {mod}/老/皮肤/戊.sig"};
    QTest::newRow("only the sig present")
        << wu << QStringList{"戊.sig"} << QString() << QStringList{} << QString()
        << QStringList{"INFO 已删除文件: {mod}/戊.sig"};
#ifdef Q_OS_WIN
    const QStringList other_case; // Windows names ignore case: the same file
#else
    const QStringList other_case{"a/戊.PAK"};
#endif
    QTest::newRow("every copy goes, other names stay")
        << wu << QStringList{"戊.pak", "a/戊.pak", ".b/戊.sig"} + other_case + QStringList{"a/戊.pak.tmp", "戊.pak.bak"}
        << QString() << QStringList{".b/", "a/"} + other_case + QStringList{"a/戊.pak.tmp", "戊.pak.bak"} << QString()
        << QStringList{"INFO 已删除文件: {mod}/.b/戊.sig", "INFO 已删除文件: {mod}/a/戊.pak", "INFO 已删除文件: {mod}/戊.pak"};
    QTest::newRow("files gone before the press")
        << wu << QStringList{"戊.pak", "other.pak"} << QStringLiteral("remove files") << QStringList{"other.pak"}
        << not_found << QStringList{};
    QTest::newRow("mod folder gone before the press")
        << wu << QStringList{"戊.sig"} << QStringLiteral("remove folder") << QStringList{} << not_found
        << QStringList{};
    // The mod folder leads into /proc, where even root cannot delete: both
    // matching files are tried, both fail and are named, one per line; the
    // card stays installed.
    QTest::newRow("no file can be removed")
        << QStringLiteral("己") << QStringList{} << QStringLiteral("link to proc") << QStringList{}
        << kept.arg(QStringLiteral("status\ntask/{pid}/status"))
        << QStringList{"WARNING 删除文件失败: {mod}/status", "WARNING 删除文件失败: {mod}/task/{pid}/status"};
    // As when the running game holds the package: the pair goes as one or
    // not at all, so the signature stays too; the package is named, and the
    // skin still counts as installed.
    QTest::newRow("one file cannot be removed")
        << wu << QStringList{"戊.pak", "老/戊.sig"} << QStringLiteral("lock pak")
        << QStringList{"老/", "老/戊.sig", "戊.pak"} << kept.arg(QStringLiteral("戊.pak"))
        << QStringList{"WARNING 删除文件失败: {mod}/戊.pak"};
    // The page's list, asked for again, comes while the confirmation shows:
    // the rebuilt page deletes the card, and the confirmation stays.
    QTest::newRow("a list arrives while the confirmation shows")
        << wu << QStringList{"戊.pak", "戊.sig"} << QStringLiteral("list on its way") << QStringList{} << QString()
        << QStringList{"INFO 已删除文件: {mod}/戊.pak", "INFO 已删除文件: {mod}/戊.sig"};
}

void TestInstallFlow::uninstall()
{
    QFETCH(QString, skin);
    QFETCH(QStringList, files);
    QFETCH(QString, before_press);
    QFETCH(QStringList, left);
    QFETCH(QString, message);
    QFETCH(QStringList, logged);

#ifdef Q_OS_WIN
    if (before_press == QLatin1String("link to proc"))
        QSKIP("needs a link into Linux's /proc, where nothing can be deleted");
#endif
    for (const QString &file : files)
        QVERIFY(make_file(mod() + QLatin1Char('/') + file));
    QProcess idle;
    if (before_press == QLatin1String("link to proc")) {
        idle.start(QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
        QVERIFY(idle.waitForStarted());
        QVERIFY(QDir(mod()).removeRecursively());
        QVERIFY(QFile::link(QStringLiteral("/proc/%1").arg(idle.processId()), mod()));
    }
    open_page(TOOLS);
    QPointer<SkinWidget> subject = card(skin);
    QVERIFY(subject);
    // As soon as the page's look at the folder is back.
    QTRY_COMPARE(subject->action_button()->text(), UNINSTALL);
    if (before_press == QLatin1String("list on its way")) {
        server.set_faults({QJsonObject{{"match", "index_skins.php"}, {"delay", 1}}});
        button_in(bar()->subcategory_buttons(), QStringLiteral("全部"))->click();
        boxes->while_open = [this] {
            QSignalSpy loaded(window.get(), &MainWindow::skins_loaded);
            QVERIFY(loaded.wait(15000));
            QTest::qWait(50);   // the old cards' deletion
        };
    }
    if (before_press == QLatin1String("remove files")) {
        for (const QString &file : files)
            if (file.startsWith(skin))
                QVERIFY(QFile::remove(mod() + QLatin1Char('/') + file));
    }
    // On Windows a folder cannot go while the installed scan, on its own
    // thread, still lists it: try until the scan has let go.
    if (before_press == QLatin1String("remove folder"))
        QTRY_VERIFY(QDir(mod()).removeRecursively());
    // The immutable attribute stops even root from deleting the file.
    const QString locked = mod() + QStringLiteral("/戊.pak");
    const auto set_locked = [&](bool on) {
        return QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), locked}) == 0;
    };
    struct Unlock {
        std::function<bool(bool)> unlock;
        ~Unlock() { if (unlock) unlock(false); }
    } unlock;
    if (before_press == QLatin1String("lock pak")) {
        if (!set_locked(true))
            QSKIP("no immutable attribute on this file system");
        unlock.unlock = set_locked;
    }

    LogCapture log;
    QTest::mouseClick(subject->action_button(), Qt::LeftButton);
    QStringList removal_lines = log.texts().filter(QRegularExpression(QStringLiteral("删除文件")));
    removal_lines.sort();
    const auto fill = [&](QString &text) {
        text.replace(QStringLiteral("{pid}"), QString::number(idle.processId()));
        // The rest of the line is the path, shown with native separators.
        const int at = text.indexOf(QStringLiteral("{mod}"));
        if (at >= 0)
            text = text.left(at) + QDir::toNativeSeparators(mod() + text.mid(at + 5));
    };
    for (QString &line : logged)
        fill(line);
    logged.sort();
    QCOMPARE(removal_lines, logged);

    if (message.isEmpty()) {
        QTRY_COMPARE(boxes->success.size(), 1);
        QVERIFY(boxes->success.first().startsWith(QStringLiteral("卸载成功|")));
        QVERIFY(boxes->success.first().endsWith(QStringLiteral(" accepted")));
        QCOMPARE(boxes->shown, QStringList());
        if (!subject)   // the page was rebuilt: the new card reads the folder
            subject = card(skin);
        QTRY_COMPARE(subject->action_button()->text(), INSTALL);
    } else {
        fill(message);
        QTRY_COMPARE(boxes->shown, QStringList{message});
        QCOMPARE(boxes->success, QStringList());
        // Files that could not go keep the card installed; files already
        // gone leave it offering the install.
        const bool gone = before_press.startsWith(QLatin1String("remove"));
        QCOMPARE(subject->action_button()->text(), gone ? INSTALL : UNINSTALL);
        if (!gone)
            QCOMPARE(subject->action_button()->styleSheet(), UNINSTALL_BUTTON_STYLE);
    }
    QVERIFY(subject->action_button()->isEnabled());
    QVERIFY(!subject->cancel_button()->isVisible());
    left.sort();
    if (before_press != QLatin1String("link to proc"))
        QCOMPARE(tree(mod()), left);
    idle.kill();
    idle.waitForFinished();
}

void TestInstallFlow::uninstall_without_game_folder()
{
    QVERIFY(make_file(mod() + QStringLiteral("/戊.pak")));
    // Cards built while the grid knows no folder; later cards get the
    // detected one again.
    grid()->set_game_dir(QString());
    const auto restore = qScopeGuard([this] { grid()->set_game_dir(game_dir()); });
    open_page(TOOLS);
    SkinWidget *subject = card(QStringLiteral("戊"));
    QCOMPARE(subject->action_button()->text(), INSTALL);
    // Only reachable through the uninstall operation itself: without a game
    // folder no card reads "卸载".
    subject->uninstall_skin();
    QTRY_COMPARE(boxes->shown, QStringList{QStringLiteral("游戏目录未设置|请先检测游戏目录才能卸载皮肤")});
    QVERIFY(QFile::exists(mod() + QStringLiteral("/戊.pak")));
    QCOMPARE(boxes->success, QStringList());
}

// --- the installed view ---------------------------------------------------

// The installed view ("已安装 (N)") over what the mod folder holds, and how
// it follows an install from a category page and an uninstall from its own
// cards. Without a game folder see a_person_installs_and_removes_a_skin.
void TestInstallFlow::installed_view_data()
{
    QTest::addColumn<QStringList>("files");   // below the mod folder at the start
    QTest::addColumn<QString>("action");      // "install <skin>" from the category, "uninstall <card>" in the view
    QTest::addColumn<QStringList>("shown");   // the view's cards by name, in order; the count is their number
    QTest::addColumn<QStringList>("left");    // the mod folder at the end, as tree() lists it

    QTest::newRow("none") << QStringList{} << QString() << QStringList{} << QStringList{};
    // Equal ranks: the lists order by skin_id, highest first.
    QTest::newRow("some, one of them by its sig alone")
        << QStringList{"甲.pak", "甲.sig", "子/丙.sig", "说明.txt"} << QString() << QStringList{"丙", "甲"}
        << QStringList{"子/", "子/丙.sig", "说明.txt", "甲.pak", "甲.sig"};
    QTest::newRow("unknown pair after the catalogue's skins, a lone pak not listed")
        << QStringList{"x.pak", "x.sig", "子/y.pak", "乙.pak", "乙.sig"} << QString() << QStringList{"乙", "x.pak"}
        << QStringList{"x.pak", "x.sig", "乙.pak", "乙.sig", "子/", "子/y.pak"};
    QTest::newRow("after uninstalling a catalogue skin in the view")
        << QStringList{"甲.pak", "甲.sig", "x.pak", "x.sig"} << QStringLiteral("uninstall 甲") << QStringList{"x.pak"}
        << QStringList{"x.pak", "x.sig"};
    QTest::newRow("after uninstalling an unknown pair: exactly that pair goes")
        << QStringList{"x.pak", "x.sig", "子/x.pak", "子/x.sig", "x.pak.bak"} << QStringLiteral("uninstall x.pak")
        << QStringList{"x.pak"} << QStringList{"x.pak.bak", "子/", "子/x.pak", "子/x.sig"};
    QTest::newRow("count after an install")
        << QStringList{} << QStringLiteral("install 丁") << QStringList{"丁"} << QStringList{"丁.pak", "丁.sig"};
}

void TestInstallFlow::installed_view()
{
    QFETCH(QStringList, files);
    QFETCH(QString, action);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, left);

    for (const QString &file : files)
        QVERIFY(make_file(mod() + QLatin1Char('/') + file));
    const QString subject = action.section(QLatin1Char(' '), 1);
    const QString count = QStringLiteral("已安装 (%1)").arg(shown.size());
    if (action.startsWith(QLatin1String("install "))) {
        QSignalSpy done(&m_services.downloads, &DownloadManager::task_completed);
        QTest::mouseClick(card(subject)->action_button(), Qt::LeftButton);
        QVERIFY(done.wait(20000));
        // Counted as soon as the folder's scan is back, before the view is opened.
        QTRY_COMPARE(installed_button()->text(), count);
    }
    open_installed_view();
    QVERIFY(grid()->showing_list());
    if (action.startsWith(QLatin1String("uninstall "))) {
        QTest::mouseClick(cards(subject).first()->action_button(), Qt::LeftButton);
        QTRY_COMPARE(boxes->success.size(), 1);
        QVERIFY(boxes->success.first().startsWith(QStringLiteral("卸载成功|")));
    }
    // The view shows what the folder holds now: a card uninstalled is gone.
    QTRY_COMPARE(installed_button()->text(), count);
    QStringList names;
    for (SkinWidget *c : grid()->cards()) {
        names << c->skin_data().value(QStringLiteral("name")).toString();
        const bool file_pair = c->skin_data().contains(QStringLiteral("file_pair"));
        QCOMPARE(c->action_button()->text(), UNINSTALL);
        QVERIFY(c->action_button()->isEnabled());
        QCOMPARE(c->zoom_button()->isHidden(), file_pair);
        if (file_pair)
            QCOMPARE(c->cover_state(), SkinWidget::CoverState::Missing);
    }
    QCOMPARE(names, shown);
    if (shown.isEmpty()) {
        const auto empty_text_shown = [this] {
            for (QLabel *label : grid()->findChildren<QLabel *>())
                if (label->text() == QStringLiteral("没有已安装的皮肤") && label->isVisible())
                    return true;
            return false;
        };
        QTRY_VERIFY(empty_text_shown());
    }
    QCOMPARE(boxes->shown, QStringList());
    left.sort();
    QCOMPARE(tree(mod()), left);
    QPushButton *check = window_button(QStringLiteral("校验文件"));
    QVERIFY(check && !check->isHidden());
    // A search that finds nothing is no installed view, even when the view was empty too.
    auto *field = window->findChild<SearchField *>();
    QSignalSpy searched(field, &SearchField::search_requested);
    QTest::keyClicks(field, QStringLiteral("zzzz"));
    QVERIFY(searched.wait(5000));
    QVERIFY(grid()->showing_list());
    QVERIFY(check->isHidden());
    // A category click leaves the view.
    open_page(MAIN);
    QVERIFY(!grid()->showing_list());
    QVERIFY(check->isHidden());
}

// Installed skins whose files no longer match their install show "文件损坏"
// and "修复" in the installed view; one the server has a newer build of shows
// "更新", and "全部更新 (N)" counts them. Either installs again.
void TestInstallFlow::skins_kept_whole_data()
{
    QTest::addColumn<QString>("change");   // done to 乙's files or on the server after the install
    QTest::addColumn<bool>("verify");      // found only by "校验文件"
    QTest::addColumn<QString>("offered");  // the card's button beside "卸载", empty for none
    QTest::addColumn<bool>("update_all");  // installed again through "全部更新 (1)"

    QTest::newRow("whole, checked: all well") << "" << true << "" << false;
    QTest::newRow("partner missing") << "remove" << false << "修复" << false;
    QTest::newRow("resized") << "append" << false << "修复" << false;
    QTest::newRow("same size, other bytes, time kept: the full check") << "overwrite" << true << "修复" << false;
    QTest::newRow("newer build on the server: 更新 on the card") << "publish" << false << "更新" << false;
    QTest::newRow("newer build on the server: 全部更新") << "publish" << false << "更新" << true;
    QTest::newRow("check refused with 404: no badge, logged") << "publish 404" << false << "" << false;
    QTest::newRow("update refused by the server: the old pair stays installed") << "publish, get refused" << false
                                                                                << "更新" << false;
}

void TestInstallFlow::skins_kept_whole()
{
    QFETCH(QString, change);
    QFETCH(bool, verify);
    QFETCH(QString, offered);
    QFETCH(bool, update_all);

    serve(QStringLiteral("乙"), 620000);
    QSignalSpy done(&m_services.downloads, &DownloadManager::task_completed);
    QTest::mouseClick(card(QStringLiteral("乙"))->action_button(), Qt::LeftButton);
    QVERIFY(done.wait(20000));
    const QString sig = mod() + QStringLiteral("/乙.sig");
    const QString pak = mod() + QStringLiteral("/乙.pak");
    const QDateTime installed_time = QFileInfo(sig).lastModified();
    QFile file(sig);
    if (change == QLatin1String("remove"))
        QVERIFY(file.remove());
    if (change == QLatin1String("append"))
        QVERIFY(file.open(QIODevice::Append) && file.write("x") == 1);
    if (change == QLatin1String("overwrite")) {
        QVERIFY(file.open(QIODevice::ReadWrite) && file.write("SIG") == 3);
        QVERIFY(file.setFileTime(installed_time, QFileDevice::FileModificationTime));
    }
    file.close();
    const QByteArray newer = noise(620001, 7);
    LogCapture log;
    if (change.startsWith(QLatin1String("publish"))) {
        for (const char *sub : {"猎人", "船员"})
            server.write_file(QStringLiteral("skins/") + MAIN + QLatin1Char('/') + QString::fromUtf8(sub)
                                  + QStringLiteral("/乙.pak"), newer);
        if (change.endsWith(QLatin1String("404")))
            server.set_faults({QJsonObject{{"match", QStringLiteral("乙.pak")}, {"method", "HEAD"}, {"status", 404}}});
        auto *checker = window->findChild<SkinUpdateChecker *>();
        QVERIFY(checker);
        QSignalSpy checked(checker, &SkinUpdateChecker::finished);
        checker->check_now();
        QVERIFY(checked.wait(10000));
    }

    open_installed_view();
    QPushButton *check = window_button(QStringLiteral("校验文件"));
    QTRY_VERIFY(check && !check->isHidden());
    QPointer<SkinWidget> skin = card(QStringLiteral("乙"));
    QVERIFY(skin);
    if (verify) {
        QVERIFY(skin->damage_label()->isHidden());
        check->click();
        QVERIFY(!check->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(check->isEnabled(), 10000);
        // The folder row tells what the check found until its next status.
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("dir_label"))->text(),
                 offered.isEmpty() ? QStringLiteral("校验完成，全部完好") : QStringLiteral("校验完成，1 个皮肤文件损坏"));
    }
    QVERIFY(skin);
    const bool repair = offered == QStringLiteral("修复");
    QCOMPARE(!skin->damage_label()->isHidden(), repair);
    QCOMPARE(skin->damage_label()->text(), QStringLiteral("文件损坏"));
    QCOMPARE(skin->refresh_button()->isHidden(), offered.isEmpty());
    QCOMPARE(skin->action_button()->text(), UNINSTALL);
    QPushButton *all = window_button(QStringLiteral("全部更新 (1)"));
    QCOMPARE(all && !all->isHidden(), offered == QStringLiteral("更新"));
    if (offered.isEmpty()) {
        QCOMPARE(log.texts().filter(QStringLiteral("检查皮肤更新失败: 乙")).size(), change.isEmpty() ? 0 : 1);
        QCOMPARE(boxes->shown, QStringList());
        return;
    }
    QCOMPARE(skin->refresh_button()->text(), offered);

    if (change.endsWith(QLatin1String("get refused"))) {
        server.set_faults({QJsonObject{{"match", QStringLiteral("乙.pak")}, {"method", "GET"}, {"status", 500}}});
        QSignalSpy failed(&m_services.downloads, &DownloadManager::task_failed);
        QTest::mouseClick(skin->refresh_button(), Qt::LeftButton);
        QVERIFY(failed.wait(20000));
        QTRY_COMPARE(boxes->shown.size(), 1);
        QVERIFY(boxes->shown.first().startsWith(QStringLiteral("下载失败|")));
        QCOMPARE(skin->action_button()->text(), UNINSTALL);
        QVERIFY(!skin->refresh_button()->isHidden());
        QVERIFY(read(pak) == served.value(QStringLiteral("乙.pak")));
        return;
    }
    QTest::mouseClick(update_all ? all : skin->refresh_button(), Qt::LeftButton);
    QVERIFY(done.wait(20000));
    QTRY_VERIFY(skin && skin->damage_label()->isHidden());
    QVERIFY(skin->refresh_button()->isHidden());
    QVERIFY(!window_button(QStringLiteral("全部更新 (1)")) || window_button(QStringLiteral("全部更新 (1)"))->isHidden());
    QCOMPARE(skin->action_button()->text(), UNINSTALL);
    QVERIFY(read(sig) == served.value(QStringLiteral("乙.sig")));
    QVERIFY(read(pak) == (repair ? served.value(QStringLiteral("乙.pak")) : newer));
    // The record now describes the new pair: a second look finds nothing.
    QVERIFY(quick_damage(*m_services.downloads.installs().find(QStringLiteral("乙"))) == SkinDamage::None);
    QCOMPARE(boxes->shown, QStringList());
    open_page(MAIN);
    QVERIFY(check->isHidden());
}

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    applog::install();
    config::init_configuration();
    QApplication app(argc, argv);
    TestInstallFlow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_install_flow.moc"
