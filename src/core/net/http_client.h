#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QMutex>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

class QNetworkReply;
class QObject;
class QNetworkRequest;

// Request or answer headers as name/value pairs, in order.
using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// Outcome of one request. `ok` means an answer arrived (whatever its status);
// otherwise `error` describes the transport failure.
struct HttpResult {
    bool ok = false;
    bool timed_out = false;
    bool cancelled = false;
    int status = 0;
    QString reason;
    QByteArray body;
    QByteArray content_type;
    qint64 content_length = -1;   // -1 when the answer carried none
    QUrl url;                     // the address finally answered (after redirects)
    HttpHeaders headers;          // every header of the answer
    QString error;

    // The value of the answer's header `name` (any case), empty without one.
    QByteArray header(const QByteArray &name) const;

    // An answer with status >= 400, or a transport failure.
    bool failed() const { return !ok || status >= 400; }
    // Transport error text, or for a status >= 400 a text naming the code, its
    // reason phrase and the address.
    QString error_text() const;
};

// Text for an HTTP status error, e.g. "404 Client Error: Not Found for url: http://...".
QString http_status_error_text(int status, const QString &reason, const QUrl &url);

// The status line and headers of a reply's answer (ok once a status came).
HttpResult answer_head(QNetworkReply *reply);

// Whether `status` sends the client on to the address in Location.
bool is_redirect(int status);

// Turns an address built by concatenation into a QUrl, percent-encoding only
// what cannot stand in a URL (blanks, non-ASCII), never what already can.
QUrl url_from_text(const QString &text);

// The headers of every request for a file's bytes or for what is known of
// them (its size and validators): the stored bytes themselves, never a
// compressed coding, so that lengths and ranges count what lands on disk
// and a server gives the same validators to a HEAD as to the GET.
HttpHeaders file_request_headers();

// A streamed GET whose body the caller reads in chunks. Created by
// HttpClient::open_stream; usable only on the thread that opened it.
class HttpStream final {
public:
    enum class Read { Data, End, Failed, Cancelled };

    ~HttpStream();
    HttpStream(const HttpStream &) = delete;
    HttpStream &operator=(const HttpStream &) = delete;

    // Status line and headers of the answer (valid once open succeeded).
    const HttpResult &head() const { return m_head; }

    // Waits (up to the time-out without any data) for the next bytes and
    // hands at most `max_bytes` of them to `out`. End means the body is over
    // and complete; a body shorter than its Content-Length is Failed.
    Read read(QByteArray &out, qint64 max_bytes = 8192);
    QString error() const { return m_error; }
    qint64 received() const { return m_received; }

private:
    friend class HttpClient;
    HttpStream() = default;

    QNetworkReply *m_reply = nullptr;
    HttpResult m_head;
    int m_timeout_ms = 0;
    const std::atomic<bool> *m_cancel = nullptr;
    qint64 m_received = 0;
    QString m_error;
};

// The cookies every thread's requests of one client share.
class SharedCookieStore final : public QNetworkCookieJar {
public:
    QMutex mutex;
};

// The program's HTTP client for catalogue, instructions, cover and skin
// requests, created once at start and handed to whoever sends requests.
// Usable from any thread with an event loop or none: every thread gets its
// own network manager, all share the client's cookie store. Destroy it on
// the thread that created it, after the worker threads that used it ended.
class HttpClient final {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // Connection attempts beyond the first when a connection cannot be
    // established at all.
    static constexpr int MAX_RETRIES = 3;
    // Redirects followed for one request, whatever its method; one more is
    // a failure, as is a redirect without a target or back to an address
    // already asked, or from https to http.
    static constexpr int MAX_REDIRECTS = 10;

    // How one background request is sent.
    struct RequestOptions {
        int timeout_seconds = 30;   // the connection and each wait for data
        HttpHeaders headers;        // added to the request
        int retries = MAX_RETRIES;  // attempts beyond the first while no connection can be made
        // Answer with the final status line and headers as soon as they
        // arrive: the body is neither waited for nor read.
        bool head_only = false;
    };

    // Blocking GET. `timeout_seconds` bounds the
    // connection and each wait for data separately.
    // Worker threads only: the window never waits on a request.
    HttpResult get(const QUrl &url, int timeout_seconds, const std::atomic<bool> *cancel = nullptr);
    HttpResult get(const QString &url, int timeout_seconds, const std::atomic<bool> *cancel = nullptr)
    {
        return get(url_from_text(url), timeout_seconds, cancel);
    }
    // The same GET without waiting: returns at once, and `done` is called
    // later on this thread with the result, unless `context` has been
    // destroyed by then (the request is then dropped). Same redirects,
    // retries, time-out and error texts as get(). Requests to one host run
    // side by side on up to six kept-alive connections. Every request of
    // the client, blocking or not, follows redirects as described at
    // MAX_REDIRECTS; its result is the final answer's.
    using Done = std::function<void(const HttpResult &)>;
    void get_async(const QUrl &url, int timeout_seconds, QObject *context, Done done);
    void get_async(const QString &url, int timeout_seconds, QObject *context, Done done)
    {
        get_async(url_from_text(url), timeout_seconds, context, std::move(done));
    }

    // Blocking HEAD, with `headers` added to the request.
    HttpResult head(const QUrl &url, int timeout_seconds, const std::atomic<bool> *cancel = nullptr,
                    const HttpHeaders &headers = {});
    // The same HEAD without waiting, with `headers` added to the request
    // (e.g. conditional ones: a 304 is an answer like any other). Answers
    // like get_async, on the same connections.
    void head_async(const QUrl &url, int timeout_seconds, const HttpHeaders &headers,
                    QObject *context, Done done);

    // Sends a GET, with `headers` added to the request, and waits for its
    // status line and headers. Returns null and fills `failure` when no answer
    // came. An answer with an error status is returned like any other; check
    // head().status.
    std::unique_ptr<HttpStream> open_stream(const QUrl &url, int timeout_seconds,
                                            HttpResult *failure,
                                            const std::atomic<bool> *cancel = nullptr,
                                            const HttpHeaders &headers = {});

    // Any request without waiting, answered like get_async.
    void send_async(const QByteArray &verb, const QUrl &url, const RequestOptions &options, QObject *context,
                    Done done);

    // This thread's network manager.
    QNetworkAccessManager *manager();

private:
    friend class AsyncRequest;
    QNetworkRequest request_for(const QUrl &url, const HttpHeaders &headers) const;
    enum class Wait { Finished, Headers };
    // Sends the request and follows its redirects until the final answer's
    // head (Headers) or all of it (Finished) is in.
    QNetworkReply *send(const QByteArray &verb, const QUrl &url, int timeout_ms,
                        const std::atomic<bool> *cancel, Wait until, HttpResult &result,
                        const HttpHeaders &headers);
    HttpResult run(const QByteArray &verb, const QUrl &url, int timeout_seconds,
                   const std::atomic<bool> *cancel, const HttpHeaders &headers);

    std::shared_ptr<SharedCookieStore> m_cookies;
    QMutex m_managers_mutex;
    QHash<QThread *, QPointer<QNetworkAccessManager>> m_managers;
    QThread *const m_home_thread = QThread::currentThread();
};
