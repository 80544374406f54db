#include "app/program_services.h"
#include "app/queue_taskbar_progress.h"
#include "support/download_fixtures.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "core/download/download_manager.h"
#include "core/download/download_worker.h"
#include "core/install/install_check.h"
#include "core/install/install_store.h"
#include "core/install/installed_skins.h"
#include "core/support/sha256.h"
#include "core/install/skin_files.h"
#include "support/log_capture.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <QtTest>

namespace {

const QString MAIN = QStringLiteral("Hunters");
const QString SUB = QStringLiteral("Navy");

DownloadTask make_task(const QString &name, const QString &game_dir)
{
    return download_fixtures::make_task(name, game_dir, MAIN, SUB);
}

void serve_skin(const TestServer &server, const QString &name, int pak_size = 30000)
{
    server.write_file(QStringLiteral("skins/%1/%2/%3.pak").arg(MAIN, SUB, name), QByteArray(pak_size, 'p'));
    server.write_file(QStringLiteral("skins/%1/%2/%3.sig").arg(MAIN, SUB, name), QByteArray("sig"));
}

// A download of `name` that sends a little and then holds back the rest.
QJsonObject stall_rule(const QString &name)
{
    return QJsonObject{{QStringLiteral("match"), QStringLiteral("pak_original=") + name},
                       {QStringLiteral("method"), QStringLiteral("GET")},
                       {QStringLiteral("stall_after"), 10000},
                       {QStringLiteral("stall"), 60}};
}

bool write_bytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList temp_files_below(const QString &root)
{
    QStringList out;
    QDirIterator it(root, {QStringLiteral("*.tmp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

// Child process: starts a download that the server holds back and quits the
// application as soon as it runs. Exits 0 when nothing aborts the process.
int quit_while_downloading(int argc, char **argv)
{
    applog::install();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    ProgramServices services;
    services.downloads.set_endpoints(ServerEndpoints::from_base(args.at(2)));
    DownloadManager *manager = &services.downloads;
    QObject::connect(manager, &DownloadManager::progress_updated, &app, [] { QCoreApplication::quit(); });
    manager->add_task(make_task(QStringLiteral("Slow"), args.at(3)));
    manager->add_task(make_task(QStringLiteral("Queued"), args.at(3)));
    return app.exec();
}

} // namespace

class TestDownloadManager : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;

private:
    TestServer server;
    QTemporaryDir sandbox;
    QString game_dir;
    DownloadManager *manager = nullptr;
    QStringList events;   // every manager signal, in order
    QMetaObject::Connection connections[6];

    QString mod_file(const QString &name) const { return mod_folder_path(game_dir) + QLatin1Char('/') + name; }

    bool wait_idle(int ms = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (manager->has_active_tasks() && timer.elapsed() < ms)
            QTest::qWait(20);
        QTest::qWait(50);
        return !manager->has_active_tasks();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        game_dir = sandbox.path() + QStringLiteral("/game");
        for (const QString &name : {"A", "B", "C"})
            serve_skin(server, name);
        manager = &m_services.downloads;
        manager->set_endpoints(ServerEndpoints::from_base(server.base()));
        connect(manager, &DownloadManager::task_started, this, [this](const QString &id) { events << "started " + id; });
        connect(manager, &DownloadManager::progress_updated, this, [this](const QString &id, int p) {
            // Only the first report of a run is kept, the rest would drown the order.
            if (!events.isEmpty() && events.last().startsWith("progress " + id))
                return;
            events << QStringLiteral("progress %1").arg(id);
            Q_UNUSED(p);
        });
        connect(manager, &DownloadManager::task_completed, this, [this](const QString &id) { events << "completed " + id; });
        connect(manager, &DownloadManager::task_failed, this, [this](const QString &id, const QString &) { events << "failed " + id; });
        connect(manager, &DownloadManager::task_cancelled, this, [this](const QString &id) { events << "cancelled " + id; });
        connect(manager, &DownloadManager::queue_updated, this, [this] { events << QStringLiteral("queue"); });
    }

    void init()
    {
        QVERIFY(wait_idle());
        server.reset();
        QDir(game_dir).removeRecursively();
        events.clear();
    }

    void idle_manager_reports_nothing()
    {
        QVERIFY(!manager->has_active_tasks());
        QVERIFY(manager->get_queue().isEmpty());
        QVERIFY(!manager->get_current_task().has_value());
        QVERIFY(!manager->cancel_task(QStringLiteral("A")));
        QVERIFY(events.isEmpty());
    }

    void starting_a_task_emits_in_order()
    {
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        QCOMPARE(events, (QStringList{"queue", "started A", "queue"}));
        QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("A"));
        QVERIFY(wait_idle());
        QCOMPARE(events, (QStringList{"queue", "started A", "queue", "progress A", "completed A", "queue"}));
        QVERIFY(QFileInfo::exists(mod_file("A.pak")));
        QVERIFY(QFileInfo::exists(mod_file("A.sig")));

        // Once completed, the same skin may be downloaded again.
        QFile::remove(mod_file("A.pak"));
        events.clear();
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        QVERIFY(wait_idle());
        QVERIFY(events.contains("completed A"));
        QVERIFY(QFileInfo::exists(mod_file("A.pak")));
    }

    // Reports travel to the GUI thread in batches; none may be lost,
    // reordered or arrive after the completion.
    void every_progress_report_arrives_before_completion()
    {
        // A long signature keeps reports coming until the very end.
        serve_skin(server, QStringLiteral("Big"), 400000);
        server.write_file(QStringLiteral("skins/%1/%2/Big.sig").arg(MAIN, SUB), QByteArray(300000, 's'));
        QList<int> reports;
        int at_completion = -1;
        auto c1 = connect(manager, &DownloadManager::progress_updated, this,
                          [&](const QString &id, int p) { if (id == "Big") reports << p; });
        auto c2 = connect(manager, &DownloadManager::task_completed, this,
                          [&] { at_completion = reports.size(); });
        manager->add_task(make_task(QStringLiteral("Big"), game_dir));
        QVERIFY(wait_idle());
        disconnect(c1);
        disconnect(c2);
        QCOMPARE(at_completion, reports.size());
        QVERIFY(reports.size() >= 700000 / 8192);
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
        QCOMPARE(reports.last(), 100);
    }

    void duplicates_are_ignored_silently()
    {
        server.set_faults({stall_rule("A")});
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        events.clear();
        manager->add_task(make_task(QStringLiteral("A"), game_dir));   // running
        manager->add_task(make_task(QStringLiteral("B"), game_dir));   // waiting
        QVERIFY(events.isEmpty());
        QCOMPARE(manager->get_queue().size(), 1);

        // get_queue hands out a copy.
        QList<DownloadTask> copy = manager->get_queue();
        copy.clear();
        QCOMPARE(manager->get_queue().size(), 1);

        QVERIFY(manager->cancel_task(QStringLiteral("A")));
        QVERIFY(wait_idle());
        QCOMPARE(events.count("started B"), 1);
        QCOMPARE(events.count("completed B"), 1);
    }

    void tasks_run_one_at_a_time_in_order()
    {
        for (const QString &name : {"A", "B", "C"})
            manager->add_task(make_task(name, game_dir));
        QCOMPARE(manager->get_queue().size(), 2);
        QVERIFY(wait_idle());
        QStringList ends;
        for (const QString &e : qAsConst(events)) {
            if (e.startsWith("started") || e.startsWith("completed"))
                ends << e;
        }
        QCOMPARE(ends, (QStringList{"started A", "completed A", "started B", "completed B", "started C", "completed C"}));
        for (const QString &name : {"A", "B", "C"})
            QVERIFY(QFileInfo::exists(mod_file(name + ".pak")));
    }

    // The task-bar button shows a burst of downloads as one bar and is
    // cleared once the queue is empty; the next burst starts from nothing.
    void taskbar_follows_each_burst()
    {
        QWidget window;
        auto *taskbar = new QueueTaskbarProgress(*manager, &window);
        QList<std::optional<int>> shown;
        const auto note = [&] { shown << taskbar->percent_shown(); };
        auto c1 = connect(manager, &DownloadManager::task_started, this, note);
        auto c2 = connect(manager, &DownloadManager::task_completed, this, note);
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        QVERIFY(wait_idle());
        QCOMPARE(shown, (QList<std::optional<int>>{0, 50, 50, std::nullopt}));

        shown.clear();
        manager->add_task(make_task(QStringLiteral("C"), game_dir));
        QVERIFY(wait_idle());
        disconnect(c1);
        disconnect(c2);
        QCOMPARE(shown, (QList<std::optional<int>>{0, std::nullopt}));
        QVERIFY(!taskbar->percent_shown());
    }

    void cancelling_a_waiting_task_only_updates_the_queue()
    {
        server.set_faults({stall_rule("A")});
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        events.clear();
        QVERIFY(manager->cancel_task(QStringLiteral("B")));
        QCOMPARE(events, QStringList{"queue"});
        QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("A"));
        QVERIFY(manager->get_queue().isEmpty());
        QVERIFY(!manager->cancel_task(QStringLiteral("B")));

        QVERIFY(manager->cancel_task(QStringLiteral("A")));
        QVERIFY(!events.contains("cancelled B"));
        QVERIFY(!QFileInfo::exists(mod_file("B.pak")));
    }

    void cancelling_the_running_task_starts_the_next()
    {
        server.set_faults({stall_rule("A")});
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        QTRY_VERIFY_WITH_TIMEOUT(events.contains("progress A"), 10000);
        events.clear();

        QElapsedTimer timer;
        timer.start();
        QVERIFY(manager->cancel_task(QStringLiteral("A")));
        // The server holds the data back for a minute and the time-out is
        // 30 s: returning at all within seconds shows the wait was cut short.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(events, (QStringList{"cancelled A", "queue", "started B", "queue"}));
        QVERIFY(wait_idle());
        QVERIFY(events.contains("completed B"));
        QVERIFY(!QFileInfo::exists(mod_file("A.pak")));
        QCOMPARE(temp_files_below(sandbox.path()), QStringList());
    }

    void failure_is_passed_on_and_the_queue_goes_on()
    {
        server.set_faults({QJsonObject{{"match", "pak_original=A"}, {"method", "GET"}, {"status", 404}}});
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        QString error;
        auto c = connect(manager, &DownloadManager::task_failed, this,
                         [&](const QString &, const QString &text) { error = text; });
        QVERIFY(wait_idle());
        disconnect(c);
        QVERIFY2(error.startsWith("404 Client Error"), qPrintable(error));
        // B is on its way before anyone hears of A's failure, so a message
        // box about it cannot hold the queue up.
        const int started = events.indexOf("started B");
        QVERIFY(started >= 0);
        QCOMPARE(events.mid(started, 4), (QStringList{"started B", "queue", "failed A", "queue"}));
        QVERIFY(events.contains("completed B"));
    }

    // A worker's last signal may still be on its way when its task is
    // cancelled; it must not end the task that runs next.
    void late_signals_of_a_cancelled_worker_are_dropped_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("late");
        QTest::newRow("late failure")
            << QJsonObject{{"match", "pak_original=A"}, {"method", "GET"}, {"status", 404}} << "failed A";
        QTest::newRow("late completion") << QJsonObject{{"match", "nothing"}} << "completed A";
    }

