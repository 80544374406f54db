#include "app/program_services.h"
#include "ui/card/button_styles.h"
#include "ui/card/magnifier.h"
#include "ui/card/skin_widget.h"
#include "core/download/download_manager.h"
#include "core/install/skin_files.h"
#include "support/card_fixtures.h"
#include "core/support/config.h"
#include "support/log_capture.h"
#include "support/modal_answerer.h"
#include "support/test_server.h"
#include "ui/widgets/elided_label.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolTip>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace card_fixtures;

namespace {

const QString INSTALL = QStringLiteral("安装");
const QString UNINSTALL = QStringLiteral("卸载");

std::unique_ptr<SkinWidget> make_card(ProgramServices &services, const QJsonObject &record,
                                      const QString &game_dir = QString())
{
    return settled_card(services, record, game_dir);
}

// Collects what a card asks the window to show, as "title|message|kind".
struct Messages {
    QStringList shown;
    void watch(SkinWidget *card)
    {
        QObject::connect(card, &SkinWidget::show_message_signal, card,
                         [this](const QString &title, const QString &message, const QString &kind) {
                             shown << title + QLatin1Char('|') + message + QLatin1Char('|') + kind;
                         });
    }
};

bool make_file(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

bool close_to(const QColor &seen, const QColor &wanted, int tolerance = 6)
{
    return qAbs(seen.red() - wanted.red()) <= tolerance && qAbs(seen.green() - wanted.green()) <= tolerance
        && qAbs(seen.blue() - wanted.blue()) <= tolerance;
}

} // namespace

class TestSkinWidget : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
private slots:
    void initTestCase();
    void init();

    void invalid_record_data();
    void invalid_record();
    void file_names_data();
    void file_names();
    void installed_state_data();
    void installed_state();
    void card_picture();
    void long_names_data();
    void long_names();
    void download_feedback_data();
    void download_feedback();
    void cards_of_the_same_skin_follow_together();
    void refusals();
    void install_end_to_end();
    void uninstall_walks_top_down();

private:
    TestServer server;
    QTemporaryDir sandbox;
    QString game_dir;
};

void TestSkinWidget::initTestCase()
{
    QVERIFY(start_server(server, m_services));
    game_dir = sandbox.path() + QStringLiteral("/game");
}

void TestSkinWidget::init()
{
    QVERIFY(server.reset());
    QDir(game_dir).removeRecursively();
}

void TestSkinWidget::invalid_record_data()
{
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QJsonValue>("file_pair");   // added to the record unless undefined
    QTest::addColumn<QString>("error");

    const QJsonValue none(QJsonValue::Undefined);
    for (const char *key : {"name", "MainCategory", "subcategory", "pak_original", "sig_original"}) {
        QTest::addRow("without %s", key)
            << QStringList{QLatin1String(key)} << none
            << QStringLiteral("皮肤数据缺少") + QLatin1String(key) + QStringLiteral("字段");
    }
    QTest::newRow("first missing key in check order is named")
        << QStringList{QStringLiteral("sig_original"), QStringLiteral("subcategory")} << none
        << QStringLiteral("皮肤数据缺少subcategory字段");
    QTest::newRow("cover and skin_id are optional")
        << QStringList{QStringLiteral("cover"), QStringLiteral("skin_id")} << none << QString();
    // A file pair's card deletes what it names: nothing outside the mod
    // folder, and nothing but a .pak and its own .sig.
    const auto pair = [](const char *folder, const char *pak, const char *sig) {
        return QJsonValue(QJsonObject{{"folder", folder}, {"pak", pak}, {"sig", sig}});
    };
    const QString bad_pair = QStringLiteral("皮肤数据缺少file_pair字段");
    QTest::newRow("file pair in a sub-folder, no catalogue keys")
        << QStringList{QStringLiteral("MainCategory"), QStringLiteral("pak_original")} << pair("a/b", "x.pak", "x.sig")
        << QString();
    QTest::newRow("file pair climbing out of the mod folder")
        << QStringList{} << pair("a/../..", "x.pak", "x.sig") << bad_pair;
    QTest::newRow("file pair with an absolute folder") << QStringList{} << pair("/etc", "x.pak", "x.sig") << bad_pair;
    QTest::newRow("file pair with a backslash folder")
        << QStringList{} << pair("..\\..", "x.pak", "x.sig") << bad_pair;
    QTest::newRow("file pair whose names are no partners")
        << QStringList{} << pair("", "x.pak", "y.sig") << bad_pair;
    QTest::newRow("file pair of other files") << QStringList{} << pair("", "x.txt", "") << bad_pair;
    QTest::newRow("file pair with a path for a name") << QStringList{} << pair("", "../x.pak", "../x.sig") << bad_pair;
    QTest::newRow("file pair that is no object") << QStringList{} << QJsonValue("x.pak") << bad_pair;
}

