#include "core/covers/cover_cache.h"

#include "core/net/server_endpoints.h"
#include "core/support/config.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QJsonValue>
#include <QRect>
#include <QRunnable>
#include <QThreadPool>
#include <QtMath>

#include <vector>

namespace {

// Past this many area widths/heights the scaled image is mostly thrown
// away; a strip-like picture (say 5000 x 2) would otherwise be blown up to
// hundreds of megabytes just to keep a 256 x 185 slice of it.
constexpr int OVERSIZE_FACTOR = 8;

bool oversize(const QSize &scaled, const QSize &target)
{
    return scaled.width() > OVERSIZE_FACTOR * target.width()
        || scaled.height() > OVERSIZE_FACTOR * target.height();
}

// The part of the source image that ends up in the cover area.
QRect source_section(const QSize &source, const CoverCrop &crop, const QSize &target)
{
    const qreal sx = qreal(source.width()) / crop.scaled.width();
    const qreal sy = qreal(source.height()) / crop.scaled.height();
    const QRectF section(crop.offset.x() * sx, crop.offset.y() * sy,
                         target.width() * sx, target.height() * sy);
    return section.toAlignedRect().intersected(QRect(QPoint(0, 0), source));
}

// A decoded cover and the state of its cache file when it was read.
struct Prefetched {
    QImage image;
    qint64 size = -1;
    QDateTime modified;
};

QHash<QString, Prefetched> &prefetched()
{
    static QHash<QString, Prefetched> table;
    return table;
}

} // namespace

QString record_text(const QJsonObject &record, const QString &key)
{
    return record.value(key).toString();
}

QString cover_url(const ServerEndpoints &endpoints, const QJsonObject &record)
{
    const QString cover = record_text(record, QStringLiteral("cover"));
    const QString main_category = record_text(record, QStringLiteral("MainCategory"));
    const QString subcategory = record_text(record, QStringLiteral("subcategory"));
    if (cover.isEmpty() || main_category.isEmpty() || subcategory.isEmpty())
        return QString();
    return endpoints.image_download_api + QStringLiteral("?MainCategory=") + main_category
        + QStringLiteral("&subcategory=") + subcategory + QStringLiteral("&cover=") + cover;
}

QString cover_cache_name(const QString &url)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString cover_cache_path(const QString &url)
{
    return QDir(config::CACHE_DIR()).filePath(cover_cache_name(url));
}

QSize cover_pixel_size(qreal device_pixel_ratio)
{
    const qreal ratio = device_pixel_ratio > 0 ? device_pixel_ratio : 1.0;
    // Up to the next whole pixel, so that no part of the area is left bare;
    // a hair's width above a whole number is rounding noise.
    return QSize(qCeil(COVER_AREA_WIDTH * ratio - 0.01), qCeil(COVER_AREA_HEIGHT * ratio - 0.01));
}

CoverCrop cover_crop(const QSize &source, const QSize &target)
{
    if (source.isEmpty())
        return {target, QPoint(0, 0)};
    // QSize::scaled is what QPixmap::scaled uses, so the sizes agree to the
    // pixel with a plain scale of the full image.
    QSize scaled = source.scaled(target, Qt::KeepAspectRatioByExpanding);
    scaled = scaled.expandedTo(QSize(1, 1));
    // Integer halves round down: the odd pixel goes on the right/bottom.
    return {scaled, QPoint((scaled.width() - target.width()) / 2,
                           (scaled.height() - target.height()) / 2)};
}

QImage crop_cover(const QImage &full, const QSize &target)
{
    if (full.isNull())
        return QImage();
    const CoverCrop crop = cover_crop(full.size(), target);
    if (oversize(crop.scaled, target)) {
        return full.copy(source_section(full.size(), crop, target))
            .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return full.scaled(crop.scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .copy(QRect(crop.offset, target));
}

QImage decode_cover(QIODevice *device, const QSize &target)
{
    QImageReader reader(device);
    reader.setDecideFormatFromContent(true);
    const QSize source = reader.size();
    if (!source.isValid() || source.isEmpty()) {
        // The format does not tell its size up front: decode it whole.
        return crop_cover(reader.read(), target);
    }
    const CoverCrop crop = cover_crop(source, target);
    if (oversize(crop.scaled, target)) {
        reader.setClipRect(source_section(source, crop, target));
        reader.setScaledSize(target);
    } else {
        // Formats that can (JPEG) decode straight at a fraction of their
        // size; the rest are scaled smoothly by the reader after decoding.
        reader.setScaledSize(crop.scaled);
        reader.setScaledClipRect(QRect(crop.offset, target));
    }
    reader.setQuality(100);
    QImage image = reader.read();
    if (image.isNull())
        return QImage();
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

void prefetch_covers(const ServerEndpoints &endpoints, const QList<QJsonObject> &records, const QSize &target)
{
    prefetched().clear();
    std::vector<QString> paths;
    for (const QJsonObject &record : records) {
        const QString url = cover_url(endpoints, record);
        if (!url.isEmpty() && QFileInfo(cover_cache_path(url)).isFile())
            paths.push_back(cover_cache_path(url));
    }
    if (paths.empty())
        return;

    // Workers fill their own slot; the table is touched on this thread only.
    std::vector<Prefetched> results(paths.size());
    QThreadPool pool;
    for (size_t i = 0; i < paths.size(); ++i) {
        pool.start(QRunnable::create([&paths, &results, &target, i] {
            QFile file(paths[i]);
            const QFileInfo info(file);
            if (!file.open(QIODevice::ReadOnly))
                return;
            results[i] = {decode_cover(&file, target), info.size(), info.lastModified()};
        }));
    }
    pool.waitForDone();
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!results[i].image.isNull())
            prefetched().insert(paths[i], results[i]);
    }
}

QImage take_prefetched_cover(const QString &cache_path)
{
    const Prefetched entry = prefetched().take(cache_path);
    if (entry.image.isNull())
        return QImage();
    const QFileInfo now(cache_path);
    if (!now.isFile() || now.size() != entry.size || now.lastModified() != entry.modified)
        return QImage();
    return entry.image;
}
