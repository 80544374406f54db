#pragma once

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

class QIODevice;
struct ServerEndpoints;

// Cover images: where a card's cover comes from, where it is cached and how
// it is cut to the card. Pure functions, so the card, the page refresh and
// the tests share one rule.

// Size of the cover area of a card.
constexpr int COVER_AREA_WIDTH = 256;
constexpr int COVER_AREA_HEIGHT = 185;

// The cover area in device pixels at a device pixel ratio: a cover made at
// this size is drawn one pixel for one, never enlarged.
QSize cover_pixel_size(qreal device_pixel_ratio);

// A record's text value for `key`; a missing or non-text value is empty.
QString record_text(const QJsonObject &record, const QString &key);

// The cover address of a skin record on the server of `endpoints`:
// IMAGE_DOWNLOAD_API + "?MainCategory=" + main + "&subcategory=" + sub +
// "&cover=" + cover, the values inserted as they are (no percent-encoding).
// Empty when any of the three is empty.
QString cover_url(const ServerEndpoints &endpoints, const QJsonObject &record);

// Cache file name of a cover address: the lowercase hex MD5 of its UTF-8 text.
QString cover_cache_name(const QString &url);
// The cache file of a cover address, directly in config::CACHE_DIR().
QString cover_cache_path(const QString &url);

// How an image of `source` size is cut to the cover area of `target` size
// (the area in device pixels): scaled (keeping its aspect ratio) to the
// smallest size covering the whole area, then the centred section taken,
// the odd pixel cut on the right or at the bottom.
struct CoverCrop {
    QSize scaled;   // size after scaling
    QPoint offset;  // top-left corner of the section within `scaled`
};
CoverCrop cover_crop(const QSize &source,
                     const QSize &target = QSize(COVER_AREA_WIDTH, COVER_AREA_HEIGHT));

// Scales and crops a full image to `target` as cover_crop describes.
QImage crop_cover(const QImage &full,
                  const QSize &target = QSize(COVER_AREA_WIDTH, COVER_AREA_HEIGHT));

// Decodes an image from `device` straight to `target`, decoding at the
// scaled size rather than at full size where the format allows it. The
// format is recognised from the content. Null when it is not an image.
QImage decode_cover(QIODevice *device,
                    const QSize &target = QSize(COVER_AREA_WIDTH, COVER_AREA_HEIGHT));

// Decodes the cached covers of `records` (one page's records, their covers
// on the server of `endpoints`) on all cores
// at once, at `target` size, so the cards built next find them ready instead
// of decoding one after another on the GUI thread. Reads the cache only, never the network,
// and logs nothing: whatever is not cached or not an image is left to the
// card's own loading. Each call drops what an earlier one left unused.
// GUI thread only; returns when the decoding is done.
void prefetch_covers(const ServerEndpoints &endpoints, const QList<QJsonObject> &records,
                     const QSize &target = QSize(COVER_AREA_WIDTH, COVER_AREA_HEIGHT));

// Hands out (once) the prefetched cover of a cache file; null when there is
// none or the file changed or went away since it was decoded.
QImage take_prefetched_cover(const QString &cache_path);
