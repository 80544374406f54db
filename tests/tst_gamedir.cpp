#include "core/install/install_journal.h"
#include "core/install/installed_skins.h"
#include "core/gamedir/game_folder.h"
#include "core/gamedir/key_values.h"
#include "core/gamedir/steam_library.h"
#include "core/gamedir/temp_cleanup.h"
#include "core/platform/process_list.h"
#include "core/platform/wine_paths.h"
#include "core/support/folder_identity.h"

#include "support/fake_game.h"
#include "support/fake_steam.h"
#include "support/hard_link.h"
#include "support/log_capture.h"
#include "support/scratch_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using Table = QList<ProcessInfo>;

void write_file(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray read_all(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets or clears the immutable attribute, which stops even root from
// deleting or creating entries. False where the file system lacks it.
bool set_immutable(const QString &path, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), path}) == 0;
}

// Lifts the immutable attribute again however a test ends.
struct ImmutableGuard {
    QString path;
    ~ImmutableGuard()
    {
        if (!path.isEmpty())
            set_immutable(path, false);
    }
};

// Entries as "key=value" and "key{...}", separated by spaces.
QString dump(const std::vector<gamedir::KeyValue> &entries)
{
    QStringList parts;
    for (const gamedir::KeyValue &entry : entries)
        parts << (entry.is_block ? entry.key + QLatin1Char('{') + dump(entry.children) + QLatin1Char('}')
                                 : entry.key + QLatin1Char('=') + entry.value);
    return parts.join(QLatin1Char(' '));
}

// Points HOME elsewhere while alive.
struct HomeGuard {
    QByteArray previous = qgetenv("HOME");
    explicit HomeGuard(const QString &home) { qputenv("HOME", QFile::encodeName(home)); }
    ~HomeGuard() { qputenv("HOME", previous); }
};

} // namespace

Q_DECLARE_METATYPE(Table)
Q_DECLARE_METATYPE(FolderRules)

class TestGameDir : public QObject {
    Q_OBJECT
private slots:
    void find_game_exe_data();
    void find_game_exe();
    void game_root_from_exe_data();
    void game_root_from_exe();
    void unix_path_from_wine_data();
    void unix_path_from_wine();
    void wine_process_fields();
    void validate_data();
    void validate();
    void validate_overwrites_leftover_probe();
    void cleanup_sweeps_leftovers_only();
    void cleanup_reports_what_it_cannot_remove();
    void cleanup_undoes_interrupted_install_data();
    void cleanup_undoes_interrupted_install();
    void cleanup_without_mod_folder_data();
    void cleanup_without_mod_folder();
    void installed_view_data();
    void installed_view();
    void list_processes_finds_real_game();
    void key_values_data();
    void key_values();
    void steam_libraries_data();
    void steam_libraries();
    void folder_identity_data();
    void folder_identity();
};

void TestGameDir::find_game_exe_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<QString>("expected");

    const QString game = QStringLiteral("DreadHunger-Win64-Shipping.exe");
    QTest::newRow("first of two games wins")
        << Table{{QStringLiteral("explorer.exe"), QStringLiteral("C:/Windows/explorer.exe")},
                 {game, QStringLiteral("D:/A/DreadHunger/Binaries/Win64/") + game},
                 {game, QStringLiteral("E:/B/DreadHunger/Binaries/Win64/") + game}}
        << QStringLiteral("D:/A/DreadHunger/Binaries/Win64/") + game;
    QTest::newRow("name merely containing the game's name counts")
        << Table{{QStringLiteral("x-") + game + QStringLiteral(".bak"), QStringLiteral("/g/x")}}
        << QStringLiteral("/g/x");
    QTest::newRow("other case is not the game")
        << Table{{game.toLower(), QStringLiteral("/g/lower")}} << QString();
    QTest::newRow("nameless process skipped")
        << Table{{QString(), QStringLiteral("/g/noname")}, {game, QStringLiteral("/g/named")}}
        << QStringLiteral("/g/named");
    QTest::newRow("unreadable game process passed over for the next")
        << Table{{game, QString()}, {game, QStringLiteral("/g/readable")}} << QStringLiteral("/g/readable");
    QTest::newRow("only an unreadable game process") << Table{{game, QString()}} << QString();
    QTest::newRow("no game running")
        << Table{{QStringLiteral("steam.exe"), QStringLiteral("C:/Steam/steam.exe")}} << QString();
    QTest::newRow("empty list") << Table{} << QString();
}

void TestGameDir::find_game_exe()
{
    QFETCH(Table, table);
    QFETCH(QString, expected);
    QCOMPARE(gamedir::find_game_exe(table), expected);
}

void TestGameDir::game_root_from_exe_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("root");

    QTest::newRow("Windows path")
        << QStringLiteral("D:\\Games\\DH\\DreadHunger\\Binaries\\Win64\\DreadHunger-Win64-Shipping.exe")
        << QStringLiteral("D:/Games/DH");
    QTest::newRow("Unix path")
        << QStringLiteral("/home/p/games/DH/DreadHunger/Binaries/Win64/DreadHunger-Win64-Shipping.exe")
        << QStringLiteral("/home/p/games/DH");
    QTest::newRow("mixed separators")
        << QStringLiteral("C:/Program Files (x86)\\Steam/steamapps\\common/Dread Hunger\\DreadHunger\\Binaries\\Win64\\x.exe")
        << QStringLiteral("C:/Program Files (x86)/Steam/steamapps/common/Dread Hunger");
    QTest::newRow("network share")
        << QStringLiteral("\\\\server\\share\\DH\\DreadHunger\\Binaries\\Win64\\x.exe")
        << QStringLiteral("//server/share/DH");
    QTest::newRow("game at a drive root keeps the drive's slash")
        << QStringLiteral("D:\\DreadHunger\\Binaries\\Win64\\x.exe") << QStringLiteral("D:/");
    QTest::newRow("game at the Unix root") << QStringLiteral("/DreadHunger/Binaries/Win64/x.exe") << QStringLiteral("/");
    QTest::newRow("too short for the game's layout: no root")
        << QStringLiteral("D:\\Win64\\x.exe") << QString();
    QTest::newRow("bare file name: no root") << QStringLiteral("x.exe") << QString();
    QTest::newRow("empty path: no root") << QString() << QString();
}

