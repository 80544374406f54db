// Page latency behind a distant server, run by scripts/bench.sh.
//
//   furlane_bench_page_latency <data dir> <proxy base>
//
// The stand-in server serves <data dir> behind tools/latency_proxy.py, which
// listens at <proxy base>. Writes a catalogue there (when it is not there
// yet): main category 甲 with twelve skins (two pages), 乙 with six, each
// skin with its own full-HD JPEG cover, and an address record naming the
// proxy, so that every request of the window goes through the proxy. Then, in a
// private HOME (an empty cover cache), builds the main window, shows it and
// clicks through it by the buttons' texts, the way a player does:
//   start     window built -> 甲, 全部 -> the first page's covers shown;
//             then the start-up update check is let finish;
//   next      下一页 -> the first card of page two shown, and all six covers
//             no longer loading;
//   cached    上一页, then 下一页 again with page two's covers cached: the
//             first card of a page built without a single request;
//   category  乙, then 全部 -> all covers of its first page;
//   lateness  the worst lateness of a 10 ms timer on the GUI thread during
//             the next and category loads.
// Finally what a well-built window could not beat, on fresh managers through
// the same proxy: page two's six covers fetched in parallel, and the
// catalogue fetched then 乙's six covers in parallel.
// The window is only ever driven through its widgets and observed by
// polling them, so it is measured alike whether it waits for the server
// inside a click or answers later.
// Prints "start_s <s> next_first_s <s> next_covers_s <s> category_s <s>
// lateness_ms <ms> first_bound_s <s> next_bound_s <s> category_bound_s <s>".
// Fails (status 1) on a message box or when a page does not come in 60 s.

#include "app/program_services.h"
#include "core/support/config.h"
#include "bench_support.h"
#include "core/support/log.h"
#include "app/main_window.h"
#include "ui/card/skin_widget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

const QString MAIN_A = QStringLiteral("甲");
const QString MAIN_B = QStringLiteral("乙");
const QString ALL = QStringLiteral("全部");
constexpr int PAGE = 6;
constexpr int WAIT_MS = 60000;

struct Skin {
    QString name;
    QString main;
    QString sub;
    QString cover;
};

QList<Skin> catalogue_skins()
{
    QList<Skin> skins;
    for (int i = 1; i <= 2 * PAGE; ++i)
        skins.append({QStringLiteral("甲皮肤%1").arg(i, 2, 10, QLatin1Char('0')), MAIN_A,
                      i % 2 ? QStringLiteral("猎人") : QStringLiteral("厨师"), QStringLiteral("a%1.jpg").arg(i)});
    for (int i = 1; i <= PAGE; ++i)
        skins.append({QStringLiteral("乙皮肤%1").arg(i, 2, 10, QLatin1Char('0')), MAIN_B, QStringLiteral("步枪"),
                      QStringLiteral("b%1.jpg").arg(i)});
    return skins;
}

bool write_file(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool write_data(const QString &dir, const QString &proxy_base)
{
    // The address record is what sends the window to the proxy rather than
    // to the stand-in's own port.
    if (!write_file(dir + QStringLiteral("/address.txt"), proxy_base.toUtf8())
        || !write_file(dir + QStringLiteral("/instructions.txt"), QByteArray("欢迎使用")))
        return false;
    if (QFileInfo::exists(dir + QStringLiteral("/catalog.json")))
        return true;
    QJsonArray records;
    int seed = 0;
    for (const Skin &skin : catalogue_skins()) {
        ++seed;
        records.append(QJsonObject{{QStringLiteral("skin_id"), 5000 - seed},
                                   {QStringLiteral("name"), skin.name},
                                   {QStringLiteral("MainCategory"), skin.main},
                                   {QStringLiteral("subcategory"), skin.sub},
                                   {QStringLiteral("MainCategory_ranking_id"), skin.main == MAIN_A ? 9 : 5},
                                   {QStringLiteral("subcategory_ranking_id"), 1},
                                   {QStringLiteral("pak_original"), skin.name + QStringLiteral(".pak")},
                                   {QStringLiteral("sig_original"), skin.name + QStringLiteral(".sig")},
                                   {QStringLiteral("cover"), skin.cover}});
        const QString path = dir + QStringLiteral("/covers/%1/%2/%3").arg(skin.main, skin.sub, skin.cover);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!painted_cover(seed).save(path, "JPEG", 90))
            return false;
    }
    return write_file(dir + QStringLiteral("/catalog.json"), QJsonDocument(records).toJson(QJsonDocument::Compact));
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::_Exit(1);
}