void TestSkinWidget::invalid_record()
{
    QFETCH(QStringList, removed);
    QFETCH(QJsonValue, file_pair);
    QFETCH(QString, error);

    QJsonObject record = skin_record(QStringLiteral("坏记录"), QString());
    for (const QString &key : removed)
        record.remove(key);
    if (!file_pair.isUndefined())
        record.insert(QStringLiteral("file_pair"), file_pair);
    QString reported = QStringLiteral("untouched");
    std::unique_ptr<SkinWidget> card(SkinWidget::create(record, QString(), m_services.downloads, m_services.states,
                                                        m_services.covers, &reported));
    if (error.isEmpty()) {
        QVERIFY(card);
        QCOMPARE(reported, QStringLiteral("untouched"));
    } else {
        QVERIFY(!card);
        QCOMPARE(reported, error);
    }
}

void TestSkinWidget::file_names_data()
{
    QTest::addColumn<QJsonValue>("sig");
    QTest::addColumn<QJsonValue>("pak");
    QTest::addColumn<QString>("sig_name");
    QTest::addColumn<QString>("pak_name");

    QTest::newRow("bare names") << QJsonValue("a.sig") << QJsonValue("a.pak") << "a.sig" << "a.pak";
    QTest::newRow("forward slashes") << QJsonValue("files/2024/skin_a.sig")
                                     << QJsonValue("files/2024/skin_a.pak") << "skin_a.sig" << "skin_a.pak";
    QTest::newRow("backslashes") << QJsonValue("files\\2024\\skin_a.sig")
                                 << QJsonValue("files\\2024\\skin_a.pak") << "skin_a.sig" << "skin_a.pak";
    QTest::newRow("mixed separators") << QJsonValue("a\\b/c.sig") << QJsonValue("a/b\\c.pak") << "c.sig" << "c.pak";
    QTest::newRow("empty sig") << QJsonValue("") << QJsonValue("x.pak") << "" << "x.pak";
    QTest::newRow("trailing separator leaves nothing") << QJsonValue("dir/") << QJsonValue("x.pak") << "" << "x.pak";
    QTest::newRow("absent key is empty") << QJsonValue(QJsonValue::Undefined) << QJsonValue("x.pak") << "" << "x.pak";
}

void TestSkinWidget::file_names()
{
    QFETCH(QJsonValue, sig);
    QFETCH(QJsonValue, pak);
    QFETCH(QString, sig_name);
    QFETCH(QString, pak_name);

    QJsonObject record = skin_record(QStringLiteral("名"), QString());
    record.insert(QStringLiteral("pak_original"), pak);
    if (sig.isUndefined())
        record.remove(QStringLiteral("sig_original"));
    else
        record.insert(QStringLiteral("sig_original"), sig);
    QCOMPARE(SkinWidget::file_names(record), qMakePair(sig_name, pak_name));
}