void TestGameDir::game_root_from_exe()
{
    QFETCH(QString, exe);
    QFETCH(QString, root);
    QCOMPARE(gamedir::game_root_from_exe(exe), root);
}

void TestGameDir::unix_path_from_wine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("expected"); // {prefix} and {cwd} stand for the test's folders

    const QString tail = QStringLiteral("DreadHunger\\Binaries\\Win64\\DreadHunger-Win64-Shipping.exe");
    const QString unix_tail = QStringLiteral("DreadHunger/Binaries/Win64/DreadHunger-Win64-Shipping.exe");
    QTest::newRow("Z: is the Unix root")
        << QStringLiteral("Z:\\home\\deck\\Games\\DH\\") + tail << QStringLiteral("/home/deck/Games/DH/") + unix_tail;
    QTest::newRow("C: through the prefix's dosdevices")
        << QStringLiteral("C:\\Games\\DH\\") + tail << QStringLiteral("{prefix}/drive_c/Games/DH/") + unix_tail;
    QTest::newRow("another drive through dosdevices")
        << QStringLiteral("d:/Library/") + QString(tail).replace(QLatin1Char('\\'), QLatin1Char('/'))
        << QStringLiteral("{prefix}/library_d/Library/") + unix_tail;
    QTest::newRow("Windows case ignored against the disk")
        << QStringLiteral("C:\\GAMES\\dh\\") + tail.toUpper() << QStringLiteral("{prefix}/drive_c/Games/DH/") + unix_tail;
    QTest::newRow("NT path form") << QStringLiteral("\\\\?\\Z:\\srv\\") + tail << QStringLiteral("/srv/") + unix_tail;
    QTest::newRow("Unix path kept") << QStringLiteral("/opt/DH/") + unix_tail << QStringLiteral("/opt/DH/") + unix_tail;
    QTest::newRow("relative path from the working folder")
        << QStringLiteral("Win64\\DreadHunger-Win64-Shipping.exe")
        << QStringLiteral("{cwd}/Win64/DreadHunger-Win64-Shipping.exe");
    QTest::newRow("drive unknown to the prefix") << QStringLiteral("Q:\\x.exe") << QString();
    QTest::newRow("rooted path without a drive") << QStringLiteral("\\x.exe") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestGameDir::unix_path_from_wine()
{
    QFETCH(QString, program);
    QFETCH(QString, expected);
#ifdef Q_OS_WIN
    QSKIP("maps Wine's paths for the Linux process listing through dosdevices symlinks, which Windows cannot make");
#endif

    // A prefix laid out as Wine does: dosdevices/<letter>: links.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString prefix = QFileInfo(dir.path()).canonicalFilePath();
    QVERIFY(QDir().mkpath(prefix + QStringLiteral("/dosdevices")));
    QVERIFY(QDir().mkpath(prefix + QStringLiteral("/drive_c/Games/DH/DreadHunger/Binaries/Win64")));
    QVERIFY(QDir().mkpath(prefix + QStringLiteral("/library_d")));
    write_file(prefix + QStringLiteral("/drive_c/Games/DH/DreadHunger/Binaries/Win64/DreadHunger-Win64-Shipping.exe"), "MZ");
    QVERIFY(QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:")));
    QVERIFY(QFile::link(prefix + QStringLiteral("/library_d"), prefix + QStringLiteral("/dosdevices/d:")));
    const QString cwd = prefix + QStringLiteral("/drive_c/Games/DH/DreadHunger/Binaries");

    expected.replace(QStringLiteral("{prefix}"), prefix).replace(QStringLiteral("{cwd}"), cwd);
    QCOMPARE(::unix_path_from_wine(program, prefix, cwd), expected);
}

void TestGameDir::wine_process_fields()
{
    // Wine pads the rewritten command line with NULs.
    const QByteArray padded = QByteArray("Z:\\g\\DreadHunger-Win64-Shipping.exe") + QByteArray(20, '\0');
    QCOMPARE(wine_program_path(padded), QStringLiteral("Z:\\g\\DreadHunger-Win64-Shipping.exe"));
    QCOMPARE(wine_program_path(QByteArray("C:\\Program Files\\G\\game.exe -nosteam\0x", 40)),
             QStringLiteral("C:\\Program Files\\G\\game.exe"));
    QCOMPARE(wine_program_path(QByteArray("/usr/bin/wineserver\0-p0\0", 24)), QStringLiteral("/usr/bin/wineserver"));

    QCOMPARE(wine_prefix_from_environ(QByteArray("A=1\0WINEPREFIX=/pfx\0HOME=/home/p\0", 33)), QStringLiteral("/pfx"));
    QCOMPARE(wine_prefix_from_environ(QByteArray("HOME=/home/p\0", 13)), QStringLiteral("/home/p/.wine"));
    QCOMPARE(wine_prefix_from_environ(QByteArray()), QString());

    QVERIFY(is_wine_loader(QStringLiteral("/usr/lib/wine/wine64")));
    QVERIFY(is_wine_loader(QStringLiteral("/steam/Proton 8.0/dist/bin/wine64-preloader")));
    QVERIFY(!is_wine_loader(QStringLiteral("/usr/bin/sleep")));
    QVERIFY(!is_wine_loader(QStringLiteral("/opt/wine/bin/steam")));
}

void TestGameDir::validate_data()
{
    QTest::addColumn<QString>("layout");  // how the root is prepared
    QTest::addColumn<QStringList>("expected"); // "missing" / "unwritable: <reason or *>"
    QTest::addColumn<bool>("mod_folder_made");

    QTest::newRow("complete installation") << "complete" << QStringList{} << true;
    QTest::newRow("missing base package: one entry, mod folder still made")
        << "no-base" << QStringList{QStringLiteral("missing")} << true;
    QTest::newRow("mod folder path taken by a file")
        << "mod-is-file" << QStringList{QStringLiteral("unwritable: *")} << false;
    QTest::newRow("package folder is a file: both checks fail, in order")
        << "paks-is-file" << QStringList{QStringLiteral("missing"), QStringLiteral("unwritable: *")} << false;
    QTest::newRow("probe name taken by a folder")
        << "probe-is-folder" << QStringList{QStringLiteral("unwritable: *")} << true;
    QTest::newRow("root on a read-only file system")
        << "proc" << QStringList{QStringLiteral("missing"), QStringLiteral("unwritable: *")} << false;
    QTest::newRow("immutable mod folder")
        << "immutable" << QStringList{QStringLiteral("unwritable: Operation not permitted")} << true;
}

void TestGameDir::validate()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, expected);
    QFETCH(bool, mod_folder_made);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString root = dir.path() + QStringLiteral("/Dread Hunger");
    const QString paks = root + QStringLiteral("/DreadHunger/Content/Paks");
    const QString mods = paks + QStringLiteral("/orvexs");
    ImmutableGuard guard;

    if (layout != QLatin1String("no-base") && layout != QLatin1String("paks-is-file"))
        write_file(paks + QStringLiteral("/DreadHunger-WindowsNoEditor.pak"), "base");
    if (layout == QLatin1String("mod-is-file"))
        write_file(mods, "not a folder");
    if (layout == QLatin1String("paks-is-file"))
        write_file(paks, "not a folder");
    if (layout == QLatin1String("probe-is-folder"))
        QVERIFY(QDir().mkpath(mods + QStringLiteral("/permission_test.tmp")));
    if (layout == QLatin1String("proc"))
        root = QStringLiteral("/proc/self/Dread Hunger");
    if (layout == QLatin1String("immutable")) {
        QVERIFY(QDir().mkpath(mods));
        if (!set_immutable(mods, true))
            QSKIP("this file system has no immutable attribute");
        guard.path = mods;
    }

    const QStringList problems = gamedir::validate_game_dir(root);

    QCOMPARE(problems.size(), expected.size());
    const QString base = QDir::toNativeSeparators(root + QStringLiteral("/DreadHunger/Content/Paks/DreadHunger-WindowsNoEditor.pak"));
    for (int i = 0; i < expected.size(); ++i) {
        if (expected[i] == QLatin1String("missing")) {
            QCOMPARE(problems[i], QStringLiteral("无效目录: 未找到必需文件 ") + base);
        } else {
            const QString reason = expected[i].mid(QStringLiteral("unwritable: ").size());
            QVERIFY2(problems[i].startsWith(QStringLiteral("目录不可写: ")), qPrintable(problems[i]));
            const QString actual_reason = problems[i].mid(QStringLiteral("目录不可写: ").size());
            QVERIFY2(!actual_reason.isEmpty(), "the reason is missing");
            if (reason != QLatin1String("*"))
                QCOMPARE(actual_reason, reason);
        }
    }
    QCOMPARE(QFileInfo(mods).isDir(), mod_folder_made);
    if (layout != QLatin1String("probe-is-folder"))
        QVERIFY(!QFileInfo(mods + QStringLiteral("/permission_test.tmp")).isFile());
}

