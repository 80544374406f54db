// Download benchmarks, driven by scripts/bench.sh against a loopback server.
//
//   furlane_bench download <base> <game_dir> <skin>
//       installs the skin through the download queue while the event loop
//       runs a 10 ms timer and a card-like button follows the progress;
//       prints "seconds <s> bytes <n> lateness_ms <worst> peak_rss_kib <k>".
//   furlane_bench cancel <base> <game_dir> <skin> <repeats>
//       starts the skin's download as many times as asked, waits for its first
//       progress (the server then stalls) and times cancel_task; prints
//       "cancel_ms <worst> <median>".
// The skin's files are skins/Bench/Big/<skin>.pak and .sig on the server.

#include "bench_support.h"

#include "app/program_services.h"
#include "core/download/download_manager.h"
#include "core/install/skin_files.h"
#include "core/support/config.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

DownloadTask bench_task(const QString &skin, const QString &game_dir)
{
    const QJsonObject record{{QStringLiteral("name"), skin},
                             {QStringLiteral("MainCategory"), QStringLiteral("Bench")},
                             {QStringLiteral("subcategory"), QStringLiteral("Big")},
                             {QStringLiteral("pak_original"), skin + QStringLiteral(".pak")},
                             {QStringLiteral("sig_original"), skin + QStringLiteral(".sig")}};
    return DownloadTask{skin, record, game_dir};
}

// Peak resident set size of this process in KiB.
long peak_rss_kib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int bench_download(DownloadManager *manager, const QString &game_dir, const QString &skin)
{
    QPushButton button(QStringLiteral("安装"));
    button.show();

    // The GUI thread's latency: how late a 10 ms timer fires, at worst.
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst_late = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst_late = std::max(worst_late, now - last - 10 * 1000 * 1000);
        last = now;
    });

    QEventLoop loop;
    QString failure;
    QObject::connect(manager, &DownloadManager::progress_updated, &button, [&](const QString &, int percent) {
        button.setText(QStringLiteral("下载中 ") + QString::number(percent) + QStringLiteral("%"));
    });
    QObject::connect(manager, &DownloadManager::task_completed, &loop, &QEventLoop::quit);
    QObject::connect(manager, &DownloadManager::task_failed, &loop, [&](const QString &, const QString &error) {
        failure = error;
        loop.quit();
    });

    QElapsedTimer total;
    QTimer::singleShot(0, [&] {
        clock.start();
        tick.start();
        total.start();
        manager->add_task(bench_task(skin, game_dir));
    });
    loop.exec();
    const double seconds = total.nsecsElapsed() / 1e9;
    tick.stop();
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(failure));
        return 1;
    }
    const QString mod = mod_folder_path(game_dir) + QLatin1Char('/') + skin;
    const qint64 bytes = QFileInfo(mod + QStringLiteral(".pak")).size() + QFileInfo(mod + QStringLiteral(".sig")).size();
    std::printf("seconds %.4f bytes %lld lateness_ms %.2f peak_rss_kib %ld\n", seconds,
                static_cast<long long>(bytes), worst_late / 1e6, peak_rss_kib());
    return 0;
}

int bench_cancel(DownloadManager *manager, const QString &game_dir, const QString &skin, int repeats)
{
    QVector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QEventLoop loop;
        auto started = QObject::connect(manager, &DownloadManager::progress_updated, &loop, &QEventLoop::quit);
        bool failed = false;
        auto fail = QObject::connect(manager, &DownloadManager::task_failed, &loop, [&] {
            failed = true;
            loop.quit();
        });
        manager->add_task(bench_task(skin, game_dir));
        loop.exec();
        QObject::disconnect(started);
        QObject::disconnect(fail);
        if (failed) {
            std::fprintf(stderr, "download failed before it could be cancelled\n");
            return 1;
        }
        // Let the worker settle into its wait for the stalled server.
        QEventLoop settle;
        QTimer::singleShot(200, &settle, &QEventLoop::quit);
        settle.exec();

        QElapsedTimer timer;
        timer.start();
        const bool ok = manager->cancel_task(skin);
        times << timer.nsecsElapsed() / 1e6;
        if (!ok) {
            std::fprintf(stderr, "cancel_task found no task\n");
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("cancel_ms %.2f %.2f\n", times.last(), times.at(times.size() / 2));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The installs leave their records below the home: a private one.
    QTemporaryDir home;
    use_private_home(home.path());
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: furlane_bench download|cancel <base> <game_dir> <skin> [repeats]\n");
        return 2;
    }
    ProgramServices services;
    services.downloads.set_endpoints(ServerEndpoints::from_base(args.at(2)));
    if (args.at(1) == QLatin1String("download"))
        return bench_download(&services.downloads, args.at(3), args.at(4));
    if (args.at(1) == QLatin1String("cancel"))
        return bench_cancel(&services.downloads, args.at(3), args.at(4), args.value(5, QStringLiteral("10")).toInt());
    return 2;
}