void TestSkinWidget::installed_state_data()
{
    QTest::addColumn<bool>("with_game_dir");
    QTest::addColumn<QString>("pak");
    QTest::addColumn<QString>("sig");
    QTest::addColumn<QStringList>("files");   // below the game folder; "M/" is the mod folder
    QTest::addColumn<QString>("text");

    QTest::newRow("no game folder: disk not looked at")
        << false << "skin.pak" << "skin.sig" << QStringList{"M/skin.pak"} << INSTALL;
    QTest::newRow("mod folder missing") << true << "skin.pak" << "skin.sig" << QStringList{} << INSTALL;
    QTest::newRow("pak in the mod folder") << true << "skin.pak" << "skin.sig" << QStringList{"M/skin.pak"} << UNINSTALL;
    QTest::newRow("only the sig, nested two deep")
        << true << "skin.pak" << "skin.sig" << QStringList{"M/a/b/skin.sig"} << UNINSTALL;
    QTest::newRow("Skin.pak on disk is not skin.pak")
        << true << "skin.pak" << "skin.sig" << QStringList{"M/Skin.pak", "M/SKIN.SIG"} << INSTALL;
    QTest::newRow("record path with slashes")
        << true << "files/2024/skin_a.pak" << "" << QStringList{"M/skin_a.pak"} << UNINSTALL;
    QTest::newRow("record path with backslashes")
        << true << "files\\2024\\skin_a.pak" << "" << QStringList{"M/x/skin_a.pak"} << UNINSTALL;
    QTest::newRow("empty sig matches nothing")
        << true << "gone.pak" << "" << QStringList{"M/other.sig", "M/sub/other.pak"} << INSTALL;
    QTest::newRow("file beside the mod folder does not count")
        << true << "skin.pak" << "skin.sig" << QStringList{"DreadHunger/Content/Paks/skin.pak"} << INSTALL;
    QTest::newRow("folder named like the pak is no file")
        << true << "skin.pak" << "skin.sig" << QStringList{"M/skin.pak/inner.txt"} << INSTALL;
    QTest::newRow("hidden sub-folder is searched too")
        << true << "skin.pak" << "skin.sig" << QStringList{"M/.old/skin.pak"} << UNINSTALL;
}

void TestSkinWidget::installed_state()
{
    QFETCH(bool, with_game_dir);
    QFETCH(QString, pak);
    QFETCH(QString, sig);
    QFETCH(QStringList, files);
    QFETCH(QString, text);

    const QString mod = mod_folder_path(game_dir);
    for (QString file : files) {
        if (file.startsWith(QStringLiteral("M/")))
            file = mod + file.mid(1);
        else
            file = game_dir + QLatin1Char('/') + file;
        QVERIFY(make_file(file));
    }
    QJsonObject record = skin_record(QStringLiteral("皮"), QString());
    record.insert(QStringLiteral("pak_original"), pak);
    record.insert(QStringLiteral("sig_original"), sig);

    auto card = make_card(m_services, record, with_game_dir ? game_dir : QString());
    QCOMPARE(card->action_button()->text(), text);
    QCOMPARE(card->action_button()->styleSheet(), text == UNINSTALL ? UNINSTALL_BUTTON_STYLE : INSTALL_BUTTON_STYLE);
    QVERIFY(card->action_button()->isEnabled());
    QVERIFY(card->cancel_button()->isHidden());

    // The check looks at the disk again each time it runs.
    QDir(mod).removeRecursively();
    card->check_installation_status();
    QCOMPARE(card->action_button()->text(), INSTALL);
}