void TestGameDir::validate_overwrites_leftover_probe()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeGame game(dir.path() + QStringLiteral("/DH"));
    const QString probe = game.mod_folder() + QStringLiteral("/permission_test.tmp");
    write_file(probe, "left over from a crash, longer than four bytes");
    // A second name for the same file shows what was written into it.
    const QString witness = game.mod_folder() + QStringLiteral("/witness");
    QVERIFY(make_hard_link(probe, witness));

    QCOMPARE(gamedir::validate_game_dir(game.root()), QStringList{});
    QVERIFY(!QFileInfo::exists(probe));
    QCOMPARE(read_all(witness), QByteArray("test"));
}

void TestGameDir::cleanup_sweeps_leftovers_only()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeGame game(dir.path() + QStringLiteral("/DH"));
    const QString mods = game.mod_folder();
    write_file(mods + QStringLiteral("/a.pak.tmp"), "partial download");
    write_file(mods + QStringLiteral("/b.sig"), "");
    write_file(mods + QStringLiteral("/c.pak"), "installed skin");
    write_file(mods + QStringLiteral("/x.TMP"), "not a leftover: the suffix is case-sensitive");
    write_file(mods + QStringLiteral("/sub/d.tmp"), "nested leftover");
    write_file(mods + QStringLiteral("/sub/deeper/e.sig"), "");
    // A link to a folder outside is not followed.
    write_file(dir.path() + QStringLiteral("/outside/f.tmp"), "not ours");
    QVERIFY(QFile::link(dir.path() + QStringLiteral("/outside"), mods + QStringLiteral("/link")));

    LogCapture log;
    gamedir::cleanup_temp_files(game.root());

    for (const char *gone : {"a.pak.tmp", "b.sig", "sub/d.tmp", "sub/deeper/e.sig"}) {
        const QString path = mods + QLatin1Char('/') + QLatin1String(gone);
        QVERIFY2(!QFileInfo::exists(path), gone);
        QVERIFY2(log.texts().contains(QStringLiteral("INFO 已清理无效文件: ") + QDir::toNativeSeparators(path)), gone);
    }
    QCOMPARE(read_all(mods + QStringLiteral("/c.pak")), QByteArray("installed skin"));
    QVERIFY(QFileInfo::exists(mods + QStringLiteral("/x.TMP")));
    QVERIFY(QFileInfo(mods + QStringLiteral("/sub/deeper")).isDir());
    QVERIFY(QFileInfo::exists(dir.path() + QStringLiteral("/outside/f.tmp")));
    QCOMPARE(log.texts().first(), QStringLiteral("INFO 执行定期临时文件清理"));
    // One deletion and one clean-up line per leftover, nothing else.
    QCOMPARE(log.texts().size(), 1 + 4 * 2);
}