    void late_signals_of_a_cancelled_worker_are_dropped()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, late);
        server.set_faults({fault, stall_rule("B")});
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        // A's worker ends and queues its signal while this thread does not
        // deliver events.
        QVERIFY(manager->wait_for_current_run(10000));
        QVERIFY(manager->cancel_task(QStringLiteral("A")));
        QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("B"));
        events.clear();
        QTest::qWait(300);
        QVERIFY2(!events.contains(late), qPrintable(events.join(", ")));
        QVERIFY(!events.contains("failed B") && !events.contains("completed B"));
        QCOMPARE(manager->get_current_task()->skin_id, QStringLiteral("B"));
        QVERIFY(manager->cancel_task(QStringLiteral("B")));
    }

    void late_progress_of_a_cancelled_worker_is_dropped()
    {
        server.set_faults({stall_rule("A"), stall_rule("B")});
        manager->add_task(make_task(QStringLiteral("A"), game_dir));
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        // Reports pile up undelivered while this thread sleeps.
        QThread::msleep(1000);
        QVERIFY(manager->cancel_task(QStringLiteral("A")));
        events.clear();
        QTest::qWait(300);
        QVERIFY2(!events.contains("progress A"), qPrintable(events.join(", ")));
        QVERIFY(manager->cancel_task(QStringLiteral("B")));
    }

    // Quitting with a download running and one waiting: the process must end
    // normally, not abort on a running thread, and leave no temporary file.
    void quitting_during_a_download_stops_it_cleanly()
    {
        server.set_faults({stall_rule("Slow")});
        serve_skin(server, QStringLiteral("Slow"));
        serve_skin(server, QStringLiteral("Queued"));
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("quit-while-downloading"), server.base(), game_dir});
        QVERIFY(child.waitForFinished(20000));
        const QString errors = QString::fromUtf8(child.readAllStandardError());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(!errors.contains("Destroyed while"), qPrintable(errors));
        QCOMPARE(temp_files_below(sandbox.path()), QStringList());
        QVERIFY2(errors.contains("退出时停止下载: Slow"), qPrintable(errors));
        QVERIFY(!QFileInfo::exists(mod_file("Slow.pak")));
        QVERIFY(!QFileInfo::exists(mod_file("Queued.pak")));
    }

    // What the store holds after an install, a start from a missing or
    // broken store file, a write that fails, and files gone by hand.
    void install_records_data()
    {
        QTest::addColumn<QString>("start");     // "install", "missing", "corrupt", "unwritable", "gone"
        QTest::addColumn<bool>("known");        // the record's revision is known
        QTest::addColumn<bool>("kept");         // the skin still has a record at the end
        QTest::addColumn<QString>("logged");    // a warning that must have been logged, or empty

        QTest::newRow("install: hashed while downloading, validators kept") << "install" << true << true << QString();
        QTest::newRow("installed before records were kept: unknown revision") << "missing" << false << true << QString();
        QTest::newRow("corrupt store: logged, rebuilt from the mod folder")
            << "corrupt" << false << true << QStringLiteral("安装记录无法读取，将按模组文件夹重建: ");
        QTest::newRow("store folder not writable: logged, record kept in memory")
            << "unwritable" << true << true << QStringLiteral("无法保存安装记录: ");
        QTest::newRow("files deleted by hand: the record goes") << "gone" << true << false << QString();
    }

    void install_records()
    {
        QFETCH(QString, start);
        QFETCH(bool, known);
        QFETCH(bool, kept);
        QFETCH(QString, logged);

        QTemporaryDir data;
        const QString store_path = data.filePath(QStringLiteral("store/installed_skins.json"));
        QDir().mkpath(data.filePath(QStringLiteral("store")));
        const DownloadTask task = make_task(QStringLiteral("A"), game_dir);
        const QString mod = mod_folder_path(game_dir);
        QSignalSpy completed(manager, &DownloadManager::task_completed);
        manager->add_task(task);
        QVERIFY(completed.wait(20000));
        const InstallRecord *installed = manager->installs().find(QStringLiteral("A"));
        QVERIFY(installed);
        const InstallRecord record = *installed;

        LogCapture log;
        InstallStore store(store_path);
        if (start == QLatin1String("corrupt"))
            QVERIFY(write_bytes(store_path, "{\"skins\": [{\"skin_id\": 3"));
        if (start == QLatin1String("install") || start == QLatin1String("unwritable") || start == QLatin1String("gone"))
            QVERIFY(write_bytes(store_path, install_records_to_json({record})));
        // A file where the store's folder should be: no one can write there, root included.
        if (start == QLatin1String("unwritable")) {
            QVERIFY(QFile::rename(store_path, data.filePath(QStringLiteral("kept.json"))));
            QVERIFY(QDir(data.filePath(QStringLiteral("store"))).removeRecursively());
            QVERIFY(write_bytes(data.filePath(QStringLiteral("store")), "a file"));
        }
        if (start == QLatin1String("gone"))
            QVERIFY(QFile::remove(mod + QStringLiteral("/A.pak")) && QFile::remove(mod + QStringLiteral("/A.sig")));
        store.load();
        if (start == QLatin1String("unwritable"))
            store.put(record);
        const ModFiles files = ModFiles::list(mod);
        store.reconcile(mod, installed_records(files, QJsonArray{task.skin_data}), files);

        if (!logged.isEmpty())
            QVERIFY2(!log.texts().filter(logged).isEmpty(), qPrintable(log.texts().join('\n')));
        const InstallRecord *found = store.find(QStringLiteral("A"));
        QCOMPARE(found != nullptr, kept);
        if (!kept)
            return;
        QCOMPARE(found->revision_known, known);
        QCOMPARE(found->files.size(), 2);
        QCOMPARE(found->files.at(0).path, QStringLiteral("A.pak"));
        QCOMPARE(found->files.at(0).size, 30000);
        QCOMPARE(found->files.at(1).path, QStringLiteral("A.sig"));
        QVERIFY(found->files.at(0).url.endsWith(QStringLiteral("pak_original=A.pak")));
        if (known) {
            QString error;
            QCOMPARE(found->files.at(0).sha256, sha256_of_file(mod + QStringLiteral("/A.pak"), nullptr, {}, &error));
            QVERIFY(!found->files.at(0).etag.isEmpty());
            QVERIFY(!found->files.at(0).last_modified.isEmpty());
            QCOMPARE(*found, record);
        } else {
            QVERIFY(found->files.at(0).sha256.isEmpty() && found->files.at(0).etag.isEmpty());
            // A full check learns the hashes of what it found installed.
            QList<QByteArray> hashes;
            QCOMPARE(full_damage(InstallRecord(*store.find(QStringLiteral("A"))), nullptr, {}, &hashes), SkinDamage::None);
            QString error;
            QCOMPARE(hashes, (QList<QByteArray>{sha256_of_file(mod + QStringLiteral("/A.pak"), nullptr, {}, &error),
                                               sha256_of_file(mod + QStringLiteral("/A.sig"), nullptr, {}, &error)}));
            store.take_hashes(QStringLiteral("A"), hashes);
            QCOMPARE(store.find(QStringLiteral("A"))->files.at(1).sha256, hashes.at(1));
            // The server's first answer about it is kept, on disk too.
            store.learn(QStringLiteral("A"), "\"v1\"", "Tue, 08 Dec 2026 10:00:00 GMT", 30000);
            QVERIFY(store.find(QStringLiteral("A"))->revision_known);
            QTRY_VERIFY([&] {
                InstallStore written(store_path);
                written.load();
                return written.find(QStringLiteral("A")) && written.find(QStringLiteral("A"))->files.at(0).etag == "\"v1\"";
            }());
        }
        // What is on disk is what is in memory, unless the disk refused it.
        store.flush();
        InstallStore reread(store_path);
        reread.load();
        QCOMPARE(reread.find(QStringLiteral("A")) != nullptr, start != QLatin1String("unwritable"));
        QCOMPARE(store.saved(), start != QLatin1String("unwritable"));
    }

    // An installed skin against its record: the quick look (sizes, times)
    // and the full one (every byte).
    void damage_found_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("quick");
        QTest::addColumn<int>("full");

        QTest::newRow("whole") << QString() << int(SkinDamage::None) << int(SkinDamage::None);
        QTest::newRow("partner missing") << "remove" << int(SkinDamage::Missing) << int(SkinDamage::Missing);
        QTest::newRow("resized") << "append" << int(SkinDamage::Resized) << int(SkinDamage::Resized);
        QTest::newRow("same size, other bytes, old time kept")
            << "overwrite keep time" << int(SkinDamage::None) << int(SkinDamage::Changed);
        QTest::newRow("replaced by hand with the same size") << "overwrite" << int(SkinDamage::Changed)
                                                            << int(SkinDamage::Changed);
        QTest::newRow("touched, bytes unchanged") << "touch" << int(SkinDamage::Changed) << int(SkinDamage::None);
    }

    void damage_found()
    {
        QFETCH(QString, change);
        QFETCH(int, quick);
        QFETCH(int, full);

        QSignalSpy completed(manager, &DownloadManager::task_completed);
        manager->add_task(make_task(QStringLiteral("B"), game_dir));
        QVERIFY(completed.wait(20000));
        const InstallRecord record = *manager->installs().find(QStringLiteral("B"));
        const QString sig = mod_file(QStringLiteral("B.sig"));
        const QDateTime earlier = QFileInfo(sig).lastModified().addSecs(-100);
        QFile file(sig);
        if (change == QLatin1String("remove"))
            QVERIFY(file.remove());
        if (change == QLatin1String("append"))
            QVERIFY(file.open(QIODevice::Append) && file.write("x") == 1);
        if (change.startsWith(QLatin1String("overwrite")))
            QVERIFY(file.open(QIODevice::ReadWrite) && file.write("SIG") == 3);
        file.close();
        // Written within the install's second: the time is set as a later
        // write, an older copy or a careful tool would leave it.
        const QMap<QString, QDateTime> times{{QStringLiteral("touch"), earlier},
                                             {QStringLiteral("overwrite"), earlier.addSecs(200)},
                                             {QStringLiteral("overwrite keep time"), record.files.at(1).modified}};
        if (times.contains(change)) {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(times.value(change), QFileDevice::FileModificationTime));
            file.close();
        }
        QCOMPARE(int(quick_damage(record)), quick);
        QCOMPARE(int(full_damage(record, nullptr, {})), full);
        // The worker thread's run reports the same.
        InstallVerifier verifier;
        qRegisterMetaType<SkinDamage>();
        QSignalSpy checked(&verifier, &InstallVerifier::checked);
        QSignalSpy finished(&verifier, &InstallVerifier::finished);
        QVERIFY(verifier.start({record}));
        QVERIFY(finished.wait(10000));
        QCOMPARE(checked.size(), 1);
        QCOMPARE(int(checked.first().at(1).value<SkinDamage>()), full);
    }
};

int main(int argc, char **argv)
{
    if (argc > 3 && qstrcmp(argv[1], "quit-while-downloading") == 0)
        return quit_while_downloading(argc, argv);
    QApplication app(argc, argv);
    TestDownloadManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_download_manager.moc"
