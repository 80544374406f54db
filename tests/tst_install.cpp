#include "core/download/update_answer.h"
#include "core/download/update_check.h"
#include "core/install/install_states.h"
#include "core/install/install_store.h"
#include "core/install/install_check.h"
#include "core/install/installed_scan.h"
#include "core/install/installed_skins.h"
#include "core/install/skin_state.h"
#include "core/install/skin_files.h"
#include "support/download_fixtures.h"
#include "support/log_capture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonObject catalogue_skin(const QString &name)
{
    return download_fixtures::make_task(name, QString(), QStringLiteral("Hunters"), QStringLiteral("Navy")).skin_data;
}

bool write_bytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray read_bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A store entry for skin `id` in `mod_folder` whose package has `size` and
// `path`, as JSON text so a row can put in what no writer of ours would.
QByteArray entry(const QString &id, const QString &mod_folder, const QByteArray &size = "30000",
                 const QString &path = QString())
{
    const QString pak = path.isEmpty() ? id + QStringLiteral(".pak") : path;
    QJsonObject sig{{"path", id + ".sig"}, {"url", "u"}, {"size", 3}, {"sha256", "ab"}};
    return "{\"skin_id\": \"" + id.toUtf8() + "\", \"name\": \"" + id.toUtf8() + "\", \"mod_folder\": \""
        + mod_folder.toUtf8() + "\", \"revision_known\": true, \"files\": [{\"path\": "
        + QJsonDocument(QJsonArray{pak}).toJson(QJsonDocument::Compact).mid(1).chopped(1)
        + ", \"url\": \"u\", \"size\": " + size + ", \"sha256\": \"cd\"}, "
        + QJsonDocument(sig).toJson(QJsonDocument::Compact) + "]}";
}