void TestGameDir::cleanup_reports_what_it_cannot_remove()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeGame game(dir.path() + QStringLiteral("/DH"));
    const QString mods = game.mod_folder();
    QVERIFY(QDir().mkpath(mods));
    const QString locked = mods + QStringLiteral("/locked.pak.tmp");
    write_file(locked, "held");
    write_file(mods + QStringLiteral("/z.tmp"), "after the failures");
#ifdef Q_OS_WIN
    // Windows refuses to delete a file that another handle holds open.
    QFile held(locked);
    const bool can_lock = held.open(QIODevice::ReadOnly);
#else
    // A link pointing nowhere: its size cannot be read (a Windows link is a
    // shortcut file, which can).
    QVERIFY(QFile::link(mods + QStringLiteral("/nowhere"), mods + QStringLiteral("/broken.pak")));
    ImmutableGuard guard;
    const bool can_lock = set_immutable(locked, true);
    if (can_lock)
        guard.path = locked;
#endif

    LogCapture log;
    gamedir::cleanup_temp_files(game.root());
    const QStringList lines = log.texts();

#ifndef Q_OS_WIN
    QVERIFY(lines.contains(QStringLiteral("ERROR 清理错误: ") + mods + QStringLiteral("/broken.pak - No such file or directory")));
#endif
    if (can_lock) {
        QVERIFY(lines.contains(QStringLiteral("WARNING 清理失败: ") + QDir::toNativeSeparators(locked)));
        QVERIFY(QFileInfo::exists(locked));
    }
    // One bad file does not stop the sweep.
    QVERIFY(!QFileInfo::exists(mods + QStringLiteral("/z.tmp")));
    if (!can_lock)
        QSKIP("no immutable attribute here: the removal failure was not driven");
}

