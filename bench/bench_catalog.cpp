// Catalogue at scale, run by scripts/bench.sh.
//
//   furlane_bench_catalog <data dir> <server base> [rounds]
//
// Writes a catalogue of 20,000 skin records (10 main categories of 20
// subcategories each) as catalog.json into the data folder of a running web
// server that answers like the catalogue server (address, catalogue,
// instructions and version endpoints), then times, round by round and
// interleaved:
//   parse       QJsonDocument::fromJson of the very body the server sends;
//   categories  the window's start-up requests again (instructions and
//               catalogue) until both answers are handled: derivation,
//               category bar, instructions panel;
//   skins       a click on "全部" of one main category until its skin list
//               is handled (2,000 records: request, filter, ordering, first
//               page of cards).
// Prints "parse_ms <median> categories_ms <median> skins_ms <median>
// categories_ratio <median> skins_ratio <median> records <n> body_kib <n>",
// each ratio the median of the per-round ratios to the parse.
// Fails when a load does not give the expected categories or skins, and
// ends at once (status 1) should any message box come up.

#include "app/program_services.h"
#include "core/support/config.h"
#include "bench_support.h"
#include "core/support/log.h"
#include "app/main_window.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/skin_grid.h"
#include "core/catalog/catalog_service.h"
#include "core/net/http_client.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int MAIN_CATEGORIES = SCALE_MAIN_CATEGORIES;
constexpr int SUBCATEGORIES = SCALE_SUBCATEGORIES;
constexpr int RECORDS = SCALE_RECORDS;

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: furlane_bench_catalog <data dir> <server base> [rounds]\n");
        return 2;
    }
    const QString data_dir = QString::fromLocal8Bit(argv[1]);
    const QString base = QString::fromLocal8Bit(argv[2]);
    const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : 15;

    // A private home: the settings store and the cover cache stay apart.
    QTemporaryDir home;
    if (!use_private_home_and_server(home.path(), base))
        return 1;

    QApplication app(argc, argv);
    QTimer box_watch;
    stop_on_message_box(&box_watch);

    if (!write_catalogue(data_dir, scale_catalogue()))
        return 1;

    ProgramServices services;
    MainWindow window(services);
    if (!run_until(&window, &MainWindow::catalog_loaded, [] {}))
        return 1;
    auto *bar = window.findChild<CategoryBar *>();
    auto *grid = window.findChild<SkinGrid *>();
    auto *catalog = window.findChild<CatalogService *>();
    if (!bar || !grid || !catalog)
        return 1;
    const HttpResult fetched = services.http.get(catalog->endpoints().base_api, 10);
    if (fetched.failed() || fetched.status != 200)
        return 1;
    const QByteArray body = fetched.body;
    const QString main_category = bar->categories().main_categories.value(0);
    if (bar->categories().main_categories.size() != MAIN_CATEGORIES)
        return 1;

    std::vector<double> parse_ms, categories_ms, skins_ms, categories_ratio, skins_ratio;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const double parse = ms_since(timer);
        if (doc.array().size() != RECORDS)
            return 1;

        // The two answers come in either order, each handled by the window
        // before it is counted here.
        int answers = 0;
        QEventLoop loop;
        const auto answered = [&] {
            if (++answers == 2)
                loop.quit();
        };
        QObject::connect(catalog, &CatalogService::instructions_ready, &loop, answered);
        QObject::connect(catalog, &CatalogService::categories_ready, &loop, answered);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        timer.restart();
        catalog->load_instructions();
        catalog->load_categories();
        if (answers < 2)
            loop.exec();
        const double categories = ms_since(timer);
        if (answers < 2 || bar->categories().main_categories.size() != MAIN_CATEGORIES
            || bar->categories().subcategories.value(main_category).size() != SUBCATEGORIES)
            return 1;

        QPushButton *main_button = nullptr;
        for (QPushButton *button : bar->main_buttons())
            if (button->text() == main_category)
                main_button = button;
        if (!main_button)
            return 1;
        main_button->click();
        QPushButton *all = bar->subcategory_buttons().value(0);
        if (!all || all->text() != QStringLiteral("全部"))
            return 1;
        timer.restart();
        if (!run_until(&window, &MainWindow::skins_loaded, [all] { all->click(); }))
            return 1;
        const double skins = ms_since(timer);
        if (grid->records().size() != RECORDS / MAIN_CATEGORIES
            || grid->cards().size() != SkinGrid::ITEMS_PER_PAGE)
            return 1;
        // Let the replaced widgets go, outside the timed calls.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        parse_ms.push_back(parse);
        categories_ms.push_back(categories);
        skins_ms.push_back(skins);
        categories_ratio.push_back(categories / parse);
        skins_ratio.push_back(skins / parse);
    }

    std::printf("parse_ms %.1f categories_ms %.1f skins_ms %.1f categories_ratio %.2f skins_ratio %.2f "
                "records %d body_kib %lld\n",
                median(parse_ms), median(categories_ms), median(skins_ms), median(categories_ratio),
                median(skins_ratio), RECORDS, static_cast<long long>(body.size() / 1024));
    return 0;
}
