#pragma once

#include "app/program_services.h"
#include "ui/card/skin_widget.h"
#include "core/covers/cover_store.h"
#include "core/download/download_manager.h"
#include "core/support/config.h"
#include "support/test_server.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QString>
#include <QTest>

#include <memory>

// Shared set-up of the card, cover and viewer tests: skin records, real
// images, covers placed on the stand-in server.
namespace card_fixtures {

// Points the services that build addresses at the server of `endpoints`.
inline void use_endpoints(ProgramServices &services, const ServerEndpoints &endpoints)
{
    services.covers.set_endpoints(endpoints);
    services.downloads.set_endpoints(endpoints);
    services.installs.set_endpoints(endpoints);
}

// Starts the server and points the services' endpoints at it.
inline bool start_server(TestServer &server, ProgramServices &services)
{
    if (!server.start())
        return false;
    config::use_server_for_tests(server.base());
    use_endpoints(services, ServerEndpoints::from_base(server.base()));
    return true;
}

inline QJsonObject skin_record(const QString &name, const QString &cover = QStringLiteral("c.png"),
                               const QString &main = QStringLiteral("角色"),
                               const QString &sub = QStringLiteral("猎人"))
{
    return QJsonObject{
        {QStringLiteral("skin_id"), 1},
        {QStringLiteral("name"), name},
        {QStringLiteral("MainCategory"), main},
        {QStringLiteral("subcategory"), sub},
        {QStringLiteral("pak_original"), name + QStringLiteral(".pak")},
        {QStringLiteral("sig_original"), name + QStringLiteral(".sig")},
        {QStringLiteral("cover"), cover},
    };
}

// A picture whose red channel rises from left to right and green from top
// to bottom, so a wrong scale or crop offset shows in the pixel values.
inline QImage gradient_image(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int g = size.height() > 1 ? 255 * y / (size.height() - 1) : 0;
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(size.width() > 1 ? 255 * x / (size.width() - 1) : 0, g, 96);
    }
    return image;
}

inline QImage solid_image(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

inline QByteArray encode(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

inline void put_cover(const TestServer &server, const QJsonObject &record, const QByteArray &bytes)
{
    server.write_file(QStringLiteral("covers/") + record.value(QStringLiteral("MainCategory")).toString()
                          + QLatin1Char('/') + record.value(QStringLiteral("subcategory")).toString()
                          + QLatin1Char('/') + record.value(QStringLiteral("cover")).toString(),
                      bytes);
}

// A card whose cover has come, or is known to be missing.
inline std::unique_ptr<SkinWidget> settled_card(ProgramServices &services, const QJsonObject &record, const QString &game_dir = QString())
{
    std::unique_ptr<SkinWidget> card(SkinWidget::create(record, game_dir, services.downloads, services.states, services.covers));
    if (card)
        (void)QTest::qWaitFor([&card] { return card->cover_state() != SkinWidget::CoverState::Loading; }, 15000);
    return card;
}

// Number of cover requests the server has seen since its log was cleared.
inline int cover_requests(TestServer &server)
{
    int count = 0;
    for (const auto &request : server.requests()) {
        if (request.toObject().value(QStringLiteral("path")).toString()
                .endsWith(QStringLiteral("/index_image_download.php")))
            ++count;
    }
    return count;
}

// Largest difference of any colour channel between two same-sized images.
inline int max_channel_difference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            worst = qMax(worst, qMax(qAbs(qRed(p) - qRed(q)),
                                     qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)))));
        }
    }
    return worst;
}

} // namespace card_fixtures