// Runs the event loop until `done` holds (checked every millisecond).
void wait_until(const std::function<bool()> &done, const char *what, int timeout_ms = WAIT_MS)
{
    if (done())
        return;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    loop.exec();
    if (!done())
        fail(what);
}

QPushButton *visible_button(QWidget *window, const QString &text)
{
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (button->isVisible() && button->text() == text)
            return button;
    return nullptr;
}

// The card's name as shown: the text of one of its labels. Read from the
// widgets rather than the card's data, which is the card's own business.
QString shown_name(const SkinWidget *card, const QSet<QString> &names)
{
    for (const QLabel *label : card->findChildren<QLabel *>())
        if (names.contains(label->text()))
            return label->text();
    return QString();
}

struct PageState {
    int visible = 0;   // cards of the page on screen
    int loading = 0;   // ... of which still wait for their cover
    QStringList names;
};

PageState page_state(QWidget *window, const QSet<QString> &names)
{
    PageState state;
    for (SkinWidget *card : window->findChildren<SkinWidget *>()) {
        if (!card->isVisible())
            continue;
        const QString name = shown_name(card, names);
        if (name.isEmpty())
            continue;
        ++state.visible;
        state.names << name;
        if (card->cover_state() == SkinWidget::CoverState::Loading)
            ++state.loading;
    }
    return state;
}

// Times from a click: until the first card of the page shows and until the
// whole page shows with no cover loading. Recorded by a 1 ms poll, which
// also runs inside any event loop the window waits in.
class PageWatch {
public:
    PageWatch(QWidget *window, const QSet<QString> &names, int cards)
        : m_window(window), m_names(names), m_cards(cards)
    {
        m_poll.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { look(); });
    }

    void click(QPushButton *button)
    {
        if (!button)
            fail("a button to click is missing");
        m_clock.start();
        m_poll.start(1);
        button->click();
        look();
        wait_until([this] { return m_complete >= 0; }, "the page did not come");
        m_poll.stop();
    }
    double first_s() const { return m_first / 1e9; }
    double complete_s() const { return m_complete / 1e9; }
    QStringList names() const { return m_shown; }

private:
    void look()
    {
        if (m_complete >= 0)
            return;
        const PageState state = page_state(m_window, m_names);
        const qint64 now = m_clock.nsecsElapsed();
        if (state.visible > 0 && m_first < 0)
            m_first = now;
        if (state.visible >= m_cards && state.loading == 0) {
            m_complete = now;
            m_shown = state.names;
        }
    }

    QWidget *m_window;
    QSet<QString> m_names;
    int m_cards;
    QTimer m_poll;
    QElapsedTimer m_clock;
    qint64 m_first = -1;
    qint64 m_complete = -1;
    QStringList m_shown;
};

// Fetches `urls` in parallel on a fresh manager (fresh connections);
// false when any answer is not a 200.
bool fetch_all(QNetworkAccessManager &manager, const QStringList &urls)
{
    int left = urls.size();
    bool ok = true;
    QEventLoop loop;
    for (const QString &url : urls) {
        QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(url)));
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply] {
            ok = ok && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200
                && !reply->readAll().isEmpty();
            reply->deleteLater();
            if (--left == 0)
                loop.quit();
        });
    }
    QTimer::singleShot(WAIT_MS, &loop, &QEventLoop::quit);
    loop.exec();
    return ok && left == 0;
}

QStringList cover_urls(const QString &base, const QStringList &names)
{
    QStringList urls;
    for (const Skin &skin : catalogue_skins())
        if (names.contains(skin.name))
            urls << base + QStringLiteral("/subcutaneous/index_image_download.php?MainCategory=") + skin.main
                    + QStringLiteral("&subcategory=") + skin.sub + QStringLiteral("&cover=") + skin.cover;
    return urls;
}

QSet<QString> names_of(const QString &main)
{
    QSet<QString> names;
    for (const Skin &skin : catalogue_skins())
        if (skin.main == main)
            names.insert(skin.name);
    return names;
}

bool update_check_done = false;
QtMessageHandler previous_handler = nullptr;