void TestSkinWidget::card_picture()
{
    const QJsonObject record = skin_record(QStringLiteral("红色猎人"), QStringLiteral("red.png"));
    put_cover(server, record, encode(solid_image(QSize(800, 600), QColor(220, 0, 0)), "PNG"));
    QVERIFY(make_file(mod_folder_path(game_dir) + QStringLiteral("/红色猎人.pak")));

    auto installed = make_card(m_services, record, game_dir);
    auto fresh = make_card(m_services, skin_record(QStringLiteral("无封面"), QString()));
    for (SkinWidget *card : {installed.get(), fresh.get()}) {
        card->show();
        QVERIFY(QTest::qWaitForWindowExposed(card));
        QCOMPARE(card->size(), QSize(280, 260));
        // Cover on top, the button row centred below it.
        QCOMPARE(card->cover_container()->geometry(), QRect(12, 12, 256, 185));
        QCOMPARE(card->name_label()->geometry(), QRect(0, 137, 256, 48));
        QCOMPARE(card->zoom_button()->geometry(), QRect(220, 8, 32, 32));
        const QRect action = card->action_button()->geometry();
        QCOMPARE(action.height(), 36);
        QVERIFY(action.top() >= 207 && action.bottom() < 248);
        QCOMPARE(action.left() + action.right(), 279);   // centred on the card
    }

    const QImage shot = installed->grab().toImage();
    QVERIFY(close_to(shot.pixelColor(4, 130), Qt::white));            // card background
    QVERIFY(close_to(shot.pixelColor(140, 252), Qt::white));          // below the buttons
    QVERIFY(close_to(shot.pixelColor(40, 60), QColor(220, 0, 0)));    // the cover
    const QPoint button_edge = installed->action_button()->geometry().center() - QPoint(34, 0);
    QVERIFY(close_to(shot.pixelColor(button_edge), QColor(0xFF, 0x44, 0x44))); // red uninstall button
    // The zoom button: white at 92 % over the red cover, a magnifier in its
    // middle (emoji or drawn), not an empty circle.
    QVERIFY(close_to(shot.pixelColor(12 + 222, 12 + 24), QColor(252, 235, 235)));
    int ink = 0;
    for (int y = 12 + 16; y < 12 + 32; ++y) {
        for (int x = 12 + 228; x < 12 + 244; ++x)
            ink += close_to(shot.pixelColor(x, y), QColor(252, 235, 235)) ? 0 : 1;
    }
    QVERIFY2(ink >= 20, qPrintable(QStringLiteral("%1 pixels of the magnifier (font: %2)")
                                       .arg(ink).arg(magnifier_emoji_family())));
    // The name's backdrop darkens the cover's lower edge, fading downwards.
    const QColor top_of_backdrop = shot.pixelColor(20, 12 + 139);
    const QColor bottom_of_backdrop = shot.pixelColor(20, 12 + 181);
    QVERIFY2(top_of_backdrop.red() < 100, qPrintable(top_of_backdrop.name()));
    QVERIFY2(bottom_of_backdrop.red() > 180, qPrintable(bottom_of_backdrop.name()));

    const QImage plain = fresh->grab().toImage();
    QVERIFY(close_to(plain.pixelColor(button_edge), QColor(0x4C, 0xAF, 0x50)));  // green install button
    QVERIFY(close_to(plain.pixelColor(40, 40), QColor(245, 245, 245)));      // placeholder

    // While downloading, the cancel button joins the row.
    emit (&m_services.downloads)->task_started(QStringLiteral("无封面"));
    QTRY_VERIFY(fresh->cancel_button()->isVisible());
    QVERIFY(fresh->cancel_button()->geometry().left() > fresh->action_button()->geometry().right());
    QCOMPARE(fresh->cancel_button()->height(), 36);
    emit (&m_services.downloads)->task_cancelled(QStringLiteral("无封面"));
}

// A name wider than the cover: cut where it says most, whole as the tooltip.
void TestSkinWidget::long_names_data()
{
    QTest::addColumn<bool>("file_pair");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");   // a regular expression for what the card shows

    QTest::newRow("a short name whole, no tooltip") << false << QStringLiteral("红色猎人") << QStringLiteral("^红色猎人$");
    QTest::newRow("a long name keeps its beginning")
        << false << QStringLiteral("极地冰原北境幽灵黄金铁锈风暴荒野深海烈焰霜语孤狼先驱")
        << QStringLiteral("^极地冰原.*…$");
    QTest::newRow("an unknown pair keeps its .pak ending")
        << true << QStringLiteral("MyOwnCustomSkin_v2_final.pak") << QStringLiteral("^MyOwn.*….*\\.pak$");
    QTest::newRow("a short unknown pair whole") << true << QStringLiteral("a.pak") << QStringLiteral("^a\\.pak$");
    QTest::newRow("a name from the server that looks like markup is shown as written")
        << false << QStringLiteral("<b>粗</b><img src=\"x.png\">") << QStringLiteral("^<b>粗</b><img");
}

void TestSkinWidget::long_names()
{
    QFETCH(bool, file_pair);
    QFETCH(QString, name);
    QFETCH(QString, shown);

    QJsonObject record = skin_record(name, QString());
    if (file_pair) {
        record = QJsonObject{{QStringLiteral("name"), name},
                             {QStringLiteral("file_pair"),
                              QJsonObject{{QStringLiteral("folder"), QString()},
                                          {QStringLiteral("pak"), name},
                                          {QStringLiteral("sig"), name.chopped(4) + QStringLiteral(".sig")}}}};
    }
    auto card = make_card(m_services, record);
    QVERIFY(card);
    card->show();
    QVERIFY(QTest::qWaitForWindowExposed(card.get()));
    auto *label = qobject_cast<ElidedLabel *>(card->name_label());
    QVERIFY(label);
    QCOMPARE(label->text(), name);
    QVERIFY2(QRegularExpression(shown).match(label->shown_text()).hasMatch(), qPrintable(label->shown_text()));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->shown_text()) <= label->contentsRect().width());
    // Its whole text is what it would take, as written: no markup read.
    QVERIFY(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(name));

    // The tooltip the pointer would raise.
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
    QCoreApplication::sendEvent(label, &help);
    QCOMPARE(QToolTip::text(), label->is_elided() ? name : QString());
    QToolTip::hideText();
}

