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
//   categories  MainWindow::load_categories (instructions and catalogue
//               requests, derivation, navigation bar, instructions panel);
//   skins       MainWindow::_load_skins for one whole main category (2,000
//               records: request, filter, ordering, first page of cards).
// Prints "parse_ms <median> categories_ms <median> skins_ms <median>
// categories_ratio <median> skins_ratio <median> records <n> body_kib <n>",
// each ratio the median of the per-round ratios to the parse.
// Fails when a load does not give the expected categories or skins, and
// ends at once (status 1) should any message box come up.

#include "support/config.h"
#include "bench_support.h"
#include "support/log.h"
#include "app/main_window.h"
#include "card/skin_widget.h"
#include "net/http_client.h"
#include "widgets/flow_layout.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int MAIN_CATEGORIES = 10;
constexpr int SUBCATEGORIES = 20;
constexpr int RECORDS = 20000;

QByteArray catalogue()
{
    QJsonArray records;
    for (int i = 0; i < RECORDS; ++i) {
        const int main = i % MAIN_CATEGORIES;
        const int sub = (i / MAIN_CATEGORIES) % SUBCATEGORIES;
        const QString name = QStringLiteral("皮肤%1").arg(i);
        records.append(QJsonObject{
            {QStringLiteral("skin_id"), i + 1},
            {QStringLiteral("name"), name},
            {QStringLiteral("MainCategory"), QStringLiteral("主分类%1").arg(main)},
            {QStringLiteral("subcategory"), QStringLiteral("子分类%1").arg(sub)},
            {QStringLiteral("MainCategory_ranking_id"), (main * 7) % 10},
            {QStringLiteral("subcategory_ranking_id"), (sub * 3 + i % 2) % 20},
            {QStringLiteral("pak_original"), QStringLiteral("files/2024/skin_%1.pak").arg(i)},
            {QStringLiteral("sig_original"), QStringLiteral("files/2024/skin_%1.sig").arg(i)},
        });
    }
    return QJsonDocument(records).toJson(QJsonDocument::Compact);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double ms_since(const QElapsedTimer &timer) { return timer.nsecsElapsed() / 1e6; }

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
    use_private_home(home.path());
    if (!config::init_configuration())
        return 1;
    applog::install();
    config::use_server_for_tests(base);

    QApplication app(argc, argv);
    QTimer box_watch;
    stop_on_message_box(&box_watch);

    QFile out(data_dir + QStringLiteral("/catalog.json"));
    if (!out.open(QIODevice::WriteOnly) || out.write(catalogue()) < 0)
        return 1;
    out.close();

    MainWindow window;
    const HttpResult fetched = HttpClient::instance().get(config::BASE_API(), 10);
    if (fetched.failed() || fetched.status != 200)
        return 1;
    const QByteArray body = fetched.body;
    const QString main_category = window.main_categories.value(0);
    if (window.main_categories.size() != MAIN_CATEGORIES)
        return 1;

    std::vector<double> parse_ms, categories_ms, skins_ms, categories_ratio, skins_ratio;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const double parse = ms_since(timer);
        if (doc.array().size() != RECORDS)
            return 1;

        timer.restart();
        window.load_categories();
        const double categories = ms_since(timer);
        if (window.main_categories.size() != MAIN_CATEGORIES
            || window.subcategories.value(main_category).size() != SUBCATEGORIES)
            return 1;

        window.current_category_name = main_category;
        window.current_subcategory_name.reset();
        timer.restart();
        window._load_skins();
        const double skins = ms_since(timer);
        if (window.skins.size() != RECORDS / MAIN_CATEGORIES
            || window.flow_layout->count() != window.items_per_page)
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
