#include "card/cover_cache.h"

#include "app/config.h"

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

const QSize AREA(COVER_AREA_WIDTH, COVER_AREA_HEIGHT);

// Past this many area widths/heights the scaled image is mostly thrown
// away; a strip-like picture (say 5000 x 2) would otherwise be blown up to
// hundreds of megabytes just to keep a 256 x 185 slice of it.
constexpr int OVERSIZE_FACTOR = 8;

bool oversize(const QSize &scaled)
{
    return scaled.width() > OVERSIZE_FACTOR * COVER_AREA_WIDTH
        || scaled.height() > OVERSIZE_FACTOR * COVER_AREA_HEIGHT;
}

// The part of the source image that ends up in the cover area.
QRect source_section(const QSize &source, const CoverCrop &crop)
{
    const qreal sx = qreal(source.width()) / crop.scaled.width();
    const qreal sy = qreal(source.height()) / crop.scaled.height();
    const QRectF section(crop.offset.x() * sx, crop.offset.y() * sy,
                         COVER_AREA_WIDTH * sx, COVER_AREA_HEIGHT * sy);
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

QString cover_url(const QJsonObject &record)
{
    const QString cover = record_text(record, QStringLiteral("cover"));
    const QString main_category = record_text(record, QStringLiteral("MainCategory"));
    const QString subcategory = record_text(record, QStringLiteral("subcategory"));
    if (cover.isEmpty() || main_category.isEmpty() || subcategory.isEmpty())
        return QString();
    return config::IMAGE_DOWNLOAD_API() + QStringLiteral("?MainCategory=") + main_category
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

CoverCrop cover_crop(const QSize &source)
{
    if (source.isEmpty())
        return {AREA, QPoint(0, 0)};
    // QSize::scaled is what QPixmap::scaled uses, so the sizes agree to the
    // pixel with a plain scale of the full image.
    QSize scaled = source.scaled(AREA, Qt::KeepAspectRatioByExpanding);
    scaled = scaled.expandedTo(QSize(1, 1));
    // Integer halves round down: the odd pixel goes on the right/bottom.
    return {scaled, QPoint((scaled.width() - COVER_AREA_WIDTH) / 2,
                           (scaled.height() - COVER_AREA_HEIGHT) / 2)};
}

QImage crop_cover(const QImage &full)
{
    if (full.isNull())
        return QImage();
    const CoverCrop crop = cover_crop(full.size());
    if (oversize(crop.scaled)) {
        return full.copy(source_section(full.size(), crop))
            .scaled(AREA, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return full.scaled(crop.scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .copy(QRect(crop.offset, AREA));
}

QImage decode_cover(QIODevice *device)
{
    QImageReader reader(device);
    reader.setDecideFormatFromContent(true);
    const QSize source = reader.size();
    if (!source.isValid() || source.isEmpty()) {
        // The format does not tell its size up front: decode it whole.
        return crop_cover(reader.read());
    }
    const CoverCrop crop = cover_crop(source);
    if (oversize(crop.scaled)) {
        reader.setClipRect(source_section(source, crop));
        reader.setScaledSize(AREA);
    } else {
        // Formats that can (JPEG) decode straight at a fraction of their
        // size; the rest are scaled smoothly by the reader after decoding.
        reader.setScaledSize(crop.scaled);
        reader.setScaledClipRect(QRect(crop.offset, AREA));
    }
    reader.setQuality(100);
    QImage image = reader.read();
    if (image.isNull())
        return QImage();
    if (image.size() != AREA)
        image = image.scaled(AREA, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

void prefetch_covers(const QList<QJsonObject> &records)
{
    prefetched().clear();
    std::vector<QString> paths;
    for (const QJsonObject &record : records) {
        const QString url = cover_url(record);
        if (!url.isEmpty() && QFileInfo(cover_cache_path(url)).isFile())
            paths.push_back(cover_cache_path(url));
    }
    if (paths.empty())
        return;

    // Workers fill their own slot; the table is touched on this thread only.
    std::vector<Prefetched> results(paths.size());
    QThreadPool pool;
    for (size_t i = 0; i < paths.size(); ++i) {
        pool.start(QRunnable::create([&paths, &results, i] {
            QFile file(paths[i]);
            const QFileInfo info(file);
            if (!file.open(QIODevice::ReadOnly))
                return;
            results[i] = {decode_cover(&file), info.size(), info.lastModified()};
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
