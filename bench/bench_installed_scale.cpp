// The installed skins at scale: 5,000 catalogue skins installed (10,000
// files) below a mod folder, the catalogue of 20,000 records. Measures, as
// medians of `rounds` rounds:
//
//   listing_ms  one listing of the mod folder (the walk alone);
//   adopt_ms    the first start after an upgrade: the listing, the scan of
//               the catalogue's skins in it and the reconcile that adopts
//               all 5,000 into an empty store (and writes it);
//   answer_ms   what a skin list answer costs the GUI thread for what is
//               installed: the catalogue's file index, the listing, the scan
//               and the reconcile of a store that already holds every
//               record; with 5,000 installed and with none (answer_none_ms).
//
// Prints one line: "listing_ms <x> adopt_ms <y> adopt_ratio <y/x>
// answer_ms <a> answer_none_ms <b> answer_extra_ms <a-b> installed <n>".
// Usage: furlane_bench_installed_scale <work folder> [rounds]
#include "bench_support.h"
#include "core/install/install_store.h"
#include "core/install/installed_skins.h"
#include "core/install/skin_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonObject>

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

// The GUI thread's part of one list answer for what is installed.
double answer(const QString &mod, const QJsonArray &catalogue, InstallStore &store)
{
    QElapsedTimer timer;
    timer.start();
    const SkinFileIndex index(catalogue);
    const ModFiles files = ModFiles::list(mod);
    const InstalledSkins installed = index.scan(files);
    store.reconcile(mod, installed.records, files);
    return ms_since(timer);
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

    std::vector<double> listing_ms, adopt_ms, adopt_ratio, answer_ms, none_ms;
    const SkinFileIndex index(catalogue);
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const ModFiles listed = ModFiles::list(mod);
        const double listing = ms_since(timer);
        if (listed.entries().size() != 2 * INSTALLED) {
            std::fprintf(stderr, "listed %d files\n", int(listed.entries().size()));
            return 1;
        }

        const QString store_path = work + QStringLiteral("/store%1.json").arg(round);
        InstallStore store(store_path);
        timer.restart();
        const ModFiles files = ModFiles::list(mod);
        const InstalledSkins installed = index.scan(files);
        store.reconcile(mod, installed.records, files);
        const double adopt = ms_since(timer);
        if (store.records_in(mod).size() != INSTALLED) {
            std::fprintf(stderr, "adopted %d skins\n", int(store.records_in(mod).size()));
            return 1;
        }

        listing_ms.push_back(listing);
        adopt_ms.push_back(adopt);
        adopt_ratio.push_back(adopt / listing);
        answer_ms.push_back(answer(mod, catalogue, store));
        InstallStore empty_store(work + QStringLiteral("/empty_store%1.json").arg(round));
        none_ms.push_back(answer(empty_mod, catalogue, empty_store));
        QFile::remove(store_path);
    }
    std::printf("listing_ms %.2f adopt_ms %.2f adopt_ratio %.3f answer_ms %.2f answer_none_ms %.2f "
                "answer_extra_ms %.2f installed %d\n",
                median(listing_ms), median(adopt_ms), median(adopt_ratio), median(answer_ms), median(none_ms),
                median(answer_ms) - median(none_ms), INSTALLED);
    return 0;
}
