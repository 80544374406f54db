#include "core/covers/cover_store.h"

#include "core/covers/cover_cache.h"
#include "core/net/http_client.h"
#include "core/support/config.h"
#include "core/support/log.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRunnable>
#include <QSaveFile>
#include <QThreadPool>

namespace {

const int COVER_TIMEOUT_S = 10;

QImage decode(QIODevice *device, const QSize &target)
{
    if (!target.isEmpty())
        return decode_cover(device, target);
    QImageReader reader(device);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

} // namespace

CoverStore::CoverStore(HttpClient &client, QObject *parent)
    : QObject(parent), m_client(client)
{
}

void CoverStore::fetch(const QString &url, const QSize &target, QObject *context, Done done)
{
    if (url.isEmpty()) {
        done(QImage());
        return;
    }
    const QString cache_path = cover_cache_path(url);
    QFile cached(cache_path);
    if (cached.exists()) {
        if (cached.open(QIODevice::ReadOnly)) {
            const QImage image = decode(&cached, target);
            if (!image.isNull()) {
                done(image);
                return;
            }
            // Not an image (an error page cached earlier): fetch it again.
        } else {
            applog::warning(QStringLiteral("加载缓存图片失败: ") + cached.errorString());
        }
    }

    const bool asked = m_waiting.contains(url);
    m_waiting[url].append({context, target, std::move(done)});
    if (asked)
        return;
    // The store outlives every card: the answer is cached whoever waits.
    m_client.get_async(url, COVER_TIMEOUT_S, this, [this, url](const HttpResult &result) {
        if (!result.ok) {
            applog::error(QStringLiteral("加载封面图片失败: ") + result.error_text());
            answered(url, nullptr);
            return;
        }
        if (result.status != 200) {
            answered(url, nullptr);
            return;
        }
        // Written whole or not at all, so a failed write leaves no torn file.
        // The cache folder is made again should it have been removed meanwhile.
        const QString cache_path = cover_cache_path(url);
        QDir().mkpath(config::CACHE_DIR());
        QSaveFile out(cache_path);
        if (!out.open(QIODevice::WriteOnly) || out.write(result.body) != result.body.size() || !out.commit()) {
            applog::error(QStringLiteral("加载封面图片失败: ") + out.errorString() + QStringLiteral(": ")
                          + QDir::toNativeSeparators(cache_path));
            answered(url, nullptr);
            return;
        }
        answered(url, &result.body);
    });
}

void CoverStore::answered(const QString &url, const QByteArray *body)
{
    const QList<Waiter> waiters = m_waiting.take(url);
    for (const Waiter &waiter : waiters) {
        if (!waiter.context)
            continue;   // the card left the screen
        if (!body) {
            waiter.done(QImage());
            continue;
        }
        // Decoded on a pool thread: a page's covers arrive together, and
        // decoding them one after another here would hold up the window.
        const QByteArray bytes = *body;
        const Waiter handed = waiter;
        QThreadPool::globalInstance()->start(QRunnable::create([this, bytes, handed] {
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            const QImage image = decode(&buffer, handed.target);
            QMetaObject::invokeMethod(this, [handed, image] {
                if (handed.context)
                    handed.done(image);
            }, Qt::QueuedConnection);
        }));
    }
}
