#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <vector>

class FlowLayout;
class QImage;
class QString;
class QWidget;
struct ProgramServices;

// What the benchmark programs share.

// Points HOME and the XDG folders at `home`, so that the settings store and
// the cover cache are the program's alone. Call before the application
// object exists.
void use_private_home(const QString &home);

// A private home at `home`, the configuration, the log and the server at
// `base`, as a benchmark that runs the window wants them. Call before the
// application object exists; false when the configuration cannot be had.
bool use_private_home_and_server(const QString &home, const QString &base);

// Milliseconds since `timer` started.
double ms_since(const QElapsedTimer &timer);

// Writes `records` as catalog.json into the data folder of a server.
bool write_catalogue(const QString &data_dir, const QJsonArray &records);

// A game folder below `home` whose mod folder holds 20 other files (some in
// a sub-folder), so an installed check walks a real mod folder; its path.
QString make_game_folder(const QString &home);

// From now on `watch` looks for a message box every 50 ms and ends the
// program (status 1) with the box's text on standard error: nobody would
// ever click it.
void stop_on_message_box(QTimer *watch);

// Painted-art-like content (gradients, soft shapes, mild grain), 1920 x 1080,
// different for every seed: about 300 KB a file as JPEG at quality 90, the
// size of a typical full-HD cover.
QImage painted_cover(int seed);

// The middle value (the upper one of an even count).
double median(std::vector<double> values);

// The catalogue at scale: 20,000 complete records in 10 main categories of
// 20 subcategories each, named "皮肤<n>" (n from 0), skin_id n + 1.
constexpr int SCALE_RECORDS = 20000;
constexpr int SCALE_MAIN_CATEGORIES = 10;
constexpr int SCALE_SUBCATEGORIES = 20;
QJsonArray scale_catalogue();

// The page of six cards the page_build figure times: record `index` (0 to 5)
// with its cover "封面<index>.jpg".
constexpr int COVER_PAGE_CARDS = 6;
QJsonObject cover_page_record(int index);
// That page as the grid builds it: its cached covers decoded at once, then
// six cards into `layout` (cards installing into `game_dir`), shown. False
// when a card had no cover.
bool build_cover_page(ProgramServices &services, FlowLayout *layout, const QString &game_dir);
// Deletes the cards of `layout`.
void clear_page(FlowLayout *layout);

// How late a timer of `interval_ms` (10 unless said) fires on the GUI
// thread, at worst, while on.
class LatenessProbe {
public:
    explicit LatenessProbe(int interval_ms = 10);
    void start();
    void stop() { m_tick.stop(); }
    double worst_ms() const { return m_worst / 1e6; }

private:
    QTimer m_tick;
    QElapsedTimer m_clock;
    int m_interval_ms;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

// Runs `start`, then the event loop until `signal` of `sender` comes (false
// after 60 s without). Connected after the window's own handlers, so the
// signal is already handled by the window when the loop ends.
template <typename Sender, typename Signal, typename Start>
bool run_until(Sender *sender, Signal signal, Start start)
{
    QEventLoop loop;
    bool came = false;
    QObject::connect(sender, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    start();
    if (!came)
        loop.exec();
    return came;
}
