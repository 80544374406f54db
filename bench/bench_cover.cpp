// Page build from a warm cover cache, run by scripts/bench.sh.
//
//   furlane_bench_cover [repeats]
//
// Puts six 1920 x 1080 JPEG covers into a private cover cache, then times
// (a) building a page of six cards from that cache into a three-column flow
// layout, as the grid does on every page change (covers prefetched, cards
// created, installed check, layout, shown), and (b) merely decoding
// the six files at full size, the two interleaved round by round. Prints
// "page_ms <median> decode_ms <median> ratio <median of the per-round
// ratios> cover_kib <average file size>"; pairing the rounds keeps the
// ratio steady on a busy machine.
// Fails when a card shows the placeholder, since the figure would then
// measure something else.

#include "app/program_services.h"
#include "bench_support.h"
#include "core/covers/cover_cache.h"
#include "ui/card/skin_widget.h"
#include "core/covers/cover_store.h"
#include "core/download/download_manager.h"
#include "core/install/skin_files.h"
#include "core/support/config.h"
#include "ui/widgets/flow_layout.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int CARDS = COVER_PAGE_CARDS;

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A private home, so the cover cache is ours alone.
    QTemporaryDir home;
    use_private_home(home.path());
    QApplication app(argc, argv);
    const int repeats = std::max(3, app.arguments().value(1, QStringLiteral("15")).toInt());

    // Nothing listens there: a cache miss would show as a placeholder.
    const ServerEndpoints nowhere = ServerEndpoints::from_base(QStringLiteral("http://127.0.0.1:9"));
    QDir().mkpath(config::CACHE_DIR());

    QStringList files;
    for (int i = 0; i < CARDS; ++i) {
        const QString path = cover_cache_path(cover_url(nowhere, cover_page_record(i)));
        if (!painted_cover(i + 1).save(path, "JPEG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        files << path;
    }

    // A game folder with a few skins installed, so the installed check walks
    // a real mod folder.
    const QString game_dir = make_game_folder(home.path());

    ProgramServices services;
    services.covers.set_endpoints(nowhere);
    QWidget container;
    container.resize(900, 560);
    auto *layout = new FlowLayout(&container);
    layout->setMaxColumns(3);
    container.show();

    std::vector<double> page_ms, decode_ms, ratios;
    for (int round = 0; round < repeats + 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!build_cover_page(services, layout, game_dir)) {
            std::fprintf(stderr, "a card showed the placeholder: the cache was not used\n");
            return 1;
        }
        const double page = timer.nsecsElapsed() / 1e6;
        clear_page(layout);

        timer.restart();
        qint64 pixels = 0;
        for (const QString &file : files) {
            QImageReader reader(file);
            pixels += reader.read().width();
        }
        const double decode = timer.nsecsElapsed() / 1e6;
        if (pixels != CARDS * 1920) {
            std::fprintf(stderr, "a cover did not decode\n");
            return 1;
        }
        if (round >= 2) {   // the first rounds warm the caches
            page_ms.push_back(page);
            decode_ms.push_back(decode);
            ratios.push_back(page / decode);
        }
    }
    qint64 bytes = 0;
    for (const QString &file : files)
        bytes += QFileInfo(file).size();
    std::printf("page_ms %.2f decode_ms %.2f ratio %.3f cover_kib %lld\n", median(page_ms),
                median(decode_ms), median(ratios), static_cast<long long>(bytes / CARDS / 1024));
    return 0;
}
