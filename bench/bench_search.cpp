// Search at scale, run by scripts/bench.sh.
//
//   furlane_bench_search <data dir> <server base> [rounds] [installed]
//
// Writes the 20,000-record catalogue (bench_support's scale_catalogue, each
// record with a cover) as catalog.json into the data folder of a running web
// server that answers like the catalogue server, starts the real window on
// it, a game folder (the stored one) with `installed` of those skins
// installed (500 unless given), and measures:
//   filter     each keystroke of a few queries typed letter by letter
//              (prefixes from one letter on, full-width letters, a skin_id,
//              no match): the search index's answer, the filtered list;
//   page       the last keystroke of a query until its first page of six
//              cards stands in the window's grid, covers from a warm cache;
//   page_build the page of six cards from a warm cache exactly as
//              furlane_bench_cover builds it (build_cover_page), interleaved
//              round by round with `page` and `installed`;
//   listing    one top-down walk of the mod folder, the names collected;
//   installed  the installed view built: the mod folder walked, the
//              catalogue's installed skins picked in list order, their first
//              page shown in the grid (see installed_view below);
//   open       the window's "已安装" clicked until the first page of its
//              view stands with its covers (the window asks for a fresh look
//              at the folder and opens the view from its last one); and
//              (open_fresh) until the window has taken that fresh look;
//   lateness   the worst lateness of a 10 ms GUI timer while 20 characters
//              are typed into the window's search field, one every 50 ms;
//              and (lateness_through) on until their results stand;
//   index      the window's search index brought up to the catalogue of a
//              list answer as the field takes the focus: the same one again
//              (index_same), and one built afresh (index_fresh, a catalogue
//              that changed).
// Prints "filter_median_ms <ms> filter_worst_ms <ms> keystrokes <n>
// page_ms <median> page_build_ms <median> page_ratio <median of per-round
// ratios> listing_ms <median> installed_ms <median> installed_ratio <median
// of per-round installed / (page_build + listing)> installed <n>
// open_ms <median> open_ratio <median of per-round open / page_build>
// open_fresh_ms <median>
// lateness_ms <worst> lateness_through_ms <worst> index_same_ms <median>
// index_fresh_ms <median>". Fails when a page shows a placeholder cover or the
// wrong cards, and ends at once (status 1) should any message box come up.

#include "app/main_window.h"
#include "app/program_services.h"
#include "bench_support.h"
#include "core/catalog/catalog_model.h"
#include "core/catalog/catalog_service.h"
#include "core/catalog/search_index.h"
#include "core/covers/cover_cache.h"
#include "core/download/update_check.h"
#include "core/install/installed_scan.h"
#include "core/install/installed_skins.h"
#include "core/install/skin_files.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "ui/browse/installed_button.h"
#include "ui/browse/search_field.h"
#include "ui/browse/skin_grid.h"
#include "ui/card/skin_widget.h"
#include "ui/widgets/flow_layout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int installed_count = 500;   // the skins in the game folder
const QString NO_MATCH = QStringLiteral("没有找到匹配的皮肤");

// The catalogue with a cover for every record.
QJsonArray catalogue_with_covers()
{
    QJsonArray records;
    for (const QJsonValue &value : scale_catalogue()) {
        QJsonObject record = value.toObject();
        record.insert(QStringLiteral("cover"), QStringLiteral("cover_%1.jpg").arg(record.value("skin_id").toInt()));
        records.append(record);
    }
    return records;
}

// Puts the six painted covers into the cache for `records`, first to sixth.
bool cache_covers(const ServerEndpoints &endpoints, const QList<QJsonObject> &records, const QList<QByteArray> &jpegs)
{
    for (int i = 0; i < records.size() && i < jpegs.size(); ++i) {
        QFile file(cover_cache_path(cover_url(endpoints, records.at(i))));
        if (!file.open(QIODevice::WriteOnly) || file.write(jpegs.at(i)) != jpegs.at(i).size())
            return false;
    }
    return true;
}

QList<QJsonObject> first_page(const QJsonArray &records)
{
    QList<QJsonObject> page;
    for (int i = 0; i < records.size() && i < SkinGrid::ITEMS_PER_PAGE; ++i)
        page << records.at(i).toObject();
    return page;
}

