#include "app/program_services.h"
#include "core/download/download_worker.h"
#include "core/install/install_journal.h"
#include "core/install/install_store.h"
#include "core/install/uninstall.h"
#include "core/install/skin_files.h"
#include "core/support/config.h"
#include "support/log_capture.h"
#include "support/test_server.h"

#include <QDirIterator>
#include <QProcess>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

namespace {

const QString MAIN = QStringLiteral("Hunters");
const QString SUB = QStringLiteral("Navy");

QByteArray random_bytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray data(size, Qt::Uninitialized);
    for (char &c : data)
        c = static_cast<char>(gen.bounded(256));
    return data;
}

QJsonObject rule(const QString &match, const QString &method, const QJsonObject &fault)
{
    QJsonObject r = fault;
    r.insert(QStringLiteral("match"), match);
    if (!method.isEmpty())
        r.insert(QStringLiteral("method"), method);
    return r;
}

QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file below `root`, relative to it.
QStringList files_below(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

bool write_file(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// What one run of a worker reported, collected on the test thread.
struct Report {
    QList<int> progress;
    QStringList finished;
    QStringList errors;
};

} // namespace

class TestDownloadWorker : public QObject {
    Q_OBJECT
    // Made after the application object and gone before it; first, so it
    // outlives every window a test keeps.
    ProgramServices m_services;
    ServerEndpoints endpoints;   // of the stand-in server

private:
    TestServer server;
    QTemporaryDir sandbox;
    QString game_dir;
    QString mod_dir;

    DownloadTask task_for(const QString &pak, const QString &sig) const
    {
        QJsonObject record{{QStringLiteral("name"), QStringLiteral("Blue Coat")},
                           {QStringLiteral("MainCategory"), MAIN},
                           {QStringLiteral("subcategory"), SUB},
                           {QStringLiteral("pak_original"), pak},
                           {QStringLiteral("sig_original"), sig}};
        return DownloadTask{QStringLiteral("Blue Coat"), record, game_dir};
    }

    void serve(const QString &name, const QByteArray &data)
    {
        server.write_file(QStringLiteral("skins/%1/%2/%3").arg(MAIN, SUB, name), data);
    }

    // Runs the worker on a thread of its own, as the manager does.
    // `in_thread` sees every progress value on the worker's thread (it may
    // cancel there); `meanwhile` runs on the test thread once the thread runs.
    // The record of a finished install goes to `store` (a scratch one when
    // none is given), which settles the install's journal, as with the queue.
    Report run(DownloadWorker &worker,
               const std::function<void(DownloadWorker &, int)> &in_thread = {},
               const std::function<void(DownloadWorker &, QThread &, Report &)> &meanwhile = {},
               InstallStore *store = nullptr)
    {
        Report report;
        QThread thread;
        worker.moveToThread(&thread);
        QObject context;
        QTemporaryDir scratch;
        InstallStore scratch_store(scratch.filePath(QStringLiteral("installed_skins.json")));
        InstallStore *records = store ? store : &scratch_store;
        connect(&worker, &DownloadWorker::installed, &context, [records](const InstallRecord &record) {
            const install_journal::Hold hold(false);
            QVERIFY(hold.held());
            QVERIFY(install_journal::finish(record.mod_folder, records->taker()));
        });
        connect(&thread, &QThread::started, &worker, [&] {
            worker.run();
            thread.quit();
        }, Qt::DirectConnection);
        if (in_thread)
            connect(&worker, &DownloadWorker::progress, &worker,
                    [&](const QString &, int p) { in_thread(worker, p); }, Qt::DirectConnection);
        connect(&worker, &DownloadWorker::progress, &context,
                [&](const QString &, int p) { report.progress << p; });
        connect(&worker, &DownloadWorker::finished, &context,
                [&](const QString &name) { report.finished << name; });
        connect(&worker, &DownloadWorker::error, &context,
                [&](const QString &name, const QString &text) { report.errors << name + QStringLiteral(": ") + text; });
        thread.start();
        if (meanwhile)
            meanwhile(worker, thread, report);
        if (!thread.wait(40000))
            qFatal("worker did not end");
        QCoreApplication::sendPostedEvents();
        return report;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        endpoints = ServerEndpoints::from_base(server.base());
        game_dir = sandbox.path() + QStringLiteral("/game");
        mod_dir = mod_folder_path(game_dir);
    }

    void init()
    {
        server.reset();
        QDir(sandbox.path()).removeRecursively();
        QDir().mkpath(sandbox.path());
    }

    void file_names_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain name kept") << "coat.pak" << "coat.pak" << true;
        QTest::newRow("forward slash path cut") << "skins/blue/coat.pak" << "coat.pak" << true;
        QTest::newRow("backslash path cut") << "skins\\blue\\coat.sig" << "coat.sig" << true;
        QTest::newRow("climb out with backslashes") << "..\\..\\evil.dll" << "evil.dll" << true;
        QTest::newRow("climb out with slashes") << "a/../../x.pak" << "x.pak" << true;
        QTest::newRow("non-ASCII and blanks") << "蓝色 外套.pak" << "蓝色 外套.pak" << true;
        QTest::newRow("name that only starts like a device") << "CONSOLE.pak" << "CONSOLE.pak" << true;
        QTest::newRow("empty") << "" << "" << false;
        QTest::newRow("ends in a separator") << "skins/" << "" << false;
        QTest::newRow("dot") << "a/." << "." << false;
        QTest::newRow("dot dot") << "a\\.." << ".." << false;
        QTest::newRow("device name") << "CON" << "CON" << false;
        QTest::newRow("device name with extension") << "nul.pak" << "nul.pak" << false;
        QTest::newRow("serial port with extension") << "com1.sig" << "com1.sig" << false;
        QTest::newRow("printer port") << "LPT9" << "LPT9" << false;
        QTest::newRow("device with blank before extension") << "aux .pak" << "aux .pak" << false;
        QTest::newRow("drive colon") << "C:coat.pak" << "C:coat.pak" << false;
        QTest::newRow("wildcard") << "coat?.pak" << "coat?.pak" << false;
        QTest::newRow("pipe") << "a|b.pak" << "a|b.pak" << false;
        QTest::newRow("control character") << QStringLiteral("a\x01.pak") << QStringLiteral("a\x01.pak") << false;
        QTest::newRow("trailing dot") << "coat.pak." << "coat.pak." << false;
        QTest::newRow("trailing blank") << "coat.pak " << "coat.pak " << false;
    }

    void file_names()
    {
        QFETCH(QString, original);
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(skin_file_name(original), name);
        QCOMPARE(is_safe_file_name(name), safe);
    }

    void mod_folder_joins_with_forward_slashes()
    {
        QCOMPARE(mod_folder_path(QStringLiteral("C:\\Games\\DH\\")),
                 QStringLiteral("C:/Games/DH/DreadHunger/Content/Paks/orvexs"));
    }

    void percent_data()
    {
        QTest::addColumn<qint64>("downloaded");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("truncated, not rounded") << qint64(1000) << qint64(1024) << 97;
        QTest::newRow("divides before multiplying") << qint64(29) << qint64(100) << 28;
        QTest::newRow("complete") << qint64(1024) << qint64(1024) << 100;
        QTest::newRow("more than measured stops at 100") << qint64(150) << qint64(100) << 100;
        QTest::newRow("100 MB against 4 measured bytes") << qint64(100) * 1024 * 1024 << qint64(4) << 100;
        QTest::newRow("no measured size: no division by zero") << qint64(4096) << qint64(0) << 0;
        QTest::newRow("beyond 2 GiB") << qint64(3) * 1024 * 1024 * 1024 << qint64(4) * 1024 * 1024 * 1024 << 75;
    }

    void percent()
    {
        QFETCH(qint64, downloaded);
        QFETCH(qint64, total);
        QFETCH(int, percent);
        QCOMPARE(download_percent(downloaded, total), percent);
    }

    void installs_both_files_data()
    {
        QTest::addColumn<QString>("pak");
        QTest::addColumn<int>("pak_size");
        QTest::addColumn<int>("sig_size");
        QTest::addColumn<int>("after_pak");
        QTest::addColumn<QJsonArray>("faults");   // the package is also served as files/<pak>
        QTest::newRow("1000 + 24 bytes") << "coat.pak" << 1000 << 24 << 97 << QJsonArray();
        QTest::newRow("29 + 71 bytes") << "coat.pak" << 29 << 71 << 28 << QJsonArray();
        QTest::newRow("many chunks") << "coat.pak" << 300000 << 500 << 99 << QJsonArray();
        QTest::newRow("blanks and non-ASCII in the name") << "蓝色 外套+1.pak" << 1000 << 24 << 97 << QJsonArray();
        // The size comes from the file's answer, never from the redirect's own body.
        QTest::newRow("package redirected to a chunked answer: sized through the redirect")
            << "coat.pak" << 1000 << 24 << 97
            << QJsonArray{rule(QStringLiteral("/files/coat.pak"), QString(), {{"chunked", true}}),
                          rule(QStringLiteral("pak_original=coat.pak"), QString(), {{"redirect", "/files/coat.pak"}})};
    }

    void installs_both_files()
    {
        QFETCH(QString, pak);
        QFETCH(int, pak_size);
        QFETCH(int, sig_size);
        QFETCH(int, after_pak);
        QFETCH(QJsonArray, faults);
        const QByteArray pak_data = random_bytes(pak_size, 1);
        const QByteArray sig_data = random_bytes(sig_size, 2);
        serve(pak, pak_data);
        server.write_file(QStringLiteral("files/") + pak, pak_data);
        server.set_faults(faults);
        serve(QStringLiteral("coat.sig"), sig_data);
        // An older copy of the package is replaced.
        QDir().mkpath(mod_dir);
        QFile old(mod_dir + QLatin1Char('/') + pak);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents, longer than some of the new ones ........");
        old.close();

        DownloadWorker worker(task_for(pak, QStringLiteral("coat.sig")), m_services.http, endpoints);
        const Report report = run(worker);

        QCOMPARE(report.errors, QStringList());
        QCOMPARE(report.finished, QStringList{QStringLiteral("Blue Coat")});
        QCOMPARE(read_file(mod_dir + QLatin1Char('/') + pak), pak_data);
        QCOMPARE(read_file(mod_dir + QStringLiteral("/coat.sig")), sig_data);
        QCOMPARE(files_below(mod_dir), sorted({pak, QStringLiteral("coat.sig")}));
        // One report per chunk, rising to 100 exactly at the end.
        QVERIFY(report.progress.size() >= (pak_size + 8191) / 8192 + 1);
        QVERIFY(std::is_sorted(report.progress.begin(), report.progress.end()));
        QCOMPARE(report.progress.last(), 100);
        QVERIFY(report.progress.contains(after_pak));
        QVERIFY(report.progress.indexOf(after_pak) < report.progress.size() - 1);
    }

    // The program ended at each instant of an install, an update, a repair
    // of a copy in a sub-folder and an uninstall, then started again: the
    // files and the record agree, both as before or both as after, and
    // nothing of the step is left behind.
    void end_at_any_instant_data()
    {
        QTest::addColumn<QString>("step");     // "install", "update", "sub-folder", "uninstall"
        QTest::addColumn<int>("end_after");    // durable steps done before the end; -1: ran whole
        QTest::addColumn<QString>("expected"); // "none", "old", "new"

        // Install: the journal, move package, move signature, commit.
        const QStringList install{"none", "none", "none", "none", "new"};
        for (int k = 0; k < install.size(); ++k)
            QTest::newRow(qPrintable(QStringLiteral("install, end after %1 steps").arg(k))) << "install" << k << install.at(k);
        QTest::newRow("install, whole") << "install" << -1 << "new";
        // Update over the old pair: the journal, backup and move of each file, commit.
        const QStringList update{"old", "old", "old", "old", "old", "old", "new"};
        for (int k = 0; k < update.size(); ++k)
            QTest::newRow(qPrintable(QStringLiteral("update, end after %1 steps").arg(k))) << "update" << k << update.at(k);
        QTest::newRow("update, whole") << "update" << -1 << "new";
        // Repair of a pair in "mine/": the journal, both copies aside, both moves, commit.
        const QStringList sub{"old", "old", "old", "old", "old", "old", "new"};
        for (int k = 0; k < sub.size(); ++k)
            QTest::newRow(qPrintable(QStringLiteral("sub-folder repair, end after %1 steps").arg(k)))
                << "sub-folder" << k << sub.at(k);
        QTest::newRow("sub-folder repair, whole") << "sub-folder" << -1 << "new";
        // Uninstall: the journal, each file aside, commit.
        const QStringList uninstall{"old", "old", "old", "old", "none"};
        for (int k = 0; k < uninstall.size(); ++k)
            QTest::newRow(qPrintable(QStringLiteral("uninstall, end after %1 steps").arg(k)))
                << "uninstall" << k << uninstall.at(k);
        QTest::newRow("uninstall, whole") << "uninstall" << -1 << "none";
    }

    void end_at_any_instant()
    {
        QFETCH(QString, step);
        QFETCH(int, end_after);
        QFETCH(QString, expected);

        const QByteArray old_pak(1000, 'o');
        const QByteArray new_pak = random_bytes(3000, 7);
        serve(QStringLiteral("coat.pak"), new_pak);
        serve(QStringLiteral("coat.sig"), "new sig");
        const QString store_path = sandbox.path() + QStringLiteral("/data/installed_skins.json");
        const QString old_folder = step == QLatin1String("sub-folder") ? mod_dir + QStringLiteral("/mine") : mod_dir;
        const QString id = QStringLiteral("Blue Coat");
        {
            InstallStore store(store_path);
            store.load();
            if (step != QLatin1String("install")) {
                QVERIFY(write_file(old_folder + QStringLiteral("/coat.pak"), old_pak));
                QVERIFY(write_file(old_folder + QStringLiteral("/coat.sig"), "old sig"));
                const QString at = QDir(mod_dir).relativeFilePath(old_folder) + QLatin1Char('/');
                const QString prefix = at == QLatin1String("./") ? QString() : at;
                store.put(InstallRecord{id, id, mod_dir,
                                        {InstalledFile{prefix + "coat.pak", "u", old_pak.size()},
                                         InstalledFile{prefix + "coat.sig", "u", 7}},
                                        QDateTime::currentDateTimeUtc(), true});
            }
            if (step == QLatin1String("uninstall")) {
                const UninstallResult result =
                    uninstall_files(mod_dir, {mod_dir + "/coat.pak", mod_dir + "/coat.sig"}, id, store, end_after);
                QCOMPARE(result.removed.isEmpty(), end_after != -1);
            } else {
                DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
                worker.set_end_after_steps(end_after);
                const Report report = run(worker, {}, {}, &store);
                QCOMPARE(report.errors, QStringList());
            }
        }

        // The next start.
        InstallStore store(store_path);
        store.load();
        QVERIFY(install_journal::recover(mod_dir, nullptr, store.taker()));

        const InstallRecord *record = store.find(id);
        const QString recorded = !record ? QStringLiteral("none")
            : record->files.at(0).size == new_pak.size()             ? QStringLiteral("new")
            : record->files.at(0).size == old_pak.size()             ? QStringLiteral("old")
                                                                      : QStringLiteral("other");
        QStringList files = files_below(mod_dir);
        files.removeAll(QStringLiteral("coat.pak.tmp"));   // a download's leftover, swept at closing
        files.removeAll(QStringLiteral("coat.sig.tmp"));
        const QString old_at = QDir(mod_dir).relativeFilePath(old_folder) + QLatin1Char('/');
        const QString prefix = old_at == QLatin1String("./") ? QString() : old_at;
        QString on_disk = QStringLiteral("mixed: ") + files.join(QLatin1Char(' '));
        if (files.isEmpty())
            on_disk = QStringLiteral("none");
        else if (files == QStringList{prefix + "coat.pak", prefix + "coat.sig"}
                 && read_file(old_folder + QStringLiteral("/coat.pak")) == old_pak)
            on_disk = QStringLiteral("old");
        else if (files == QStringList{"coat.pak", "coat.sig"} && read_file(mod_dir + QStringLiteral("/coat.pak")) == new_pak
                 && read_file(mod_dir + QStringLiteral("/coat.sig")) == "new sig")
            on_disk = QStringLiteral("new");
        QCOMPARE(on_disk, expected);
        QCOMPARE(recorded, expected);
        if (record)
            QCOMPARE(QFileInfo(record->path_of(record->files.at(0))).size(), record->files.at(0).size);
    }

    void path_in_name_lands_in_mod_folder()
    {
        serve(QStringLiteral("sub/coat.pak"), "PAK");
        serve(QStringLiteral("coat.sig"), "SIG");
        DownloadWorker worker(task_for(QStringLiteral("sub/coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
        const Report report = run(worker);
        QCOMPARE(report.errors, QStringList());
        QCOMPARE(files_below(sandbox.path()),
                 (QStringList{QStringLiteral("game/DreadHunger/Content/Paks/orvexs/coat.pak"),
                              QStringLiteral("game/DreadHunger/Content/Paks/orvexs/coat.sig")}));
    }

    void unknown_sizes_never_exceed_100()
    {
        serve(QStringLiteral("coat.pak"), random_bytes(50000, 3));
        serve(QStringLiteral("coat.sig"), random_bytes(100, 4));
        server.set_faults({rule(QStringLiteral("index_skin_download"), QStringLiteral("HEAD"),
                                {{QStringLiteral("content_length"), QStringLiteral("none")}})});
        DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
        const Report report = run(worker);
        QCOMPARE(report.finished.size(), 1);
        QVERIFY(!report.progress.isEmpty());
        for (int p : report.progress)
            QVERIFY2(p >= 0 && p <= 100, qPrintable(QString::number(p)));
        QCOMPARE(read_file(mod_dir + QStringLiteral("/coat.pak")).size(), 50000);
    }

    void failures_data()
    {
        QTest::addColumn<QJsonArray>("faults");
        QTest::addColumn<QString>("expected");   // part of the error text
        QTest::addColumn<bool>("old_pak");   // an older package lies there before the task
        const QString pak_get = QStringLiteral("pak_original=coat.pak");
        const QString sig_get = QStringLiteral("sig_original=coat.sig");
        QTest::newRow("404 on the package")
            << QJsonArray{rule(pak_get, "GET", {{"status", 404}})}
            << QStringLiteral("404 Client Error: Not Found for url: %1/subcutaneous/index_skin_download.php?"
                              "MainCategory=Hunters&subcategory=Navy&pak_original=coat.pak")
                   .arg(server.base())
            << false;
        // The package arrived whole, but without its signature it is not
        // installed; an older package keeps its bytes.
        QTest::newRow("404 on the signature")
            << QJsonArray{rule(sig_get, "GET", {{"status", 404}})} << QStringLiteral("404 Client Error")
            << false;
        QTest::newRow("500 on the signature, older package there")
            << QJsonArray{rule(sig_get, "GET", {{"status", 500}})} << QStringLiteral("500 Server Error")
            << true;
        QTest::newRow("connection cut inside the package, every time")
            << QJsonArray{rule(pak_get, "GET", {{"cut_after", 10000}})} << QString() << false;
        QTest::newRow("connection reset inside the package, every time")
            << QJsonArray{rule(pak_get, "GET", {{"cut_after", 10000}, {"cut_reset", true}})} << QString() << false;
        QTest::newRow("stall past the time-out")
            << QJsonArray{rule(pak_get, "GET", {{"stall_after", 20000}, {"stall", 20}})} << QStringLiteral("超时")
            << false;
        QTest::newRow("no headers within the time-out")
            << QJsonArray{rule(pak_get, "GET", {{"delay", 20}})} << QStringLiteral("超时") << false;
        QTest::newRow("body shorter than its Content-Length")
            << QJsonArray{rule(pak_get, "GET", {{"content_length", 200000}})} << QString() << false;
        QTest::newRow("cut without Content-Length, shorter than measured, every time")
            << QJsonArray{rule(pak_get, "GET", {{"content_length", "none"}, {"cut_after", 10000}})}
            << QStringLiteral("响应不完整") << false;
        QTest::newRow("body longer than measured, without Content-Length")
            << QJsonArray{rule(sig_get, "GET", {{"body", "SIGNATURE AND MORE"}, {"content_length", "none"}})}
            << QStringLiteral("响应长度不符: 收到 18 字节，应为 3 字节") << true;
        QTest::newRow("sizing request stalls")
            << QJsonArray{rule(pak_get, "HEAD", {{"delay", 20}})} << QStringLiteral("超时") << false;
    }

    void failures()
    {
        QFETCH(QJsonArray, faults);
        QFETCH(QString, expected);
        QFETCH(bool, old_pak);
        serve(QStringLiteral("coat.pak"), random_bytes(100000, 5));
        serve(QStringLiteral("coat.sig"), "SIG");
        server.set_faults(faults);
        const QByteArray old_data = random_bytes(3000, 55);
        if (old_pak)
            QVERIFY(write_file(mod_dir + QStringLiteral("/coat.pak"), old_data));

        DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
        worker.set_timeouts(1, 1);
        const Report report = run(worker);

        QCOMPARE(report.finished, QStringList());
        QCOMPARE(report.errors.size(), 1);
        QVERIFY2(report.errors.first().startsWith(QStringLiteral("Blue Coat: ")), qPrintable(report.errors.first()));
        QVERIFY2(report.errors.first().size() > QStringLiteral("Blue Coat: ").size(), "empty error text");
        QVERIFY2(report.errors.first().contains(expected), qPrintable(report.errors.first()));
        // The mod folder is as the task found it.
        const QStringList expected_files = old_pak ? QStringList{QStringLiteral("coat.pak")} : QStringList();
        QCOMPARE(files_below(mod_dir), expected_files);
        if (old_pak)
            QVERIFY(read_file(mod_dir + QStringLiteral("/coat.pak")) == old_data);
    }

    // A package transfer that breaks off goes on from the last byte on disk.
    void resume_data()
    {
        QTest::addColumn<QJsonArray>("faults");       // on the package's GETs, in order
        QTest::addColumn<bool>("file_changes");       // rewritten on the server at the first progress
        QTest::addColumn<bool>("cancel_in_pause");    // cancelled once the last line below is logged
        QTest::addColumn<QString>("error");           // part of the error text; empty: installed
        // Range of each package GET, and whether it names the version it wants.
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<QStringList>("logged");      // warning lines about resuming
        const QString pak = QStringLiteral("pak_original");
        auto cut = [&](int after) { return rule(pak, "GET", {{"cut_after", after}, {"times", 1}}); };
        // Bound to the range asked for rather than counted, so that a request
        // the network layer sends twice is cut twice alike.
        auto cut_from = [&](int from, int after) {
            QJsonObject fault{{"cut_after", after}, {"range", from ? QStringLiteral("bytes=%1-").arg(from) : QString("")}};
            return rule(pak, "GET", fault);
        };
        auto resumed = [](int from, int k) {
            return QStringLiteral("WARNING 下载中断，从 %1 字节处继续 (%2/3): coat.pak").arg(from).arg(k);
        };
        const QString restarted = QStringLiteral("WARNING 服务器不支持断点续传，重新下载: coat.pak");
        const QJsonArray three_cuts{cut_from(0, 10000), cut_from(10000, 10000), cut_from(20000, 10000)};
        QJsonArray four_cuts = three_cuts;
        four_cuts.append(cut_from(30000, 10000));

        QTest::newRow("one cut, resumed") << QJsonArray{cut_from(0, 30000)} << false << false << QString()
                                          << QStringList{"", "bytes=30000- If-Range"} << QStringList{resumed(30000, 1)};
        QTest::newRow("three cuts, then whole")
            << three_cuts << false << false << QString()
            << QStringList{"", "bytes=10000- If-Range", "bytes=20000- If-Range", "bytes=30000- If-Range"}
            << QStringList{resumed(10000, 1), resumed(20000, 2), resumed(30000, 3)};
        QTest::newRow("four cuts: the error of before")
            << four_cuts << false << false
            << QStringLiteral("Blue Coat: ") << QStringList{"", "bytes=10000- If-Range", "bytes=20000- If-Range", "bytes=30000- If-Range"}
            << QStringList{resumed(10000, 1), resumed(20000, 2), resumed(30000, 3)};
        // Sent on to a closed port, so that every connection attempt is refused.
        const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(TestServer::closed_port());
        // (How often the network layer knocks is its own affair: no ranges checked.)
        QTest::newRow("each refused resume counts, then the error")
            << QJsonArray{cut_from(0, 30000), rule(pak, "GET", {{"redirect", refused}})} << false << false
            << QStringLiteral("Connection refused") << QStringList()
            << QStringList{resumed(30000, 1), resumed(30000, 2), resumed(30000, 3)};
        QTest::newRow("server ignores Range: from zero")
            << QJsonArray{cut_from(0, 30000), rule(pak, "GET", {{"ignore_range", true}})}
            << false << false << QString() << QStringList{"", "bytes=30000- If-Range"}
            << QStringList{resumed(30000, 1), restarted};
        // Without a validator a 206 could be part of another version.
        QTest::newRow("no validator: from zero, no Range asked")
            << QJsonArray{rule(pak, "GET", {{"cut_after", 30000}, {"no_ranges", true}, {"times", 1}}),
                          rule(pak, "GET", {{"no_ranges", true}})}
            << false << false << QString() << QStringList{"", ""} << QStringList{restarted};
        const QJsonObject weak{{"etag", "W/\"abc\""}, {"last_modified", QJsonValue()}};
        QTest::newRow("weak ETag only: from zero, no Range asked")
            << QJsonArray{rule(pak, "GET", {{"cut_after", 30000}, {"validators", weak}, {"times", 1}}),
                          rule(pak, "GET", {{"validators", weak}})}
            << false << false << QString() << QStringList{"", ""} << QStringList{restarted};
        // Where the file has an ETag, even a weak one, If-Range may not carry its date.
        const QJsonObject weak_and_date{{"etag", "W/\"abc\""}};
        QTest::newRow("weak ETag and a date: from zero, no Range asked")
            << QJsonArray{rule(pak, "GET", {{"cut_after", 30000}, {"validators", weak_and_date}, {"times", 1}}),
                          rule(pak, "GET", {{"validators", weak_and_date}})}
            << false << false << QString() << QStringList{"", ""} << QStringList{restarted};
        // The answer to the resumed request, whichever copy of it comes.
        auto on_resume = [&](QJsonObject fault) {
            fault.insert(QStringLiteral("range"), QStringLiteral("bytes=30000-"));
            return rule(pak, "GET", fault);
        };
        // The date is the validator; a 206 need not repeat it, but one that
        // names another date is part of another version.
        const QJsonObject date_only{{"etag", QJsonValue()}};
        const QJsonObject dated_cut{{"validators", date_only}, {"cut_after", 30000}, {"range", ""}};
        QTest::newRow("date only, 206 without it: resumed")
            << QJsonArray{rule(pak, "GET", dated_cut),
                          on_resume({{"validators", date_only}, {"partial_without", QJsonArray{"Last-Modified"}}})}
            << false << false << QString() << QStringList{"", "bytes=30000- If-Range"} << QStringList{resumed(30000, 1)};
        const QJsonObject other_date{{"etag", QJsonValue()}, {"last_modified", "Mon, 01 Jan 2001 00:00:00 GMT"}};
        QTest::newRow("date only, 206 with another date: from zero")
            << QJsonArray{rule(pak, "GET", {{"validators", date_only}, {"cut_after", 30000}, {"times", 1}}),
                          on_resume({{"validators", other_date}, {"ignore_if_range", true}}),
                          rule(pak, "GET", {{"validators", date_only}})}
            << false << false << QString() << QStringList{"", "bytes=30000- If-Range", ""}
            << QStringList{resumed(30000, 1), restarted};
        // Appended, these would make a file longer than the whole.
        QTest::newRow("206 body longer than its Content-Range: from zero")
            << QJsonArray{cut(30000), on_resume({{"range_body", "whole"}})} << false << false
            << QString() << QStringList{"", "bytes=30000- If-Range", ""} << QStringList{resumed(30000, 1), restarted};
        QTest::newRow("chunked 206 body longer than its Content-Range: from zero")
            << QJsonArray{cut(30000), on_resume({{"range_body", "whole"}, {"chunked", true}})}
            << false << false << QString() << QStringList{"", "bytes=30000- If-Range", ""}
            << QStringList{resumed(30000, 1), restarted};
        // A server that ignores If-Range: the rest of another version.
        const QJsonObject other_etag{{"validators", QJsonObject{{"etag", "\"xyz\""}}}, {"ignore_if_range", true}};
        QTest::newRow("206 with another ETag: from zero")
            << QJsonArray{cut(30000), on_resume(other_etag)} << false << false << QString()
            << QStringList{"", "bytes=30000- If-Range", ""} << QStringList{resumed(30000, 1), restarted};
        QTest::newRow("file changed between attempts: from zero")
            << QJsonArray{cut(30000)} << true << false << QString() << QStringList{"", "bytes=30000- If-Range"}
            << QStringList{resumed(30000, 1), restarted};
        QTest::newRow("416: from zero once, then the error")
            << QJsonArray{cut(30000), on_resume({{"status", 416}}), cut(30000)}
            << false << false << QStringLiteral("416 Client Error")
            << QStringList{"", "bytes=30000- If-Range", "", "bytes=30000- If-Range"}
            << QStringList{resumed(30000, 1), restarted, resumed(30000, 2)};
        const QJsonObject range_from_zero{{"Content-Range", "bytes 0-99999/100000"}};
        QTest::newRow("Content-Range not where asked: from zero once, then the error")
            << QJsonArray{cut(30000), on_resume({{"status", 206}, {"headers", range_from_zero}}), cut(30000)} << false << false
            << QStringLiteral("续传应答不符: Content-Range: bytes 0-99999/100000")
            << QStringList{"", "bytes=30000- If-Range", "", "bytes=30000- If-Range"}
            << QStringList{resumed(30000, 1), restarted, resumed(30000, 2)};
        // In the last, longest pause, so that a slow test thread still finds it.
        QTest::newRow("cancel during the pause")
            << three_cuts << false << true << QString()
            << QStringList{"", "bytes=10000- If-Range", "bytes=20000- If-Range"}
            << QStringList{resumed(10000, 1), resumed(20000, 2), resumed(30000, 3)};
    }

    void resume()
    {
        QFETCH(QJsonArray, faults);
        QFETCH(bool, file_changes);
        QFETCH(bool, cancel_in_pause);
        QFETCH(QString, error);
        QFETCH(QStringList, ranges);
        QFETCH(QStringList, logged);
        const QByteArray first = random_bytes(100000, 10);
        const QByteArray second = random_bytes(100000, 11);
        serve(QStringLiteral("coat.pak"), first);
        serve(QStringLiteral("coat.sig"), "SIG");
        server.set_faults(faults);
        LogCapture log;

        DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
        bool changed = false;
        const Report report = run(
            worker,
            [&](DownloadWorker &, int) {
                if (file_changes && !changed)
                    serve(QStringLiteral("coat.pak"), second);
                changed = true;
            },
            [&](DownloadWorker &w, QThread &thread, Report &) {
                if (!cancel_in_pause)
                    return;
                QTRY_VERIFY_WITH_TIMEOUT(log.texts().contains(logged.last()), 10000);
                w.cancel();
                QVERIFY(thread.wait(5000));
            });

        QStringList got_ranges;
        for (const QJsonValue &entry : server.requests()) {
            const QJsonObject request = entry.toObject();
            if (request.value("method").toString() != QLatin1String("GET")
                || !request.value("query").toString().contains(QStringLiteral("pak_original")))
                continue;
            const QJsonObject headers = request.value("headers").toObject();
            got_ranges << headers.value("Range").toString()
                    + (headers.contains("If-Range") ? QStringLiteral(" If-Range") : QString());
        }
        // The network layer may send one request twice when its connection
        // closes under it: repeats in a row count once.
        auto once = [](const QStringList &list) {
            QStringList out;
            for (const QString &item : list)
                if (out.isEmpty() || out.last() != item)
                    out << item;
            return out;
        };
        if (!ranges.isEmpty())
            QVERIFY2(once(got_ranges) == once(ranges), qPrintable(got_ranges.join(QStringLiteral(" | "))));
        QStringList got_logged;
        for (const QString &line : log.texts()) {
            if (line.contains(QStringLiteral("下载中断")) || line.contains(QStringLiteral("断点续传")))
                got_logged << line;
        }
        QVERIFY2(got_logged == logged, qPrintable(got_logged.join(QStringLiteral(" | "))));

        if (cancel_in_pause) {
            QCOMPARE(report.finished, QStringList());
            QCOMPARE(report.errors, QStringList());
            QCOMPARE(files_below(mod_dir), QStringList());
        } else if (error.isEmpty()) {
            QCOMPARE(report.errors, QStringList());
            QCOMPARE(report.finished.size(), 1);
            QCOMPARE(read_file(mod_dir + QStringLiteral("/coat.pak")), file_changes ? second : first);
            QCOMPARE(files_below(mod_dir), sorted({QStringLiteral("coat.pak"), QStringLiteral("coat.sig")}));
            QCOMPARE(report.progress.last(), 100);
            // Backwards only where the file started again from zero.
            if (!logged.contains(QStringLiteral("WARNING 服务器不支持断点续传，重新下载: coat.pak")))
                QVERIFY(std::is_sorted(report.progress.begin(), report.progress.end()));
        } else {
            QCOMPARE(report.finished, QStringList());
            QCOMPARE(report.errors.size(), 1);
            QVERIFY2(report.errors.first().contains(error), qPrintable(report.errors.first()));
            QCOMPARE(files_below(mod_dir), QStringList());
        }
    }

    void server_unreachable()
    {
        const ServerEndpoints closed =
            ServerEndpoints::from_base(QStringLiteral("http://127.0.0.1:%1").arg(TestServer::closed_port()));
        DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, closed);
        const Report report = run(worker);
        QCOMPARE(report.errors.size(), 1);
        QVERIFY(report.finished.isEmpty());
        QCOMPARE(files_below(mod_dir), QStringList());
    }

    void unwritable_targets_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("blocked_dir");   // relative to the mod folder
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("old_pak");
        // Made immutable while the signature's move is retried; the blocking
        // folder goes then too, unless the new package is the one locked.
        QTest::addColumn<QString>("locked_midway");
        QTest::newRow("mod folder cannot be created") << "/proc/1/furlane-game" << "" << "无法创建目录: " << false << "";
        QTest::newRow("temporary file cannot be created") << "" << "coat.pak.tmp" << "无法写入临时文件: " << false << "";
        QTest::newRow("final name held by a folder") << "" << "coat.pak" << "无法移动文件到目标位置: " << false << "";
        // The package has moved in when the signature cannot: it goes again
        // and the older package it replaced comes back.
        QTest::newRow("signature's final name held by a folder")
            << "" << "coat.sig" << "无法移动文件到目标位置: " << true << "";
        QTest::newRow("journal's name held by a folder")
            << "" << "furlane-install.journal" << "无法写入安装记录: " << true << "";
        // ... and while the signature's move is retried, the new package
        // becomes impossible to remove: the older one stays as the backup.
        QTest::newRow("signature blocked, new package locked: backup named")
            << "" << "coat.sig" << "无法恢复原文件: " << true << "coat.pak";
        // Both new files stand, but the journal cannot say so: the install
        // is undone, and the journal that cannot go is undone again later.
        QTest::newRow("commit cannot be written")
            << "" << "coat.sig" << "无法写入安装记录: " << true << "furlane-install.journal";
    }

    void unwritable_targets()
    {
        QFETCH(QString, game);
        QFETCH(QString, blocked_dir);
        QFETCH(QString, expected);
        QFETCH(bool, old_pak);
        QFETCH(QString, locked_midway);
        serve(QStringLiteral("coat.pak"), random_bytes(20000, 6));
        serve(QStringLiteral("coat.sig"), "SIG");
        DownloadTask task = task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig"));
        if (!game.isEmpty())
            task.game_dir = game;
        if (!blocked_dir.isEmpty()) {
            // A folder that holds a file can be neither opened as a file,
            // deleted nor renamed over.
            QVERIFY(QDir().mkpath(mod_dir + QLatin1Char('/') + blocked_dir));
            QFile keep(mod_dir + QLatin1Char('/') + blocked_dir + QStringLiteral("/keep"));
            QVERIFY(keep.open(QIODevice::WriteOnly));
        }
        if (old_pak)
            QVERIFY(write_file(mod_dir + QStringLiteral("/coat.pak"), "older package"));
        const bool lock_new_pak = locked_midway == QLatin1String("coat.pak");
        const bool lock_journal = locked_midway == QLatin1String("furlane-install.journal");
        const QString new_pak = mod_dir + QStringLiteral("/coat.pak");
        const QString journal = mod_dir + QStringLiteral("/furlane-install.journal");
        struct Unlock {
            QString path;
            ~Unlock() { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path}); }
        } unlock{mod_dir + QLatin1Char('/') + locked_midway};
        bool locked = false;
        LogCapture log;
        DownloadWorker worker(task, m_services.http, endpoints);
        const Report report = run(worker, {}, [&](DownloadWorker &, QThread &, Report &) {
            if (locked_midway.isEmpty())
                return;
            // Between the retries of the signature's move (a second or more).
            QTRY_VERIFY_WITH_TIMEOUT(log.texts().contains(QStringLiteral("WARNING 重命名重试 1/3: ")
                                                          + QDir::toNativeSeparators(mod_dir + "/coat.sig.tmp")),
                                     20000);
            if (lock_journal)
                QDir(mod_dir + QLatin1Char('/') + blocked_dir).removeRecursively();
            locked = QProcess::execute(QStringLiteral("chattr"),
                                       {QStringLiteral("+i"), mod_dir + QLatin1Char('/') + locked_midway}) == 0;
        });
        if (!locked_midway.isEmpty() && !locked)
            QSKIP("no immutable attribute here: the locked file was not driven");
        QCOMPARE(report.finished, QStringList());
        QCOMPARE(report.errors.size(), 1);
        QVERIFY2(report.errors.first().contains(expected), qPrintable(report.errors.first()));
        QStringList expected_files = blocked_dir.isEmpty() || lock_journal
            ? QStringList() : QStringList{blocked_dir + QStringLiteral("/keep")};
        if (old_pak)
            expected_files << QStringLiteral("coat.pak");
        if (lock_new_pak) {
            // Named in the error, kept for the next start or close to put back.
            QVERIFY2(report.errors.first().contains(QDir::toNativeSeparators(new_pak + ".old.tmp")),
                     qPrintable(report.errors.first()));
            expected_files << QStringLiteral("coat.pak.old.tmp") << QStringLiteral("furlane-install.journal");
            QCOMPARE(read_file(new_pak + ".old.tmp"), QByteArray("older package"));
        } else if (lock_journal) {
            // Left without the commit mark: the next start undoes nothing more.
            expected_files << QStringLiteral("furlane-install.journal");
            QCOMPARE(read_file(new_pak), QByteArray("older package"));
            QVERIFY(!read_file(journal).contains("committed"));
        } else if (old_pak) {
            QCOMPARE(read_file(new_pak), QByteArray("older package"));
        }
        QCOMPARE(files_below(mod_dir), sorted(expected_files));
        if (!game.isEmpty())
            QVERIFY(!QFileInfo::exists(task.game_dir));
    }

    void hostile_names_data()
    {
        QTest::addColumn<QString>("pak");
        QTest::addColumn<QString>("landed");   // empty: refused
        QTest::newRow("backslashes climbing out") << "..\\..\\evil.dll" << "evil.dll";
        QTest::newRow("slashes climbing out") << "a/../../x.pak" << "x.pak";
        QTest::newRow("absolute path") << "/etc/cron.d/evil" << "evil";
        QTest::newRow("windows drive path") << "C:\\Windows\\evil.dll" << "evil.dll";
        QTest::newRow("ends in dot dot") << "a/.." << "";
        QTest::newRow("device name") << "skins\\NUL.pak" << "";
        QTest::newRow("alternate data stream") << "coat.pak:hidden" << "";
    }

    void hostile_names()
    {
        QFETCH(QString, pak);
        QFETCH(QString, landed);
        serve(QStringLiteral("coat.sig"), "SIG");
        // The server happily answers whatever is asked for.
        server.set_faults({rule(QStringLiteral("pak_original="), QString(), {{"body", "PAYLOAD"}})});
        DownloadWorker worker(task_for(pak, QStringLiteral("coat.sig")), m_services.http, endpoints);
        const Report report = run(worker);
        const QString mod_rel = QStringLiteral("game/DreadHunger/Content/Paks/orvexs/");
        if (landed.isEmpty()) {
            QCOMPARE(report.errors, QStringList{QStringLiteral("Blue Coat: 文件名无效: ") + pak});
            QCOMPARE(files_below(sandbox.path()), QStringList());
            QCOMPARE(server.requests().size(), 0);
        } else {
            QCOMPARE(report.errors, QStringList());
            QCOMPARE(files_below(sandbox.path()),
                     sorted({mod_rel + landed, mod_rel + QStringLiteral("coat.sig")}));
            QCOMPARE(read_file(sandbox.path() + QLatin1Char('/') + mod_rel + landed), QByteArray("PAYLOAD"));
        }
    }

    void cancel_during_package()
    {
        serve(QStringLiteral("coat.pak"), random_bytes(200000, 7));
        serve(QStringLiteral("coat.sig"), "SIG");
        DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
        const Report report = run(worker, [](DownloadWorker &w, int) { w.cancel(); });
        QCOMPARE(report.progress.size(), 1);
        QVERIFY(report.finished.isEmpty());
        QVERIFY(report.errors.isEmpty());
        QCOMPARE(files_below(mod_dir), QStringList());
    }

    // Cancelling from another thread while the server holds back data: the
    // worker must notice the flag during its wait, long before any time-out.
    void cancel_while_server_stalls_data()
    {
        QTest::addColumn<QJsonArray>("faults");
        QTest::addColumn<bool>("wait_for_package");
        QTest::addColumn<bool>("old_pak");
        QTest::newRow("stalled inside the package")
            << QJsonArray{rule("pak_original", "GET", {{"stall_after", 20000}, {"stall", 60}})} << false << false;
        QTest::newRow("package sizing stalls")
            << QJsonArray{rule("pak_original", "HEAD", {{"delay", 60}})} << false << false;
        // The package is whole but not yet in place: nothing of it stays.
        QTest::newRow("between the files: signature headers held back")
            << QJsonArray{rule("sig_original", "GET", {{"delay", 60}})} << true << false;
        QTest::newRow("between the files, older package there")
            << QJsonArray{rule("sig_original", "GET", {{"delay", 60}})} << true << true;
    }

    void cancel_while_server_stalls()
    {
        QFETCH(QJsonArray, faults);
        QFETCH(bool, wait_for_package);
        QFETCH(bool, old_pak);
        serve(QStringLiteral("coat.pak"), random_bytes(100000, 8));
        serve(QStringLiteral("coat.sig"), "SIG");
        server.set_faults(faults);
        if (old_pak)
            QVERIFY(write_file(mod_dir + QStringLiteral("/coat.pak"), "older package"));
        DownloadWorker worker(task_for(QStringLiteral("coat.pak"), QStringLiteral("coat.sig")), m_services.http, endpoints);
        bool prompt = false;
        const Report report = run(worker, {}, [&](DownloadWorker &w, QThread &thread, Report &) {
            const QString pak_temp = mod_dir + QStringLiteral("/coat.pak.tmp");
            if (wait_for_package)
                QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(pak_temp).size(), qint64(100000), 10000);
            else
                QTest::qWait(1500);
            QVERIFY(thread.isRunning());
            w.cancel();
            // Far below the 30 s time-out and the minute-long stall.
            prompt = thread.wait(5000);
        });
        QVERIFY(prompt);
        QVERIFY(report.finished.isEmpty());
        QVERIFY(report.errors.isEmpty());
        QCOMPARE(files_below(mod_dir), old_pak ? QStringList{QStringLiteral("coat.pak")} : QStringList());
        if (old_pak)
            QCOMPARE(read_file(mod_dir + QStringLiteral("/coat.pak")), QByteArray("older package"));
    }
};

QTEST_MAIN(TestDownloadWorker)
#include "tst_download_worker.moc"