void TestSkinWidget::download_feedback_data()
{
    QTest::addColumn<QStringList>("events");      // "signal skin [argument]"
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("cancel_shown");
    QTest::addColumn<QString>("style");           // "install", "uninstall"
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("started") << QStringList{"started K"} << "下载中..." << false << true << "install" << QStringList{};
    QTest::newRow("progress 0 is shown as it comes")
        << QStringList{"started K", "progress K 0"} << "下载中 0%" << false << true << "install" << QStringList{};
    QTest::newRow("completed")
        << QStringList{"started K", "progress K 57", "completed K"} << UNINSTALL << true << false << "uninstall"
        << QStringList{};
    QTest::newRow("failed with an empty error")
        << QStringList{"started K", "failed K"} << INSTALL << true << false << "install"
        << QStringList{"下载失败|皮肤下载失败: ，请检查网络连接后重试|critical"};
    QTest::newRow("failed with a text")
        << QStringList{"started K", "failed K 404 Client Error"} << INSTALL << true << false << "install"
        << QStringList{"下载失败|皮肤下载失败: 404 Client Error，请检查网络连接后重试|critical"};
    QTest::newRow("cancelled") << QStringList{"started K", "cancelled K"} << INSTALL << true << false << "install"
                               << QStringList{};
    QTest::newRow("another skin's signals are ignored")
        << QStringList{"started L", "progress L 50", "failed L x", "completed L"} << INSTALL << true << false
        << "install" << QStringList{};
    QTest::newRow("built during a running download: progress only")
        << QStringList{"progress K 40"} << "下载中 40%" << true << false << "install" << QStringList{};
    QTest::newRow("built during a running download, then completed")
        << QStringList{"progress K 40", "completed K"} << UNINSTALL << true << false << "uninstall" << QStringList{};
}

void TestSkinWidget::download_feedback()
{
    QFETCH(QStringList, events);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(bool, cancel_shown);
    QFETCH(QString, style);
    QFETCH(QStringList, messages);

    auto card = make_card(m_services, skin_record(QStringLiteral("K"), QString()));
    Messages seen;
    seen.watch(card.get());
    DownloadManager *manager = (&m_services.downloads);
    for (const QString &event : events) {
        const QString kind = event.section(QLatin1Char(' '), 0, 0);
        const QString skin = event.section(QLatin1Char(' '), 1, 1);
        const QString rest = event.section(QLatin1Char(' '), 2);
        if (kind == QLatin1String("started"))
            emit manager->task_started(skin);
        else if (kind == QLatin1String("progress"))
            emit manager->progress_updated(skin, rest.toInt());
        else if (kind == QLatin1String("completed"))
            emit manager->task_completed(skin);
        else if (kind == QLatin1String("failed"))
            emit manager->task_failed(skin, rest);
        else if (kind == QLatin1String("cancelled"))
            emit manager->task_cancelled(skin);
    }
    QCOMPARE(card->action_button()->text(), text);
    QCOMPARE(card->action_button()->isEnabled(), enabled);
    QCOMPARE(!card->cancel_button()->isHidden(), cancel_shown);
    QCOMPARE(card->action_button()->styleSheet(),
             style == QLatin1String("uninstall") ? UNINSTALL_BUTTON_STYLE : INSTALL_BUTTON_STYLE);
    QCOMPARE(seen.shown, messages);
}

void TestSkinWidget::cards_of_the_same_skin_follow_together()
{
    auto a = make_card(m_services, skin_record(QStringLiteral("Twin"), QString()));
    auto b = make_card(m_services, skin_record(QStringLiteral("Twin"), QString()));
    emit (&m_services.downloads)->task_started(QStringLiteral("Twin"));
    QVERIFY(!a->action_button()->isEnabled());
    QVERIFY(!b->action_button()->isEnabled());
    emit (&m_services.downloads)->task_completed(QStringLiteral("Twin"));
    QCOMPARE(a->action_button()->text(), UNINSTALL);
    QCOMPARE(b->action_button()->text(), UNINSTALL);
}