// The grid shows the first page of `records`, every card with its cover.
bool shows_first_page(SkinGrid *grid, const QJsonArray &records)
{
    const QList<SkinWidget *> cards = grid->cards();
    if (cards.size() != std::min(int(records.size()), int(SkinGrid::ITEMS_PER_PAGE)))
        return false;
    for (int i = 0; i < cards.size(); ++i) {
        if (cards.at(i)->skin_data() != records.at(i).toObject()
            || cards.at(i)->cover_state() != SkinWidget::CoverState::Shown)
            return false;
    }
    return true;
}

// The names of the files below the mod folder, in one walk.
QSet<QString> list_mod_folder(const QString &mod)
{
    QSet<QString> names;
    walk_files_top_down(mod, [&names](const QString &, const QString &name) {
        names.insert(name);
        return true;
    });
    return names;
}

// The installed view as the window builds it: one walk of the mod folder,
// looked up in the catalogue's file-name index (made once per catalogue
// answer, as the window does), and the first page in the grid.
QJsonArray installed_view(SkinGrid *grid, const QString &mod, const SkinFileIndex &files)
{
    const QJsonArray shown = installed_view_records(files.scan(ModFiles::list(mod)), mod);
    grid->show_list(shown, QStringLiteral("没有已安装的皮肤"));
    QApplication::processEvents();
    return shown;
}

