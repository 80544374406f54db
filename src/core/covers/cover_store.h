#pragma once

#include "core/net/server_endpoints.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>

#include <functional>

class HttpClient;

// Covers for the cards: from the disk cache when it holds an image,
// otherwise from the server, whose answer is cached whole (same folder, same
// file names as cover_cache_path). Requests run in the background, side by
// side; one address is asked for once however many cards wait for it. An
// answer is cached even when no card waits for it any more.
class CoverStore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CoverStore)

public:
    // GUI thread only; `client` fetches the covers and must outlive the store.
    explicit CoverStore(HttpClient &client, QObject *parent = nullptr);

    // The server the covers' addresses name (cover_url); empty until the
    // window hands it the resolved endpoints.
    const ServerEndpoints &endpoints() const { return m_endpoints; }
    void set_endpoints(const ServerEndpoints &endpoints) { m_endpoints = endpoints; }

    using Done = std::function<void(const QImage &)>;
    // Hands `done` the cover of `url` cut to `target` (whole when `target`
    // is empty), or a null image when there is none. A cached cover is
    // handed over before this returns; one from the server later (decoded
    // off the GUI thread), and not at all once `context` is gone.
    void fetch(const QString &url, const QSize &target, QObject *context, Done done);

    // The covers of the page on screen: marked as used now, and never
    // trimmed from the cache while shown.
    void set_shown(const QStringList &urls);
    // Keeps the cache within its limit (cover_trim::cache_limit) off the
    // GUI thread; done at start and after each new cover. `trimmed` tells.
    void trim_cache();

    // Requests under way (for tests and the benchmark).
    int pending() const { return m_waiting.size(); }

signals:
    // A trim of the cache is over; `removed` files went.
    void trimmed(int removed);

private:

    struct Waiter {
        QPointer<QObject> context;
        QSize target;
        Done done;
    };
    void answered(const QString &url, const QByteArray *body);

    HttpClient &m_client;
    ServerEndpoints m_endpoints;
    QHash<QString, QList<Waiter>> m_waiting;
    QSet<QString> m_shown;      // cache file names of the page on screen
    bool m_trimming = false;
    bool m_trim_again = false;
};
