#include "app/program_services.h"
#include "support/download_fixtures.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "core/download/download_manager.h"
#include "core/download/download_worker.h"
#include "core/download/skin_files.h"
#include "support/test_server.h"

#include <QApplication>
#include <QDirIterator>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
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
    config::reset_endpoints_for_tests();
    config::set_endpoints(args.at(2));
    ProgramServices services;
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
        config::reset_endpoints_for_tests();
        QVERIFY(config::set_endpoints(server.base()));
        game_dir = sandbox.path() + QStringLiteral("/game");
        for (const QString &name : {"A", "B", "C"})
            serve_skin(server, name);
        manager = &m_services.downloads;
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