// The start-up update check waits for the server too; the measured clicks
// come after it, so that it does not land inside one of them.
void watch_log(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QStringLiteral("当前已是最新版本")))
        update_check_done = true;
    if (previous_handler)
        previous_handler(type, context, text);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: furlane_bench_page_latency <data dir> <proxy base>\n");
        return 2;
    }
    const QString data_dir = QString::fromLocal8Bit(argv[1]);
    const QString proxy = QString::fromLocal8Bit(argv[2]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // A private home: an empty cover cache and settings of our own.
    QTemporaryDir home;
    if (!use_private_home_and_server(home.path(), proxy))
        return 1;

    QApplication app(argc, argv);
    previous_handler = qInstallMessageHandler(watch_log);
    if (!write_data(data_dir, proxy))
        fail("cannot write the catalogue");

    QTimer box_watch;
    stop_on_message_box(&box_watch);

    const QSet<QString> names_a = names_of(MAIN_A);
    const QSet<QString> names_b = names_of(MAIN_B);

    QElapsedTimer since_start;
    since_start.start();
    ProgramServices services;
    auto window = std::make_unique<MainWindow>(services);
    window->show();
    QWidget *w = window.get();

    wait_until([&] { return visible_button(w, MAIN_A) != nullptr; }, "no main category button");
    visible_button(w, MAIN_A)->click();
    wait_until([&] { return visible_button(w, ALL) != nullptr; }, "no 全部 button");
    PageWatch first_page(w, names_a, PAGE);
    first_page.click(visible_button(w, ALL));
    const double start_s = since_start.nsecsElapsed() / 1e9;
    const QStringList page_one = first_page.names();

    QElapsedTimer quiet;
    quiet.start();
    wait_until([&] { return update_check_done || quiet.elapsed() > 15000; }, "");
    if (!update_check_done)
        std::fprintf(stderr, "no word of the update check; measuring anyway\n");

    QSet<QString> page_two_names = names_a;
    for (const QString &name : page_one)
        page_two_names.remove(name);
    if (page_two_names.size() != PAGE)
        fail("the first page did not show six skins of 甲");

    LatenessProbe lateness;
    QPushButton *next = visible_button(w, QStringLiteral("下一页"));
    if (!next)
        fail("no 下一页 button");
    PageWatch page_two(w, page_two_names, PAGE);
    lateness.start();
    page_two.click(next);
    lateness.stop();

    const QSet<QString> page_one_names(page_one.begin(), page_one.end());
    PageWatch back(w, page_one_names, PAGE);
    back.click(visible_button(w, QStringLiteral("上一页")));
    PageWatch cached(w, page_two_names, PAGE);
    cached.click(visible_button(w, QStringLiteral("下一页")));

    wait_until([&] { return visible_button(w, MAIN_B) != nullptr; }, "no main category button 乙");
    // 甲's 全部 must not be taken for 乙's, whichever way the strip is rebuilt.
    const QPointer<QPushButton> old_all = visible_button(w, ALL);
    visible_button(w, MAIN_B)->click();
    wait_until([&] {
        QPushButton *all = visible_button(w, ALL);
        return all && (old_all.isNull() || all != old_all.data());
    }, "no 全部 button for 乙");
    PageWatch category(w, names_b, PAGE);
    lateness.start();
    category.click(visible_button(w, ALL));
    lateness.stop();

    // The bounds: fresh managers, so each pays its connections as a fresh
    // window would.
    QElapsedTimer timer;
    double next_bound = 0;
    {
        QNetworkAccessManager manager;
        timer.start();
        if (!fetch_all(manager, cover_urls(proxy, page_two.names())))
            fail("the covers of page two could not be fetched");
        next_bound = timer.nsecsElapsed() / 1e9;
    }
    double category_bound = 0;
    {
        QNetworkAccessManager manager;
        timer.start();
        if (!fetch_all(manager, {proxy + QStringLiteral("/index_skins.php")})
            || !fetch_all(manager, cover_urls(proxy, category.names())))
            fail("the catalogue or the covers of 乙 could not be fetched");
        category_bound = timer.nsecsElapsed() / 1e9;
    }

    std::printf("start_s %.3f next_first_s %.3f next_covers_s %.3f category_s %.3f lateness_ms %.1f "
                "first_bound_s %.3f next_bound_s %.3f category_bound_s %.3f\n",
                start_s, page_two.first_s(), page_two.complete_s(), category.complete_s(), lateness.worst_ms(),
                cached.first_s(), next_bound, category_bound);
    std::fflush(stdout);
    // The window's own shutdown is no part of the figures.
    home.remove();
    std::_Exit(0);
}
