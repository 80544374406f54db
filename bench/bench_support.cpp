#include "bench_support.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

void use_private_home(const QString &home)
{
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toLocal8Bit());
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
