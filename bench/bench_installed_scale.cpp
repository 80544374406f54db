// The installed skins at scale: 5,000 catalogue skins installed (10,000
// files) below a mod folder, the catalogue of 20,000 records, the folder
// scanned off the GUI thread as the window does it. Measures, as medians of
// `rounds` rounds:
//
//   listing_ms   one listing of the mod folder as the first start's scan
//                makes it: the walk, each file's size and time taken as it
//                goes (one look at each file); names_ms the walk for names
//                alone, as later scans make it;
//   adopt_ms     the first start after an upgrade: from the scan's request to
//                its result taken on the GUI thread, all 5,000 adopted into
//                an empty store (and the store written);
//   answer_ms    what a skin list answer costs the GUI thread for what is
//                installed (the records handed to the scan, then its result
//                reconciled), with 5,000 installed and with none
//                (answer_none_ms);
//   lateness_ms  the worst lateness of a 10 ms GUI timer during the adoption.
//
// Prints one line: "listing_ms <x> names_ms <n> adopt_ms <y> adopt_ratio <y/x>
// answer_ms <a> answer_none_ms <b> answer_extra_ms <a-b> lateness_ms <l>
// installed <n>".
// Usage: furlane_bench_installed_scale <work folder> [rounds]
#include "bench_support.h"
#include "core/install/install_store.h"
#include "core/install/installed_scan.h"
#include "core/install/installed_skins.h"
#include "core/install/skin_files.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int INSTALLED = 5000;

bool install_files(const QString &mod, const QJsonArray &catalogue)
{
    for (int i = 0; i < INSTALLED; ++i) {
        const QJsonObject skin = catalogue.at(i).toObject();
        // Every tenth pair in a folder of its own, as players sort them.
        const QString folder = i % 10 == 0 ? mod + QStringLiteral("/mine") : mod;
        for (const char *key : {"pak_original", "sig_original"}) {
            QFile file(folder + QLatin1Char('/') + skin_file_name(skin.value(QLatin1String(key)).toString()));
            if (!file.open(QIODevice::WriteOnly) || file.write("installed skin") < 0)
                return false;
        }
    }
    return true;
}

// One scan through `scanner`, waited for in an event loop (so the GUI
// timer keeps running), as the window asks for it; the GUI thread's part is
// timed into `gui_ms`: the records handed over, then the result reconciled.
InstalledScan scan_and_take(InstalledScanner &scanner, const QString &game_dir, const SkinFileIndex &index,
                            InstallStore &store, double *gui_ms)
{
    QElapsedTimer timer;
    timer.start();
    const quint64 generation = scanner.request(game_dir, index, store.records());
    double gui = ms_since(timer);
    InstalledScan result;
    QEventLoop loop;
    QObject::connect(&scanner, &InstalledScanner::scanned, &loop, [&](const InstalledScan &scan) {
        if (scan.generation != generation)
            return;
        QElapsedTimer taking;
        taking.start();
        store.reconcile(scan.mod_folder, scan.installed.records, scan.files, scan.adoptable);
        gui += ms_since(taking);
        result = scan;
        loop.quit();
    });
    loop.exec();
    if (gui_ms)
        *gui_ms = gui;
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <work folder> [rounds]\n", argv[0]);
        return 2;
    }
    use_private_home(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/home"));
    QCoreApplication app(argc, argv);
    const int rounds = argc > 2 ? qMax(1, QString::fromLocal8Bit(argv[2]).toInt()) : 5;
    const QString work = QString::fromLocal8Bit(argv[1]);
    const QString mod = mod_folder_path(work + QStringLiteral("/game"));
    const QString empty_mod = mod_folder_path(work + QStringLiteral("/empty_game"));
    QDir().mkpath(mod + QStringLiteral("/mine"));
    QDir().mkpath(empty_mod);
    const QJsonArray catalogue = scale_catalogue();
    if (!install_files(mod, catalogue)) {
        std::fprintf(stderr, "cannot write the installed files below %s\n", qPrintable(mod));
        return 1;
    }

    std::vector<double> listing_ms, names_ms, adopt_ms, adopt_ratio, answer_ms, none_ms, lateness_ms;
    const SkinFileIndex index(catalogue);
    InstalledScanner scanner;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const ModFiles names = ModFiles::list(mod);
        names_ms.push_back(ms_since(timer));
        timer.restart();
        const ModFiles listed = ModFiles::list(mod, ModFiles::Stamps::Yes);
        const double listing = ms_since(timer);
        if (names.entries().size() != listed.entries().size())
            return 1;
        if (listed.entries().size() != 2 * INSTALLED) {
            std::fprintf(stderr, "listed %d files\n", int(listed.entries().size()));
            return 1;
        }

        const QString store_path = work + QStringLiteral("/store%1.json").arg(round);
        InstallStore store(store_path);
        LatenessProbe probe;
        probe.start();
        timer.restart();
        // Timed while the result is still held: how long its memory takes to
        // be given back is no part of the wait.
        const InstalledScan adopted = scan_and_take(scanner, work + QStringLiteral("/game"), index, store, nullptr);
        const double adopt = ms_since(timer);
        // A tick held back by the last of the work fires only after it.
        QEventLoop settle;
        QTimer::singleShot(30, &settle, &QEventLoop::quit);
        settle.exec();
        probe.stop();
        if (store.records_in(mod).size() != INSTALLED) {
            std::fprintf(stderr, "adopted %d skins\n", int(store.records_in(mod).size()));
            return 1;
        }

        double installed_gui = 0, none_gui = 0;
        scan_and_take(scanner, work + QStringLiteral("/game"), index, store, &installed_gui);
        InstallStore empty_store(work + QStringLiteral("/empty_store%1.json").arg(round));
        scan_and_take(scanner, work + QStringLiteral("/empty_game"), index, empty_store, &none_gui);

        listing_ms.push_back(listing);
        adopt_ms.push_back(adopt);
        adopt_ratio.push_back(adopt / listing);
        answer_ms.push_back(installed_gui);
        none_ms.push_back(none_gui);
        lateness_ms.push_back(probe.worst_ms());
        QFile::remove(store_path);
    }
    std::printf("listing_ms %.2f names_ms %.2f adopt_ms %.2f adopt_ratio %.3f answer_ms %.2f answer_none_ms %.2f "
                "answer_extra_ms %.2f lateness_ms %.2f installed %d\n",
                median(listing_ms), median(names_ms), median(adopt_ms), median(adopt_ratio), median(answer_ms), median(none_ms),
                median(answer_ms) - median(none_ms), median(lateness_ms), INSTALLED);
    return 0;
}
