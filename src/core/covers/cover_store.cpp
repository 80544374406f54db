#include "core/covers/cover_store.h"

#include "core/covers/cover_cache.h"
#include "core/covers/cover_cache_trim.h"
#include "core/net/http_client.h"
#include "core/support/config.h"
#include "core/support/log.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRunnable>
#include <QSaveFile>
#include <QThreadPool>

#include <utility>

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
    // The limit holds from the start, once the event loop runs.
    QMetaObject::invokeMethod(this, &CoverStore::trim_cache, Qt::QueuedConnection);
}

void CoverStore::set_shown(const QStringList &urls)
{
    m_shown.clear();
    for (const QString &url : urls) {
        if (url.isEmpty())
            continue;
        m_shown.insert(cover_cache_name(url));
        cover_trim::mark_used(cover_cache_path(url));
    }
}

void CoverStore::trim_cache()
{
    if (m_trimming) {
        m_trim_again = true;
        return;
    }
    m_trimming = true;
    const QString folder = config::CACHE_DIR();
    const qint64 limit = cover_trim::cache_limit();
    const QSet<QString> keep = m_shown;
    QPointer<CoverStore> store(this);
    QThreadPool::globalInstance()->start(QRunnable::create([store, folder, limit, keep] {
        const QStringList removed = cover_trim::trim_folder(folder, limit, keep);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [store, removed] {
            if (!store)
                return;
            store->m_trimming = false;
            if (!removed.isEmpty())
                applog::info(QStringLiteral("已清理封面缓存: %1 个文件").arg(removed.size()));
            emit store->trimmed(removed.size());
            if (std::exchange(store->m_trim_again, false))
                store->trim_cache();
        }, Qt::QueuedConnection);
    }));
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
                cover_trim::mark_used(cache_path);
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
        trim_cache();
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
        // The answer goes through the application object: the store may be
        // gone by then (it is the program's, destroyed before the pool ends).
        QThreadPool::globalInstance()->start(QRunnable::create([bytes, handed] {
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            const QImage image = decode(&buffer, handed.target);
            QMetaObject::invokeMethod(QCoreApplication::instance(), [handed, image] {
                if (handed.context)
                    handed.done(image);
            }, Qt::QueuedConnection);
        }));
    }
}