void TestSkinWidget::refusals()
{
    auto card = make_card(m_services, skin_record(QStringLiteral("无目录"), QString()));
    Messages seen;
    seen.watch(card.get());
    QTest::mouseClick(card->action_button(), Qt::LeftButton);
    card->cancel_button()->click();
    QCOMPARE(seen.shown, (QStringList{
        QStringLiteral("游戏目录未设置|请先检测游戏目录才能安装皮肤|warning"),
        QStringLiteral("提示|该任务不在下载队列中|info"),
    }));
    QVERIFY(!(&m_services.downloads)->has_active_tasks());
    QCOMPARE(card->action_button()->text(), INSTALL);
}

void TestSkinWidget::install_end_to_end()
{
    const QJsonObject record = skin_record(QStringLiteral("整套"), QString());
    server.write_file(QStringLiteral("skins/角色/猎人/整套.pak"), QByteArray(200000, 'p'));
    server.write_file(QStringLiteral("skins/角色/猎人/整套.sig"), QByteArray("sig"));

    auto card = make_card(m_services, record, game_dir);
    QCOMPARE(card->action_button()->text(), INSTALL);
    bool saw_downloading = false;
    connect((&m_services.downloads), &DownloadManager::task_started, card.get(), [&] {
        saw_downloading = !card->action_button()->isEnabled() && !card->cancel_button()->isHidden();
    });
    QTest::mouseClick(card->action_button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(card->action_button()->text(), UNINSTALL, 20000);
    QVERIFY(saw_downloading);
    QVERIFY(card->action_button()->isEnabled());
    QVERIFY(card->cancel_button()->isHidden());

    // What the install wrote is what the installed check looks for.
    QVERIFY(QFileInfo::exists(mod_folder_path(game_dir) + QStringLiteral("/整套.pak")));
    auto later = make_card(m_services, record, game_dir);
    QCOMPARE(later->action_button()->text(), UNINSTALL);
}

// Removal goes through the mod folder top-down: a folder's own copies go
// before anything in its sub-folders, so the log reads from the top.
void TestSkinWidget::uninstall_walks_top_down()
{
    const QJsonObject record = skin_record(QStringLiteral("层"), QString());
    const QString mod = mod_folder_path(game_dir);
    QStringList folders{QString()};
    for (const char *sub : {"a", "b", "c", "d", "e", "f", "g", "h", "a/x", "a/y", "c/z"})
        folders << QLatin1String(sub);
    for (const QString &folder : folders) {
        const QString base = folder.isEmpty() ? mod : mod + QLatin1Char('/') + folder;
        QVERIFY(make_file(base + QStringLiteral("/层.pak")));
        QVERIFY(make_file(base + QStringLiteral("/层.sig")));
    }
    auto card = make_card(m_services, record, game_dir);
    QCOMPARE(card->action_button()->text(), UNINSTALL);

    ModalAnswerer answerer;
    LogCapture log;
    card->uninstall_skin();
    QTRY_COMPARE(answerer.titles, QStringList{QStringLiteral("卸载成功")});

    QStringList order;   // the folder of each removed file, below the mod folder
    const QString prefix = QStringLiteral("INFO 已删除文件: ") + QDir::toNativeSeparators(mod);
    for (const QString &line : log.texts()) {
        if (!line.startsWith(prefix))
            continue;
        const QString rest = QDir::fromNativeSeparators(line.mid(prefix.size()));
        order << rest.left(rest.lastIndexOf(QLatin1Char('/'))).mid(1);
    }
    QCOMPARE(order.size(), 2 * folders.size());
    // Once the walk has left a folder for its sub-folders, it never comes
    // back to that folder's own files.
    for (int i = 0; i < order.size(); ++i) {
        for (int j = i + 1; j < order.size(); ++j) {
            const bool ancestor = order.at(j).isEmpty()
                ? !order.at(i).isEmpty()
                : order.at(i).startsWith(order.at(j) + QLatin1Char('/'));
            QVERIFY2(!ancestor, qPrintable(order.join(QLatin1Char(' '))));
        }
    }
}

QTEST_MAIN(TestSkinWidget)
#include "tst_skin_widget.moc"