// The mod folder as an install left it when the program ended at one
// instant of its moves (an older pair "a.pak"/"a.sig" being replaced), then
// the next start, the user's uninstall of some files, and the close.
void TestGameDir::cleanup_undoes_interrupted_install_data()
{
    QTest::addColumn<QStringList>("before");   // name=content; the journal by its name
    QTest::addColumn<QString>("locked");       // made immutable first: cannot be removed
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("uninstalled");   // removed between start and close

    const QString journal = QStringLiteral("furlane-install.journal=1\ta.pak\n1\ta.sig\n");
    const QStringList old_pair{QStringLiteral("a.pak=old pak"), QStringLiteral("a.sig=old sig")};
    const QStringList new_pair{QStringLiteral("a.pak=new pak"), QStringLiteral("a.sig=new sig")};
    QTest::newRow("both downloaded, nothing moved")
        << QStringList{journal, "a.pak=old pak", "a.sig=old sig", "a.pak.tmp=new pak", "a.sig.tmp=new sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("old package stepped aside")
        << QStringList{journal, "a.pak.old.tmp=old pak", "a.sig=old sig", "a.pak.tmp=new pak", "a.sig.tmp=new sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("new package beside the old signature")
        << QStringList{journal, "a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig=old sig", "a.sig.tmp=new sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("new package, signature missing")
        << QStringList{journal, "a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig.tmp=new sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("both new in place, journal still there")
        << QStringList{journal, "a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig=new sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("done, backups not yet removed")
        << QStringList{"a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig=new sig"}
        << QString() << new_pair << QStringList();
    QTest::newRow("first install: new package moved, signature not")
        << QStringList{"furlane-install.journal=0\ta.pak\n0\ta.sig\n", "a.pak=new pak", "a.sig.tmp=new sig"}
        << QString() << QStringList() << QStringList();
    // What an older build left: the only copy under its backup name.
    QTest::newRow("no journal, backup is the only copy")
        << QStringList{"a.pak.old.tmp=old pak", "a.sig=old sig"} << QString() << old_pair << QStringList();
    QTest::newRow("the new package cannot go: backups and journal stay")
        << QStringList{journal, "a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig=new sig"}
        << QStringLiteral("a.pak")
        << QStringList{journal, "a.pak=new pak", "a.pak.old.tmp=old pak", "a.sig=old sig"} << QStringList();
    const QString committed = QStringLiteral("furlane-install.journal=1\ta.pak\n1\ta.sig\ncommitted\n");
    QTest::newRow("committed, backups not yet removed")
        << QStringList{committed, "a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig=new sig"}
        << QString() << new_pair << QStringList();
    QTest::newRow("committed, a backup cannot go: it never comes back")
        << QStringList{committed, "a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig=new sig"}
        << QStringLiteral("a.pak.old.tmp") << QStringList{committed, "a.pak.old.tmp=old pak"}
        << QStringList{"a.pak", "a.sig"};
    // Without a journal the pair is judged whole.
    QTest::newRow("no journal, new package beside both backups")
        << QStringList{"a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("no journal, new package, new signature not moved in")
        << QStringList{"a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig=old sig", "a.sig.tmp=new sig"}
        << QString() << old_pair << QStringList();
    QTest::newRow("no journal, done, then uninstalled")
        << QStringList{"a.pak.old.tmp=old pak", "a.pak=new pak", "a.sig.old.tmp=old sig", "a.sig=new sig"}
        << QString() << QStringList() << QStringList{"a.pak", "a.sig"};
}

void TestGameDir::cleanup_undoes_interrupted_install()
{
    QFETCH(QStringList, before);
    QFETCH(QString, locked);
    QFETCH(QStringList, after);
    QFETCH(QStringList, uninstalled);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeGame game(dir.path() + QStringLiteral("/DH"));
    const QString mods = game.mod_folder();
    for (const QString &entry : before)
        write_file(mods + QLatin1Char('/') + entry.section(QLatin1Char('='), 0, 0),
                   entry.section(QLatin1Char('='), 1).toUtf8());
    ImmutableGuard guard;
    if (!locked.isEmpty()) {
        if (!set_immutable(mods + QLatin1Char('/') + locked, true))
            QSKIP("no immutable attribute here: the failed restore was not driven");
        guard.path = mods + QLatin1Char('/') + locked;
    }

    install_journal::recover(mods);
    for (const QString &name : uninstalled)
        QVERIFY(QFile::remove(mods + QLatin1Char('/') + name));
    gamedir::cleanup_temp_files(game.root());

    QStringList found;
    for (const QString &name : QDir(mods).entryList(QDir::Files, QDir::Name))
        found << name + QLatin1Char('=') + QString::fromUtf8(read_all(mods + QLatin1Char('/') + name));
    QStringList expected = after;
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(found, expected);
}

void TestGameDir::cleanup_without_mod_folder_data()
{
    QTest::addColumn<QString>("game_dir");
    QTest::newRow("no game folder set") << QString();
    QTest::newRow("game folder without mod folder") << QStringLiteral("{tmp}");
    QTest::newRow("game folder gone") << QStringLiteral("{tmp}/gone");
}

void TestGameDir::cleanup_without_mod_folder()
{
    QFETCH(QString, game_dir);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    game_dir.replace(QStringLiteral("{tmp}"), dir.path());

    LogCapture log;
    gamedir::cleanup_temp_files(game_dir);
    QCOMPARE(log.texts(), QStringList{QStringLiteral("INFO 执行定期临时文件清理")});
    QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/DreadHunger")));
}

// The catalogue the installed view is checked against: "A" ranks below "B"
// below "C" in the category lists, "Q" is named only by its sig file, and "W"
// lacks its main category, so it is no card.
static QJsonArray installed_view_catalogue()
{
    QJsonArray catalogue;
    const auto add = [&catalogue](const char *name, const char *pak, const char *sig, int rank, bool complete) {
        QJsonObject record{{"name", name}, {"MainCategory", "主"}, {"subcategory", "副"},
                           {"pak_original", pak}, {"sig_original", sig},
                           {"MainCategory_ranking_id", rank}, {"skin_id", rank}};
        if (!complete)
            record.remove(QStringLiteral("MainCategory"));
        catalogue.append(record);
    };
    add("A", "files/a.pak", "files/a.sig", 1, true);
    add("B", "b.pak", "b.sig", 2, true);
    add("C", "c.pak", "c.sig", 3, true);
    add("Q", "q-other.pak", "q.sig", 0, true);
    add("W", "w.pak", "w.sig", 9, false);
    return catalogue;
}

// What the installed view lists for a mod folder: the catalogue's installed
// skins in list order, then each .pak/.sig pair no record names.
void TestGameDir::installed_view_data()
{
    QTest::addColumn<bool>("game_set");
    QTest::addColumn<QStringList>("files");        // below the mod folder
    QTest::addColumn<QStringList>("uninstalled");  // skins whose files are removed before the scan
    QTest::addColumn<QStringList>("skins");        // installed records' names, in order
    QTest::addColumn<QStringList>("pairs");        // "folder/pak+sig", folder relative to the mod folder

    QTest::newRow("none") << true << QStringList{} << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("no game folder: the disk is not looked at")
        << false << QStringList{"a.pak", "a.sig", "x.pak", "x.sig"} << QStringList{} << QStringList{}
        << QStringList{};
    QTest::newRow("some, in the lists' order")
        << true << QStringList{"a.pak", "a.sig", "deep/er/c.pak", "deep/er/c.sig", "notes.txt"} << QStringList{}
        << QStringList{"C", "A"} << QStringList{};
    QTest::newRow("unknown pairs, top-down")
        << true << QStringList{"sub/y.PAK", "sub/y.SIG", "x.pak", "x.sig", "b.pak", "b.sig"} << QStringList{}
        << QStringList{"B"} << QStringList{"/x.pak+x.sig", "/sub/y.PAK+y.SIG"};
    QTest::newRow("half pair of a known skin counts as installed")
        << true << QStringList{"c.sig", "a.pak"} << QStringList{} << QStringList{"C", "A"} << QStringList{};
    QTest::newRow("unknown half pair is not listed")
        << true << QStringList{"z.pak", "v.sig", "t.pak", "sub/t.sig"} << QStringList{} << QStringList{}
        << QStringList{};
    QTest::newRow("a pair one of whose files a record names is that skin")
        << true << QStringList{"q.pak", "q.sig"} << QStringList{} << QStringList{"Q"} << QStringList{};
    QTest::newRow("names differing in case are other files")
        << true << QStringList{"A.pak", "A.sig"} << QStringList{} << QStringList{} << QStringList{"/A.pak+A.sig"};
    QTest::newRow("a record that makes no card names nothing")
        << true << QStringList{"w.pak", "w.sig"} << QStringList{} << QStringList{} << QStringList{"/w.pak+w.sig"};
    QTest::newRow("download leftovers are no pair")
        << true << QStringList{"x.pak.tmp", "x.sig.tmp", "b.pak.old.tmp", "b.sig.old.tmp"} << QStringList{}
        << QStringList{} << QStringList{};
    QTest::newRow("after uninstall, every copy gone")
        << true << QStringList{"a.pak", "a.sig", "old/a.pak", "c.pak", "c.sig", "x.pak", "x.sig"}
        << QStringList{"A"} << QStringList{"C"} << QStringList{"/x.pak+x.sig"};
}

void TestGameDir::installed_view()
{
    QFETCH(bool, game_set);
    QFETCH(QStringList, files);
    QFETCH(QStringList, uninstalled);
    QFETCH(QStringList, skins);
    QFETCH(QStringList, pairs);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeGame game(dir.path() + QStringLiteral("/DH"));
    const QString mods = game.mod_folder();
    for (const QString &file : files)
        write_file(mods + QLatin1Char('/') + file, "skin");
    const QJsonArray catalogue = installed_view_catalogue();
    const QString game_dir = game_set ? game.root() : QString();

    // Uninstalling removes what the card's own listing names.
    for (const QJsonValue &record : catalogue) {
        if (!uninstalled.contains(record[QStringLiteral("name")].toString()))
            continue;
        const QStringList paths = ModFiles::of_game(game_dir).paths_of(skin_file_names(record.toObject()));
        QVERIFY(!paths.isEmpty());
        for (const QString &path : paths)
            QVERIFY(QFile::remove(path));
    }

    const InstalledSkins installed = scan_installed_skins(game_dir, catalogue);
    QStringList found_skins;
    for (const QJsonValue &record : installed.records)
        found_skins << record[QStringLiteral("name")].toString();
    QStringList found_pairs;
    for (const SkinFilePair &pair : installed.unknown)
        found_pairs << pair.folder.mid(mods.size()) + QLatin1Char('/') + pair.pak + QLatin1Char('+') + pair.sig;
    QCOMPARE(found_skins, skins);
    QCOMPARE(found_pairs, pairs);
    QCOMPARE(installed.count(), skins.size() + pairs.size());
}

void TestGameDir::list_processes_finds_real_game()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeGame game(dir.path() + QStringLiteral("/Dread Hunger"));
    QVERIFY(game.start(FakeGame::idle_program(), {QStringLiteral("600")}));

    const ProcessListing listing = list_processes();
    QVERIFY(listing.ok);
    bool found_game = false;
    bool found_self = false;
    for (const ProcessInfo &process : listing.processes) {
        QVERIFY(!process.name.isEmpty());
        QVERIFY(!process.exe_path.isEmpty());
        // The whole file name, not the kernel's 15-character comm.
        if (process.exe_path == game.exe_path())
            found_game = process.name == FakeGame::exe_name();
        if (process.exe_path == QCoreApplication::applicationFilePath())
            found_self = process.name == QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    }
    QVERIFY(found_game);
    QVERIFY(found_self);
    QCOMPARE(gamedir::game_root_from_exe(gamedir::find_game_exe(listing.processes)), game.root());
}

void TestGameDir::key_values_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("read");

    QTest::newRow("library list with CRLF")
        << QByteArray("\"libraryfolders\"\r\n{\r\n\t\"0\"\r\n\t{\r\n\t\t\"path\"\t\t\"C:\\\\Steam\"\r\n\t}\r\n}\r\n")
        << QStringLiteral("libraryfolders{0{path=C:\\Steam}}");
    QTest::newRow("comments and unknown keys")
        << QByteArray("// written by Steam\n\"a\" \"1\" // the rest of the line\n\"b\" { \"x\" \"y\" }\n")
        << QStringLiteral("a=1 b{x=y}");
    QTest::newRow("comment at the end without a newline") << QByteArray("\"a\" \"1\" // end") << QStringLiteral("a=1");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("only white space") << QByteArray(" \r\n\t \r\n") << QString();
    QTest::newRow("cut inside a quoted value") << QByteArray("\"a\" \"1\" \"b\" \"unfini") << QStringLiteral("a=1");
    QTest::newRow("cut inside blocks: what was read stays")
        << QByteArray("\"root\" { \"a\" \"1\" \"b\" { \"c\" \"2\"") << QStringLiteral("root{a=1 b{c=2}}");
    QTest::newRow("cut after a key") << QByteArray("\"a\" \"1\" \"b\"") << QStringLiteral("a=1");
    QTest::newRow("cut inside a bare word") << QByteArray("a 1 b tw") << QStringLiteral("a=1");
    QTest::newRow("bare words") << QByteArray("root { key value }\n") << QStringLiteral("root{key=value}");
    QTest::newRow("stray closing braces at the top")
        << QByteArray("} \"a\" \"1\" }\n") << QStringLiteral("a=1");
    QTest::newRow("key without a value before the block ends")
        << QByteArray("\"r\" { \"a\" \"1\" \"b\" } \"c\" \"3\"\n") << QStringLiteral("r{a=1} c=3");
    QTest::newRow("block without a key passed over")
        << QByteArray("{ \"x\" \"y\" } \"a\" \"1\"\n") << QStringLiteral("a=1");
    QTest::newRow("escapes") << QByteArray("\"a\" \"say \\\"hi\\\" C:\\\\x \\q\"\n")
                             << QStringLiteral("a=say \"hi\" C:\\x \\q");
    QTest::newRow("backslash at the very end") << QByteArray("\"a\" \"1\\") << QString();
    QTest::newRow("conditions passed over")
        << QByteArray("\"a\" \"1\" [$WIN32]\n\"b\" \"2\" [!$OSX]\n") << QStringLiteral("a=1 b=2");
    QTest::newRow("unclosed condition") << QByteArray("\"a\" \"1\" [$WIN") << QStringLiteral("a=1");
    QTest::newRow("NUL bytes and bytes that are not UTF-8")
        << QByteArray("\"a\"\0\"1\" \"b\" \"\xff\"\n", 16) << QStringLiteral("a=1 b=\uFFFD");
    QTest::newRow("a hundred thousand open blocks")
        << QByteArray("\"k\" {").repeated(100000)
        << QStringLiteral("k{").repeated(31) + QStringLiteral("}").repeated(31);
    QTest::newRow("a hundred thousand keyless braces") << QByteArray("{").repeated(100000) << QString();
}

void TestGameDir::key_values()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, read);
    QCOMPARE(dump(gamedir::parse_key_values(text)), read);
}

// Steam trees below a HOME of their own; on Windows the registry names the
// Steam folder instead.
void TestGameDir::steam_libraries_data()
{
    QTest::addColumn<QString>("place");        // the Steam folder below HOME; empty: no Steam
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("found");    // {steam} = the Steam folder, {home} = HOME
    QTest::addColumn<int>("rejected");

    const QString local = QStringLiteral(".local/share/Steam");
    const QString in_steam = QStringLiteral("{steam}/steamapps/common/Dread Hunger");
    const QString in_second = QStringLiteral("{home}/Lib2/steamapps/common/Dread Hunger");
    QTest::newRow("no Steam") << QString() << "none" << QStringList{} << 0;
    QTest::newRow("Steam without the game") << local << "other-game" << QStringList{} << 0;
    QTest::newRow("one library") << local << "one" << QStringList{in_steam} << 0;
    QTest::newRow("the game in the second library") << local << "second" << QStringList{in_second} << 0;
    QTest::newRow("two libraries both hold the game") << local << "both" << QStringList{in_steam, in_second} << 0;
    QTest::newRow("manifest whose folder is missing: nothing made") << local << "folder-missing" << QStringList{} << 0;
    QTest::newRow("folder without the base package: nothing written")
        << local << "no-base" << QStringList{} << 1;
    QTest::newRow("malformed library list: the Steam folder's own library still read")
        << local << "malformed" << QStringList{in_steam} << 0;
    QTest::newRow("library list cut short: the libraries before the cut read")
        << local << "cut" << QStringList{in_second} << 0;
    QTest::newRow("library list of older Steam") << local << "old-format" << QStringList{in_second} << 0;
    QTest::newRow("install folder leading out of the library") << local << "escape" << QStringList{} << 0;
    QTest::newRow("Flatpak's Steam") << QStringLiteral(".var/app/com.valvesoftware.Steam/.local/share/Steam") << "one"
                                    << QStringList{in_steam} << 0;
    QTest::newRow("~/.steam/steam links to the Steam folder: the game once")
        << local << "linked" << QStringList{in_steam} << 0;
    QTest::newRow("the machine's install path when the user has none") << QStringLiteral("Steam") << "machine"
                                                                       << QStringList{in_steam} << 0;
    QTest::newRow("Steam's own library spelt as Steam writes it: the game once")
        << local << "steam-spelling" << QStringList{in_steam} << 0;
    QTest::newRow("Steam's own library and a second one, spelt as Steam writes them")
        << local << "steam-spelling-both" << QStringList{in_steam, in_second} << 0;
}

void TestGameDir::steam_libraries()
{
    QFETCH(QString, place);
    QFETCH(QString, layout);
    QFETCH(QStringList, found);
    QFETCH(int, rejected);
#ifdef Q_OS_WIN
    if (layout == QLatin1String("linked") || place.startsWith(QLatin1String(".var")))
        QSKIP("a place of Steam on Linux");
    QSettings store(QStringLiteral("HKEY_CURRENT_USER\\Software\\Valve\\Steam"), QSettings::NativeFormat);
    REQUIRE_SCRATCH_SETTINGS(store);
    store.remove(QStringLiteral("SteamPath"));
    store.sync();
#else
    if (layout == QLatin1String("machine"))
        QSKIP("the registry of Windows");
#endif

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString home = QFileInfo(dir.path()).canonicalFilePath();
    HomeGuard home_guard(home);
    std::unique_ptr<FakeSteam> steam;
    if (!place.isEmpty()) {
        steam.reset(new FakeSteam(home, place, layout == QLatin1String("machine") ? FakeSteam::Registry::machine
                                                                                 : FakeSteam::Registry::user));
        QVERIFY2(steam->error().isEmpty(), qPrintable(steam->error()));
    }
    const QString root = steam ? steam->root() : QString();
    const QString second = home + QStringLiteral("/Lib2");
    const QString third = home + QStringLiteral("/Lib3");

    if (layout == QLatin1String("other-game"))
        FakeSteam::add_game(root, QStringLiteral("Other"), true, QStringLiteral("Other Game"));
    const bool steam_spelling = layout.startsWith(QLatin1String("steam-spelling"));
    if (layout == QLatin1String("one") || layout == QLatin1String("malformed") || layout == QLatin1String("linked")
        || layout == QLatin1String("machine") || layout == QLatin1String("both") || steam_spelling)
        FakeSteam::add_game(root, QStringLiteral("Dread Hunger"));
    if (steam_spelling) {
        // Steam keeps SteamPath in lower case with '/' and lists its own
        // folder in the library list with '\\'; on Linux the list names it
        // with a doubled and a trailing separator.
        QStringList listed{root};
        if (layout == QLatin1String("steam-spelling-both")) {
            FakeSteam::add_game(second, QStringLiteral("Dread Hunger"));
            listed << second;
        }
#ifdef Q_OS_WIN
        steam->spell_in_registry(root.toLower());
        for (QString &library : listed)
            library = QDir::toNativeSeparators(library).toUpper();
#else
        for (QString &library : listed)
            library.replace(home, home + QStringLiteral("//")).append(QLatin1Char('/'));
#endif
        steam->write_library_list(FakeSteam::library_list(listed));
    }
    if (layout == QLatin1String("second") || layout == QLatin1String("both") || layout == QLatin1String("cut")
        || layout == QLatin1String("old-format")) {
        FakeSteam::add_game(second, QStringLiteral("Dread Hunger"));
        steam->write_library_list(FakeSteam::library_list({root, second}));
    }
    if (layout == QLatin1String("folder-missing")) {
        FakeSteam::add_game(root, QStringLiteral("Dread Hunger"));
        QVERIFY(QDir(root + QStringLiteral("/steamapps/common/Dread Hunger")).removeRecursively());
    }
    if (layout == QLatin1String("no-base"))
        FakeSteam::add_game(root, QStringLiteral("Dread Hunger"), false);
    if (layout == QLatin1String("malformed")) {
        FakeSteam::add_game(second, QStringLiteral("Dread Hunger"));
        steam->write_library_list("\"libraryfolders\" { } } { \"0\" \"path\" \"" + FakeSteam::escaped(second) + "\" {{");
    }
    if (layout == QLatin1String("cut")) {
        FakeSteam::add_game(third, QStringLiteral("Dread Hunger"));
        const QByteArray list = FakeSteam::library_list({root, second, third});
        steam->write_library_list(list.left(list.indexOf(FakeSteam::escaped(third)) + 5));
    }
    if (layout == QLatin1String("old-format"))
        steam->write_library_list("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n"
                                  "\t\"ContentStatsID\"\t\t\"-4\"\n\t\"1\"\t\t\""
                                  + FakeSteam::escaped(second) + "\"\n}\n");
    if (layout == QLatin1String("escape"))
        FakeSteam::add_game(root, QStringLiteral("../../../Outside"));
    if (layout == QLatin1String("linked")) {
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.steam")));
        QVERIFY(QFile::link(root, home + QStringLiteral("/.steam/steam")));
    }

    const gamedir::SteamSearch search = gamedir::search_steam(gamedir::steam_roots());

    QStringList expected;
    for (QString folder : found)
        expected << QFileInfo(folder.replace(QStringLiteral("{steam}"), root).replace(QStringLiteral("{home}"), home))
                        .canonicalFilePath();
    // Found under whichever spelling came first: the same folders, in order.
    QStringList found_keys;
    QStringList expected_keys;
    for (const QString &folder : search.found)
        found_keys << ::folder_identity(folder);
    for (const QString &folder : expected)
        expected_keys << ::folder_identity(folder);
    QCOMPARE(found_keys, expected_keys);
    QCOMPARE(search.rejected.size(), rejected);
    if (rejected > 0)
        QVERIFY(search.rejected.first().problems.first().startsWith(QStringLiteral("无效目录: 未找到必需文件 ")));
    // The checks wrote only into the game folders they passed.
    QStringList mod_folders;
    QDirIterator walk(home, {QStringLiteral("orvexs")}, QDir::Dirs | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext())
        mod_folders << QFileInfo(walk.next()).canonicalFilePath();
    QStringList expected_mods;
    for (const QString &folder : expected)
        expected_mods << ::folder_identity(folder + QStringLiteral("/DreadHunger/Content/Paks/orvexs"));
    for (QString &folder : mod_folders)
        folder = ::folder_identity(folder);
    mod_folders.sort();
    expected_mods.sort();
    QCOMPARE(mod_folders, expected_mods);
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/steamapps/common/Dread Hunger/DreadHunger/Content/Paks/permission_test.tmp")));
}

// Two spellings of a folder, under each platform's rules. {tmp} is a
// temporary folder holding "game" (and, where links exist, "link" to it).
void TestGameDir::folder_identity_data()
{
    QTest::addColumn<FolderRules>("rules");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");

    const FolderRules win = FolderRules::Windows;
    QTest::newRow("Windows: SteamPath beside the library list")
        << win << QStringLiteral("c:/program files (x86)/steam") << QStringLiteral("C:\\Program Files (x86)\\Steam") << true;
    QTest::newRow("Windows: trailing separator")
        << win << QStringLiteral("D:\\Games\\DH\\") << QStringLiteral("D:\\Games\\DH") << true;
    QTest::newRow("Windows: mixed and doubled separators")
        << win << QStringLiteral("D:\\Games/DH") << QStringLiteral("d://games\\\\dh/") << true;
    QTest::newRow("Windows: case beyond ASCII")
        << win << QStringLiteral("D:/Spiele/ÜBERSICHT") << QStringLiteral("d:/spiele/übersicht") << true;
    QTest::newRow("Windows: steps through a parent")
        << win << QStringLiteral("D:/Games/x/../DH") << QStringLiteral("D:/Games/DH") << true;
    QTest::newRow("Windows: drive root in both spellings")
        << win << QStringLiteral("C:\\") << QStringLiteral("c:/") << true;
    QTest::newRow("Windows: the drive root is not a folder on it")
        << win << QStringLiteral("C:\\") << QStringLiteral("C:\\Steam") << false;
    QTest::newRow("Windows: another drive") << win << QStringLiteral("C:/Games/DH") << QStringLiteral("D:/Games/DH") << false;
    QTest::newRow("Windows: a longer name") << win << QStringLiteral("C:/Games/DH") << QStringLiteral("C:/Games/DH2") << false;
    QTest::newRow("Windows: network share")
        << win << QStringLiteral("\\\\server\\share\\DH\\") << QStringLiteral("//SERVER/share/dh") << true;
    QTest::newRow("Windows: nothing is no folder") << win << QString() << QString() << false;

    const FolderRules posix = FolderRules::Posix;
    QTest::newRow("Posix: trailing separator") << posix << QStringLiteral("{tmp}/game/") << QStringLiteral("{tmp}/game") << true;
    QTest::newRow("Posix: doubled separator and a step through a parent")
        << posix << QStringLiteral("{tmp}//x/../game") << QStringLiteral("{tmp}/game") << true;
    QTest::newRow("Posix: case counts") << posix << QStringLiteral("{tmp}/Game") << QStringLiteral("{tmp}/game") << false;
    QTest::newRow("Posix: a missing folder with a trailing separator")
        << posix << QStringLiteral("{tmp}/gone/") << QStringLiteral("{tmp}/gone") << true;
#ifndef Q_OS_WIN
    QTest::newRow("Posix: the root") << posix << QStringLiteral("/") << QStringLiteral("//") << true;
    QTest::newRow("Posix: a link to the folder") << posix << QStringLiteral("{tmp}/link") << QStringLiteral("{tmp}/game") << true;
    QTest::newRow("Posix: a backslash is part of a name")
        << posix << QStringLiteral("{tmp}\\game") << QStringLiteral("{tmp}/game") << false;
#endif
}

void TestGameDir::folder_identity()
{
    QFETCH(FolderRules, rules);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("game"))));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("game")), dir.filePath(QStringLiteral("link"))));
#endif
    a.replace(QStringLiteral("{tmp}"), dir.path());
    b.replace(QStringLiteral("{tmp}"), dir.path());
    QCOMPARE(same_folder(a, b, rules), same);
    QCOMPARE(same_folder(b, a, rules), same);
    QCOMPARE(::folder_identity(a, rules) == ::folder_identity(b, rules), same || a.isEmpty());
}

QTEST_GUILESS_MAIN(TestGameDir)
#include "tst_gamedir.moc"
