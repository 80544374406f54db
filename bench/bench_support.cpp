#include "bench_support.h"

#include "app/program_services.h"
#include "core/covers/cover_cache.h"
#include "core/install/skin_files.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "ui/card/skin_widget.h"
#include "ui/widgets/flow_layout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

void use_private_home(const QString &home)
{
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toLocal8Bit());
    // The install records live below the data home.
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", (home + QStringLiteral("/.local/state")).toLocal8Bit());
}

bool use_private_home_and_server(const QString &home, const QString &base)
{
    use_private_home(home);
    if (!config::init_configuration())
        return false;
    applog::install();
    config::use_server_for_tests(base);
    return true;
}

double ms_since(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

bool write_catalogue(const QString &data_dir, const QJsonArray &records)
{
    QFile out(data_dir + QStringLiteral("/catalog.json"));
    return out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(records).toJson(QJsonDocument::Compact)) >= 0;
}

QString make_game_folder(const QString &home)
{
    const QString game_dir = home + QStringLiteral("/game");
    const QString mod = mod_folder_path(game_dir);
    QDir().mkpath(mod + QStringLiteral("/old"));
    for (int i = 0; i < 20; ++i) {
        QFile file(mod + (i % 2 ? QStringLiteral("/old") : QString()) + QStringLiteral("/other%1.pak").arg(i));
        file.open(QIODevice::WriteOnly);
    }
    return game_dir;
}

void stop_on_message_box(QTimer *watch)
{
    QObject::connect(watch, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "message box: %s\n", qPrintable(box->text()));
            std::_Exit(1);
        }
    });
    watch->start(50);
}

QImage painted_cover(int seed)
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    QLinearGradient sky(0, 0, 1920, 1080);
    sky.setColorAt(0, QColor::fromHsv((seed * 50) % 360, 160, 220));
    sky.setColorAt(1, QColor::fromHsv((seed * 50 + 120) % 360, 200, 60));
    QPainter painter(&image);
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(seed);
    for (int i = 0; i < 60; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 180, 40 + random.bounded(200), 160));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(random.bounded(1920), random.bounded(1080), 40 + random.bounded(400),
                            40 + random.bounded(300));
    }
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.bounded(9)) - 4;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + grain, 255), qBound(0, qGreen(p) + grain, 255),
                           qBound(0, qBlue(p) + grain, 255));
        }
    }
    return image;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

QJsonArray scale_catalogue()
{
    QJsonArray records;
    for (int i = 0; i < SCALE_RECORDS; ++i) {
        const int main = i % SCALE_MAIN_CATEGORIES;
        const int sub = (i / SCALE_MAIN_CATEGORIES) % SCALE_SUBCATEGORIES;
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
    return records;
}

QJsonObject cover_page_record(int index)
{
    const QString name = QStringLiteral("封面%1").arg(index);
    return QJsonObject{{QStringLiteral("skin_id"), index},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("MainCategory"), QStringLiteral("角色")},
                       {QStringLiteral("subcategory"), QStringLiteral("猎人")},
                       {QStringLiteral("pak_original"), name + QStringLiteral(".pak")},
                       {QStringLiteral("sig_original"), name + QStringLiteral(".sig")},
                       {QStringLiteral("cover"), name + QStringLiteral(".jpg")}};
}

bool build_cover_page(ProgramServices &services, FlowLayout *layout, const QString &game_dir)
{
    QList<QJsonObject> page;
    for (int i = 0; i < COVER_PAGE_CARDS; ++i)
        page << cover_page_record(i);
    prefetch_covers(services.covers.endpoints(), page);
    bool all_covers = true;
    for (int i = 0; i < COVER_PAGE_CARDS; ++i) {
        SkinWidget *card = SkinWidget::create(cover_page_record(i), game_dir, services.downloads, services.states, services.covers);
        layout->addWidget(card);
        card->check_installation_status();
        const QImage shown = card->cover()->pixmap(Qt::ReturnByValue).toImage();
        all_covers = all_covers && shown.pixelColor(2, 2) != QColor(245, 245, 245);
    }
    layout->activate();
    QApplication::processEvents();
    return all_covers;
}

void clear_page(FlowLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

LatenessProbe::LatenessProbe(int interval_ms)
    : m_interval_ms(interval_ms)
{
    m_tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_tick, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        m_worst = std::max(m_worst, now - m_last - qint64(m_interval_ms) * 1000 * 1000);
        m_last = now;
    });
}

void LatenessProbe::start()
{
    m_clock.start();
    m_last = 0;
    m_tick.start(m_interval_ms);
}