QByteArray store_of(const QList<QByteArray> &entries)
{
    QByteArray joined;
    for (const QByteArray &one : entries)
        joined += (joined.isEmpty() ? "" : ", ") + one;
    return "{\"version\": 1, \"skins\": [" + joined + "]}";
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    // A store read back after a hand, a crash or an older build left it
    // damaged: what is good stays, what is not is skipped, and the file as
    // it was is kept aside before the first write replaces it.
    void damaged_store_keeps_what_is_good_data()
    {
        QTest::addColumn<QByteArray>("bad_entry");   // put beside a good record of "A"; "-" for a file that is no store
        QTest::addColumn<QStringList>("kept");       // the skins with a record after the load
        QTest::addColumn<qint64>("size_of_b");       // B's package size when B is kept
        QTest::addColumn<bool>("aside");             // installed_skins.json.bad after the first write

        const QString mod = QStringLiteral("/games/DH/DreadHunger/Content/Paks/orvexs");
        QTest::newRow("whole store: nothing set aside") << entry("B", mod) << QStringList{"A", "B"} << qint64(30000) << false;
        QTest::newRow("one size a string: only that entry goes")
            << entry("B", mod, "\"big\"") << QStringList{"A"} << qint64(-1) << true;
        QTest::newRow("size 1e300: unknown, never undefined")
            << entry("B", mod, "1e300") << QStringList{"A", "B"} << qint64(-1) << false;
        QTest::newRow("size -5: unknown") << entry("B", mod, "-5") << QStringList{"A", "B"} << qint64(-1) << false;
        QTest::newRow("size 2.5: unknown") << entry("B", mod, "2.5") << QStringList{"A", "B"} << qint64(-1) << false;
        QTest::newRow("path leading out with ..")
            << entry("B", mod, "1", "../../../../Windows/B.pak") << QStringList{"A"} << qint64(-1) << true;
        QTest::newRow("path leading out with Windows separators")
            << entry("B", mod, "1", "..\\..\\B.pak") << QStringList{"A"} << qint64(-1) << true;
        QTest::newRow("absolute path") << entry("B", mod, "1", "/etc/B.pak") << QStringList{"A"} << qint64(-1) << true;
        QTest::newRow("path on a drive") << entry("B", mod, "1", "C:/B.pak") << QStringList{"A"} << qint64(-1) << true;
        QTest::newRow("a name starting with two dots stays")
            << entry("B", mod, "1", "..B.pak") << QStringList{"A", "B"} << qint64(1) << false;
        QTest::newRow("no files at all") << QByteArray("{\"skin_id\": \"B\", \"mod_folder\": \"/m\"}") << QStringList{"A"}
                                         << qint64(-1) << true;
        QTest::newRow("not an object") << QByteArray("17") << QStringList{"A"} << qint64(-1) << true;
        QTest::newRow("no store at all: rebuilt, the old file set aside")
            << QByteArray("-") << QStringList{} << qint64(-1) << true;
    }

    void damaged_store_keeps_what_is_good()
    {
        QFETCH(QByteArray, bad_entry);
        QFETCH(QStringList, kept);
        QFETCH(qint64, size_of_b);
        QFETCH(bool, aside);

        QTemporaryDir data;
        const QString path = data.filePath(QStringLiteral("installed_skins.json"));
        const QString mod = QStringLiteral("/games/DH/DreadHunger/Content/Paks/orvexs");
        const QByteArray text = bad_entry == "-" ? QByteArray("{\"skins\": [{\"skin_id\": 3")
                                                 : store_of({entry("A", mod), bad_entry});
        QVERIFY(write_bytes(path, text));

        LogCapture log;
        InstallStore store(path);
        store.load();
        QStringList found;
        for (const InstallRecord &record : store.records_in(mod))
            found << record.skin_id;
        QCOMPARE(found, kept);
        if (kept.contains(QStringLiteral("B")))
            QCOMPARE(store.find(QStringLiteral("B"))->files.at(0).size, size_of_b);
        if (aside)
            QVERIFY2(!log.texts().filter(QStringLiteral("安装记录")).isEmpty(), "the skipped entry is logged");

        // The first write keeps the unreadable file aside; what was read stays.
        store.remove(QStringLiteral("nothing"));
        store.put(InstallRecord{QStringLiteral("C"), QStringLiteral("C"), mod, {InstalledFile{"C.pak"}}, {}, true});
        QCOMPARE(QFileInfo::exists(store.aside_path()), aside);
        QCOMPARE(store.aside_path(), path + QStringLiteral(".bad"));
        if (aside)
            QCOMPARE(read_bytes(store.aside_path()), text);
        InstallStore reread(path);
        reread.load();
        QCOMPARE(reread.records_in(mod).size(), kept.size() + 1);
        // Only the damaged file is set aside, once.
        reread.put(InstallRecord{QStringLiteral("D"), QStringLiteral("D"), mod, {InstalledFile{"D.pak"}}, {}, true});
        if (aside)
            QCOMPARE(read_bytes(store.aside_path()), text);
    }

    // A check's result names the record it checked: once the skin was
    // installed again meanwhile (an update, a repair) it is dropped, so a
    // whole, fresh install never shows "文件损坏" or "更新" from an answer
    // about the pair it replaced.
    void answers_about_an_older_state_data()
    {
        QTest::addColumn<QString>("answer");      // "damage", "hashes", "changed etag", "changed date", "changed size", "learned"
        QTest::addColumn<bool>("reinstalled");    // the skin was installed again while the answer was out
        for (const char *answer : {"damage", "hashes", "changed etag", "changed date", "changed size", "learned"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 about the record in place: taken").arg(answer))) << answer << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 after a reinstall: dropped").arg(answer))) << answer << true;
        }
    }

    void answers_about_an_older_state()
    {
        QFETCH(QString, answer);
        QFETCH(bool, reinstalled);
        QTemporaryDir data;
        InstallStore store(data.filePath(QStringLiteral("installed_skins.json")));
        store.load();
        const QString mod = data.filePath(QStringLiteral("orvexs"));
        const QDateTime then = QDateTime::currentDateTimeUtc().addSecs(-60);
        InstallRecord asked{QStringLiteral("A"), QStringLiteral("A"), mod,
                            {InstalledFile{"A.pak", "u", 100, "", "\"v1\"", "Tue, 08 Dec 2026 10:00:00 GMT", then},
                             InstalledFile{"A.sig", "u", 3, "", "", "", then}},
                            then, answer != QLatin1String("learned")};
        store.put(asked);
        if (reinstalled) {
            // The update's own record: the server's new build, other validators.
            InstallRecord fresh = asked;
            fresh.installed_at = then.addSecs(30);
            fresh.files[0] = InstalledFile{"A.pak", "u", 200, "ff", "\"v2\"", "Wed, 09 Dec 2026 10:00:00 GMT", then.addSecs(30)};
            fresh.files[1].modified = then.addSecs(30);
            store.put(fresh);
        }
        const InstallRecord before = *store.find(QStringLiteral("A"));

        PackageCheck check;
        check.skin_id = QStringLiteral("A");
        check.record = asked;
        check.verdict = PackageVerdict::Changed;
        if (answer == QLatin1String("damage")) {
            store.take_damage(asked, SkinDamage::Changed);
        } else if (answer == QLatin1String("hashes")) {
            store.take_hashes(asked, {"aa", "bb"});
        } else {
            // What the server says of its build, in the validator the row names.
            if (answer == QLatin1String("changed etag"))
                check.etag = "\"v2\"";
            else if (answer == QLatin1String("changed date"))
                check.last_modified = "Wed, 09 Dec 2026 10:00:00 GMT";
            else
                check.size = 200;
            if (answer == QLatin1String("learned")) {
                check.verdict = PackageVerdict::Learned;
                check.etag = "\"v9\"";
            }
            apply_package_check(store, check);
        }

        const InstallRecord &after = *store.find(QStringLiteral("A"));
        const bool taken = store.damage(QStringLiteral("A")) != SkinDamage::None || store.updatable(QStringLiteral("A"))
            || !(after == before);
        QCOMPARE(taken, !reinstalled);
    }

    // Where a skin stands, from the folder, the queue and the store: what
    // every card draws, asked without a widget.
    void skin_state_rule_data()
    {
        QTest::addColumn<bool>("on_disk");
        QTest::addColumn<bool>("file_pair");
        QTest::addColumn<int>("queue");       // QueuePhase
        QTest::addColumn<int>("damage");      // SkinDamage
        QTest::addColumn<bool>("updatable");
        QTest::addColumn<int>("phase");       // SkinPhase expected
        QTest::addColumn<bool>("removable");  // "卸载" offered

        const int none = int(QueuePhase::None), waiting = int(QueuePhase::Waiting), running = int(QueuePhase::Running);
        const int whole = int(SkinDamage::None), missing = int(SkinDamage::Missing);
        QTest::newRow("nothing there") << false << false << none << whole << false << int(SkinPhase::NotInstalled) << false;
        QTest::newRow("waiting in the queue: not installed yet")
            << false << false << waiting << whole << false << int(SkinPhase::Waiting) << false;
        QTest::newRow("installed") << true << false << none << whole << false << int(SkinPhase::Installed) << true;
        QTest::newRow("updatable") << true << false << none << whole << true << int(SkinPhase::Updatable) << true;
        QTest::newRow("damaged outranks updatable") << true << false << none << missing << true << int(SkinPhase::Damaged) << true;
        QTest::newRow("update waiting behind another: still installed")
            << true << false << waiting << whole << true << int(SkinPhase::Updatable) << true;
        QTest::newRow("repair running: downloading, not damaged")
            << true << false << running << missing << false << int(SkinPhase::Downloading) << false;
        QTest::newRow("files gone, stale damage: not installed")
            << false << false << none << missing << true << int(SkinPhase::NotInstalled) << false;
        QTest::newRow("unknown pair stays one") << true << true << none << whole << false << int(SkinPhase::UnknownPair) << true;
    }

    void skin_state_rule()
    {
        QFETCH(bool, on_disk);
        QFETCH(bool, file_pair);
        QFETCH(int, queue);
        QFETCH(int, damage);
        QFETCH(bool, updatable);
        QFETCH(int, phase);
        QFETCH(bool, removable);
        QTemporaryDir data;
        InstallStore store(data.filePath(QStringLiteral("installed_skins.json")));
        store.set_damage(QStringLiteral("A"), SkinDamage(damage));
        store.set_updatable(QStringLiteral("A"), updatable);
        const SkinState state = skin_state(store, QStringLiteral("A"), on_disk, file_pair, QueuePhase(queue), 40);
        QCOMPARE(int(state.phase), phase);
        QCOMPARE(state.removable(), removable);
        QCOMPARE(state.damage, state.phase == SkinPhase::Damaged ? SkinDamage(damage) : SkinDamage::None);
        QCOMPARE(state.percent, state.phase == SkinPhase::Downloading ? 40 : -1);
    }

    // The queue's reports as the states follow them, for skin K: waiting,
    // running with its percent, and back once its own task ends.
    void states_follow_the_queue_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("percent");
        QTest::newRow("waiting behind another") << QStringList{"wait L K", "start L"} << int(SkinPhase::Waiting) << -1;
        QTest::newRow("running with its percent")
            << QStringList{"wait K", "start K", "wait", "progress K 40"} << int(SkinPhase::Downloading) << 40;
        QTest::newRow("another task's end leaves it running")
            << QStringList{"start K", "progress K 0", "end L"} << int(SkinPhase::Downloading) << 0;
        QTest::newRow("its end, then the next starts")
            << QStringList{"wait L", "start K", "end K", "start L", "progress L 5"} << int(SkinPhase::NotInstalled) << -1;
    }

    void states_follow_the_queue()
    {
        QFETCH(QStringList, events);
        QFETCH(int, phase);
        QFETCH(int, percent);
        QTemporaryDir sandbox;
        InstallStore store(sandbox.filePath(QStringLiteral("installed_skins.json")));
        InstallStates states(store);
        for (const QString &event : events) {
            QStringList words = event.split(QLatin1Char(' '));
            const QString kind = words.takeFirst();
            if (kind == QLatin1String("wait"))
                states.set_waiting(words);
            else if (kind == QLatin1String("start"))
                states.started(words.at(0));
            else if (kind == QLatin1String("progress"))
                states.progress(words.at(0), words.at(1).toInt());
            else
                states.ended(words.at(0));
        }
        const SkinState state = states.state(QStringLiteral("K"), false, false);
        QCOMPARE(int(state.phase), phase);
        QCOMPARE(state.percent, percent);
    }

    // The folder is looked at on a thread of its own: the scan names what a
    // reconcile would adopt and the quick check of the records handed in,
    // and of two requests in a row only the latest one's answer counts.
    void scan_off_the_window_thread()
    {
        QTemporaryDir sandbox;
        const QString game = sandbox.filePath(QStringLiteral("game"));
        const QString mod = mod_folder_path(game);
        for (const QString &name : {"A.pak", "A.sig", "mine/B.pak", "mine/B.sig"})
            QVERIFY(write_bytes(mod + QLatin1Char('/') + name, "bytes"));
        const QJsonArray catalogue{catalogue_skin(QStringLiteral("A")), catalogue_skin(QStringLiteral("B"))};
        // A's record says another size: the quick check finds it resized.
        const InstallRecord a{QStringLiteral("A"), QStringLiteral("A"), mod,
                              {InstalledFile{"A.pak", "u", 99}, InstalledFile{"A.sig", "u", 5}}, {}, true};

        InstalledScanner scanner;
        QSignalSpy scanned(&scanner, &InstalledScanner::scanned);
        scanner.request(sandbox.filePath(QStringLiteral("elsewhere")), SkinFileIndex(catalogue), QVector<InstallRecord>());
        // Handed the whole store, the scan picks the folder's records itself.
        InstallRecord elsewhere = a;
        elsewhere.skin_id = QStringLiteral("E");
        elsewhere.mod_folder = sandbox.filePath(QStringLiteral("elsewhere"));
        const QHash<QString, InstallRecord> store_records{{a.skin_id, a}, {elsewhere.skin_id, elsewhere}};
        const quint64 latest = scanner.request(game, SkinFileIndex(catalogue), store_records);
        QTRY_VERIFY(!scanned.isEmpty() && scanned.last().first().value<InstalledScan>().generation == latest);
        const InstalledScan scan = scanned.last().first().value<InstalledScan>();
        QCOMPARE(scan.installed.records.size(), 2);
        QCOMPARE(QStringList(scan.adoptable.keys()), QStringList{"B"});
        QCOMPARE(scan.adoptable.value(QStringLiteral("B")).files.at(0).path, QStringLiteral("mine/B.pak"));
        QCOMPARE(scan.quick.size(), 1);
        QCOMPARE(int(scan.quick.first().second), int(SkinDamage::Resized));
        // A record's file is looked up in the listing, in its own folder only.
        for (const char *path : {"A.pak", "mine/B.sig", "./mine//B.pak"})
            QVERIFY2(scan.files.holds(QLatin1String(path)), path);
        for (const char *path : {"B.pak", "mine/A.pak", "other/B.pak", "mine/B.pak/x", "ine/B.pak"})
            QVERIFY2(!scan.files.holds(QLatin1String(path)), path);

        InstallStore store(sandbox.filePath(QStringLiteral("installed_skins.json")));
        store.put(a);
        store.reconcile(scan.mod_folder, scan.installed.records, scan.files, scan.adoptable);
        take_quick_check(store, scan.quick);
        QCOMPARE(store.records_in(mod).size(), 2);
        QCOMPARE(store.damage(QStringLiteral("A")), SkinDamage::Resized);
        QVERIFY(!store.find(QStringLiteral("B"))->revision_known);
        // An adopted skin's files are taken as they stand: the quick check finds them whole.
        QCOMPARE(store.find(QStringLiteral("B"))->files.at(0).modified,
                 QFileInfo(mod + QStringLiteral("/mine/B.pak")).lastModified().toUTC());
        QCOMPARE(int(quick_damage(*store.find(QStringLiteral("B")))), int(SkinDamage::None));

        // The adoption is written in the background; a record a journal
        // hands over meanwhile is on disk at once, and the adoption's later
        // write never takes it back.
        InstallRecord c = a;
        c.skin_id = QStringLiteral("C");
        store.put(c);
        const auto on_disk = [&](const QString &skin_id) {
            InstallStore written(store.path());
            written.load();
            return written.find(skin_id) != nullptr;
        };
        QVERIFY(on_disk(QStringLiteral("C")) && on_disk(QStringLiteral("B")));
        store.flush();
        QVERIFY(on_disk(QStringLiteral("C")) && on_disk(QStringLiteral("B")));

        // Cards look their files up in the latest listing of their folder,
        // looking again only at what it names: B removed by hand since is no
        // longer there; a folder never listed is walked.
        InstallStates states(store);
        states.take_listing(game, scan.files);
        const SkinFileNames b{QStringLiteral("B.pak"), QStringLiteral("B.sig")};
        QVERIFY(states.on_disk(game, b));
        QVERIFY(QFile::remove(mod + QStringLiteral("/mine/B.pak")) && QFile::remove(mod + QStringLiteral("/mine/B.sig")));
        QVERIFY(!states.on_disk(game, b));
        const QString other = sandbox.filePath(QStringLiteral("other"));
        QVERIFY(write_bytes(mod_folder_path(other) + QStringLiteral("/deep/B.sig"), "bytes"));
        QVERIFY(states.on_disk(other, b));

        // Thousands adopted at a first start are made on two threads: each
        // record as one made alone, a skin's first copy in walk order winning.
        QJsonArray many;
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("M%1").arg(i);
            many.append(catalogue_skin(name));
            const QString folder = mod_folder_path(other) + (i % 3 ? QStringLiteral("/") : QStringLiteral("/sub/"));
            QVERIFY(write_bytes(folder + name + QStringLiteral(".pak"), QByteArray(i % 200, 'p')));
            if (i % 5)
                QVERIFY(write_bytes(folder + name + QStringLiteral(".sig"), "s"));
            if (i % 7 == 0)
                QVERIFY(write_bytes(mod_folder_path(other) + QStringLiteral("/zz/") + name + QStringLiteral(".sig"), "copy"));
        }
        const InstalledScan adopted = scan_installed(other, SkinFileIndex(many), {}, ServerEndpoints());
        QCOMPARE(adopted.adoptable.size(), 300);
        for (const QJsonValue &skin : many) {
            const QString name = skin.toObject().value(QStringLiteral("name")).toString();
            QCOMPARE(adopted.adoptable.value(name),
                     adopted_record(ServerEndpoints(), skin.toObject(), adopted.mod_folder, adopted.files));
        }
        // An empty store takes them whole, exactly as made.
        InstallStore fresh(sandbox.filePath(QStringLiteral("fresh.json")));
        fresh.reconcile(adopted.mod_folder, adopted.installed.records, adopted.files, adopted.adoptable);
        QCOMPARE(fresh.records_in(adopted.mod_folder).size(), 300);
        QCOMPARE(*fresh.find(QStringLiteral("M7")), adopted.adoptable.value(QStringLiteral("M7")));
    }

    // The records of a mod folder are found under any spelling of it, so a
    // game folder detected in another spelling keeps every hash and
    // validator instead of adopting its skins afresh.
    void one_folder_in_any_spelling_data()
    {
        QTest::addColumn<QString>("spelling");   // how the second look names the folder; %1 is the folder
        QTest::newRow("trailing separator") << QStringLiteral("%1/");
        QTest::newRow("doubled separator") << QStringLiteral("%1/../orvexs//");
        QTest::newRow("a step through the folder itself") << QStringLiteral("%1/./");
#ifndef Q_OS_WIN
        QTest::newRow("a link to the game folder") << QStringLiteral("link");
#else
        QTest::newRow("other case, other separators") << QStringLiteral("upper");
#endif
    }

    void one_folder_in_any_spelling()
    {
        QFETCH(QString, spelling);
        QTemporaryDir sandbox;
        const QString mod = mod_folder_path(sandbox.filePath(QStringLiteral("game")));
        QVERIFY(write_bytes(mod + QStringLiteral("/A.pak"), QByteArray(30000, 'p')));
        QVERIFY(write_bytes(mod + QStringLiteral("/A.sig"), "sig"));
        QString other = spelling.contains(QLatin1String("%1")) ? spelling.arg(mod) : mod;
        if (spelling == QLatin1String("link")) {
            QVERIFY(QFile::link(sandbox.filePath(QStringLiteral("game")), sandbox.filePath(QStringLiteral("linked"))));
            other = mod_folder_path(sandbox.filePath(QStringLiteral("linked")));
        } else if (spelling == QLatin1String("upper")) {
            other = QDir::toNativeSeparators(mod.toUpper());
        }

        InstallStore store(sandbox.filePath(QStringLiteral("installed_skins.json")));
        store.load();
        store.put(InstallRecord{QStringLiteral("A"), QStringLiteral("A"), mod,
                                {InstalledFile{"A.pak", "u", 30000, "cd", "\"v1\""}, InstalledFile{"A.sig", "u", 3, "ab"}},
                                QDateTime::currentDateTimeUtc(), true});
        const InstallRecord before = *store.find(QStringLiteral("A"));
        const ModFiles files = ModFiles::list(other);
        const QJsonArray catalogue{catalogue_skin(QStringLiteral("A"))};
        store.reconcile(other, installed_records(files, catalogue), files);
        QCOMPARE(store.records_in(other).size(), 1);
        QCOMPARE(*store.find(QStringLiteral("A")), before);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestInstall test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_install.moc"