// One key typed into `field` as a person types it.
void type_key(QWidget *field, QChar c)
{
    const int key = c == QLatin1Char(' ') ? Qt::Key_Space : 0;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(field, &press);
    QApplication::sendEvent(field, &release);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: furlane_bench_search <data dir> <server base> [rounds]\n");
        return 2;
    }
    const QString data_dir = QString::fromLocal8Bit(argv[1]);
    const QString base = QString::fromLocal8Bit(argv[2]);
    const int rounds = argc > 3 ? std::max(3, atoi(argv[3])) : 15;
    if (argc > 4)
        installed_count = std::max(1, std::min(SCALE_RECORDS, atoi(argv[4])));

    QTemporaryDir home;
    if (!use_private_home_and_server(home.path(), base))
        return 1;

    QApplication app(argc, argv);
    QTimer box_watch;
    stop_on_message_box(&box_watch);

    const QJsonArray catalogue = catalogue_with_covers();
    if (!write_catalogue(data_dir, catalogue))
        return 1;

    // A game folder holding installed_count of the catalogue's skins (spread over
    // it) and the 20 other files furlane_bench_cover puts there, stored as
    // the window's folder.
    const QString game_dir = make_game_folder(home.path());
    QSettings(QStringLiteral("orvex"), QStringLiteral("DreadHunger")).setValue(QStringLiteral("game_dir"), game_dir);
    const QString mod = mod_folder_path(game_dir);
    for (int n = 0; n < installed_count; ++n) {
        const int i = n * (SCALE_RECORDS / installed_count);
        for (const char *ext : {"pak", "sig"}) {
            QFile file(mod + QStringLiteral("/skin_%1.%2").arg(i).arg(QLatin1String(ext)));
            if (!file.open(QIODevice::WriteOnly))
                return 1;
        }
    }

    ProgramServices services;
    MainWindow window(services);
    // Checking every installed skin against the server is update_check's
    // figure, and would only load this one's.
    delete window.findChild<SkinUpdateChecker *>();
    // Which look at the folder the window took last (the start asks for
    // some, the click on "已安装" for one).
    quint64 taken = 0;
    if (auto *scanner = window.findChild<InstalledScanner *>()) {
        QObject::connect(scanner, &InstalledScanner::scanned, [&taken](const InstalledScan &scan) {
            taken = scan.generation;
        });
    }
    if (!run_until(&window, &MainWindow::catalog_loaded, [] {}))
        return 1;
    window.show();
    auto *grid = window.findChild<SkinGrid *>();
    auto *field = window.findChild<SearchField *>();
    auto *catalog = window.findChild<CatalogService *>();
    auto *installed_button = window.findChild<InstalledButton *>();
    auto *scanner = window.findChild<InstalledScanner *>();
    if (!grid || !field || !catalog || !installed_button || !scanner)
        return 1;
    grid->set_game_dir(game_dir);

    // The warm cover cache: six painted covers for the page build, and the
    // same six files for the first page of each measured list.
    QDir().mkpath(config::CACHE_DIR());
    QList<QByteArray> jpegs;
    for (int i = 0; i < COVER_PAGE_CARDS; ++i) {
        const QString path = cover_cache_path(cover_url(services.covers.endpoints(), cover_page_record(i)));
        if (!painted_cover(i + 1).save(path, "JPEG", 90))
            return 1;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        jpegs << file.readAll();
    }

    // --- the filtered list, keystroke by keystroke
    catalog::SearchIndex index(catalogue);
    const QStringList typed{QStringLiteral("皮肤12345"), QStringLiteral("肤 ９９"), QStringLiteral("10001"),
                            QStringLiteral("ＳＫＩＮ")};
    std::vector<double> filter_ms;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &query : typed) {
            for (int length = 1; length <= query.size(); ++length) {
                QElapsedTimer timer;
                timer.start();
                const QJsonArray found = index.find(query.left(length));
                filter_ms.push_back(ms_since(timer));
                if (length == 1 && query.at(0) == QChar(0x76AE) && found.size() != SCALE_RECORDS)
                    return 1;
            }
        }
    }

    // --- a results page, the page build and the installed view, interleaved
    const QString page_query = QStringLiteral("皮肤1234");
    const QJsonArray page_results = index.find(page_query);
    if (page_results.size() != 11 || !cache_covers(services.covers.endpoints(), first_page(page_results), jpegs))
        return 1;
    const SkinFileIndex files_index(catalogue);
    const QJsonArray installed_expected = installed_view(grid, mod, files_index);
    grid->leave_list();
    if (installed_expected.size() != installed_count || !cache_covers(services.covers.endpoints(), first_page(installed_expected), jpegs))
        return 1;

    QWidget container;
    container.resize(900, 560);
    auto *layout = new FlowLayout(&container);
    layout->setMaxColumns(3);
    container.show();

    // The list's first page stands with its covers; then back, untimed.
    const auto shown_and_left = [grid](const QJsonArray &expected, const char *what) {
        const bool shown = shows_first_page(grid, expected);
        if (!shown)
            std::fprintf(stderr, "%s is not the first six of its list with their covers\n", what);
        grid->leave_list();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return shown;
    };
    const auto until_scan_taken = [&] {
        QElapsedTimer waited;
        waited.start();
        while (taken != scanner->latest() && waited.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return taken == scanner->latest();
    };
    if (!until_scan_taken() || installed_button->text() != QStringLiteral("已安装 (%1)").arg(installed_count)) {
        std::fprintf(stderr, "the window did not count the %d installed skins: %s\n", installed_count,
                     qPrintable(installed_button->text()));
        return 1;
    }
    std::vector<double> page_ms, build_ms, page_ratio, listing_ms, installed_ms, installed_ratio, open_ms,
        open_ratio, open_fresh_ms;
    for (int round = 0; round < rounds + 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!build_cover_page(services, layout, game_dir)) {
            std::fprintf(stderr, "a card of the page build showed the placeholder\n");
            return 1;
        }
        const double build = ms_since(timer);
        clear_page(layout);

        timer.restart();
        grid->show_list(index.find(page_query), NO_MATCH);
        QApplication::processEvents();
        const double page = ms_since(timer);
        if (!shown_and_left(page_results, "the results page"))
            return 1;

        timer.restart();
        const int listed = list_mod_folder(mod).size();
        const double listing = ms_since(timer);
        if (listed != 2 * installed_count + 20)
            return 1;

        timer.restart();
        installed_view(grid, mod, files_index);
        const double installed = ms_since(timer);
        if (!shown_and_left(installed_expected, "the installed view"))
            return 1;

        timer.restart();
        installed_button->click();
        QApplication::processEvents();
        const double open = ms_since(timer);
        const bool open_shown = shows_first_page(grid, installed_expected);
        if (!until_scan_taken())
            return 1;
        const double open_fresh = ms_since(timer);
        if (!open_shown || !shown_and_left(installed_expected, "the window's installed view")) {
            std::fprintf(stderr, "the window's installed view did not open at once\n");
            return 1;
        }

        if (round >= 2) {   // the first rounds warm the caches
            build_ms.push_back(build);
            page_ms.push_back(page);
            page_ratio.push_back(page / build);
            listing_ms.push_back(listing);
            installed_ms.push_back(installed);
            installed_ratio.push_back(installed / (build + listing));
            open_ms.push_back(open);
            open_ratio.push_back(open / build);
            open_fresh_ms.push_back(open_fresh);
        }
    }

    // --- typing into the window's field: 20 characters, one every 50 ms.
    // The spaces count as typed and are ignored by the search, so the one
    // search that runs when typing pauses lists all 20,000 skins: the
    // heaviest list a query can show. Each run starts after a list answer,
    // as a player comes to the field after a category click: the field
    // takes the focus (where it indexes the catalogue the answer brought),
    // then the keys come. `typing` runs from the first key until the slot a
    // 21st key would have had; `through` on until the results stand (their
    // page build is the `page` figure).
    const QString keys = QStringLiteral("皮肤") + QString(18, QLatin1Char(' '));
    LatenessProbe typing, through;
    for (int run = 0; run < 3; ++run) {
        if (!run_until(catalog, &CatalogService::catalogue_changed, [catalog] { catalog->load_categories(); }))
            return 1;
        // The answer's own repaints and deletions go first: not typing's.
        {
            QEventLoop settle;
            QTimer::singleShot(300, &settle, &QEventLoop::quit);
            settle.exec();
        }
        QFocusEvent focus_in(QEvent::FocusIn, Qt::MouseFocusReason);
        QApplication::sendEvent(field, &focus_in);
        QEventLoop loop;
        int next = 0;
        QTimer typist;
        QObject::connect(&typist, &QTimer::timeout, &loop, [&] {
            type_key(field, keys.at(next));
            if (++next == keys.size()) {
                typist.stop();
                QTimer::singleShot(50, &loop, [&typing] { typing.stop(); });
            }
        });
        QTimer settled;
        // Results on screen, and a little longer.
        QObject::connect(&settled, &QTimer::timeout, &loop, [&] {
            if (next == keys.size() && grid->showing_list() && grid->cards().size() == SkinGrid::ITEMS_PER_PAGE)
                QTimer::singleShot(100, &loop, &QEventLoop::quit);
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        typing.start();
        through.start();
        typist.start(50);
        settled.start(SearchField::PAUSE_MS);
        loop.exec();
        through.stop();
        if (field->text() != keys || grid->cards().size() != SkinGrid::ITEMS_PER_PAGE)
            return 1;
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(field, &esc);
        QFocusEvent focus_out(QEvent::FocusOut, Qt::MouseFocusReason);
        QApplication::sendEvent(field, &focus_out);
        if (grid->showing_list() || !field->text().isEmpty())
            return 1;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // What coming to the field (or, already there, the first key) after a
    // list answer costs on the GUI thread: the window's index given the
    // catalogue again, as parsed from another answer (mostly the same), and
    // an index built afresh (a catalogue that changed).
    const QJsonArray again = QJsonDocument::fromJson(QJsonDocument(catalogue).toJson()).array();
    std::vector<double> same_ms, fresh_ms;
    for (int round = 0; round < 5; ++round) {
        catalog::SearchIndex kept(catalogue);
        kept.set_catalogue(again);
        QElapsedTimer timer;
        timer.start();
        kept.refresh();
        same_ms.push_back(ms_since(timer));
        timer.restart();
        const catalog::SearchIndex fresh(again);
        fresh_ms.push_back(ms_since(timer));
        if (kept.size() != SCALE_RECORDS || fresh.size() != SCALE_RECORDS)
            return 1;
    }

    std::sort(filter_ms.begin(), filter_ms.end());
    std::printf("filter_median_ms %.3f filter_worst_ms %.3f keystrokes %d page_ms %.2f page_build_ms %.2f "
                "page_ratio %.3f listing_ms %.2f installed_ms %.2f installed_ratio %.3f installed %d "
                "lateness_ms %.2f lateness_through_ms %.2f index_same_ms %.1f index_fresh_ms %.1f "
                "open_ms %.2f open_ratio %.3f open_fresh_ms %.2f\n",
                median(filter_ms), filter_ms.back(), int(filter_ms.size()), median(page_ms), median(build_ms),
                median(page_ratio), median(listing_ms), median(installed_ms), median(installed_ratio), installed_count,
                typing.worst_ms(), through.worst_ms(), median(same_ms), median(fresh_ms), median(open_ms),
                median(open_ratio), median(open_fresh_ms));
    return 0;
}
