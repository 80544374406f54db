#include "core/net/http_client.h"

#include "core/support/log.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <functional>

namespace {

// Each thread's manager reaches the client's one cookie store through a jar
// object of its own, since a jar belongs to one manager. The jar shares the
// store, so a worker thread's manager may outlive the client safely.
class ThreadCookieJar final : public QNetworkCookieJar {
public:
    ThreadCookieJar(std::shared_ptr<SharedCookieStore> store, QObject *parent)
        : QNetworkCookieJar(parent), m_store(std::move(store))
    {
    }

    QList<QNetworkCookie> cookiesForUrl(const QUrl &url) const override
    {
        QMutexLocker lock(&m_store->mutex);
        return m_store->cookiesForUrl(url);
    }

    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url) override
    {
        QMutexLocker lock(&m_store->mutex);
        return m_store->setCookiesFromUrl(cookies, url);
    }

private:
    std::shared_ptr<SharedCookieStore> m_store;
};

enum class WaitOutcome { Done, TimedOut, Cancelled };

// Runs a local event loop until `done` holds, the reply stays silent for
// `timeout_ms`, or the cancel flag is raised. Meant for worker threads: the
// window's own requests go through get_async and never wait.
WaitOutcome wait_on(QNetworkReply *reply, int timeout_ms, const std::atomic<bool> *cancel,
                    const std::function<bool()> &done)
{
    if (done())
        return WaitOutcome::Done;
    if (cancel && cancel->load())
        return WaitOutcome::Cancelled;

    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    QTimer poll;
    poll.setInterval(20);
    WaitOutcome outcome = WaitOutcome::Done;

    auto progress = [&] {
        idle.start(timeout_ms);
        if (done())
            loop.quit();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, progress);
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, progress);
    QObject::connect(reply, &QNetworkReply::redirected, &loop, progress);
    QObject::connect(reply, &QNetworkReply::encrypted, &loop, progress);
    QObject::connect(reply, &QNetworkReply::finished, &loop, progress);
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        outcome = WaitOutcome::TimedOut;
        loop.quit();
    });
    if (cancel) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (cancel->load()) {
                outcome = WaitOutcome::Cancelled;
                loop.quit();
            }
        });
        poll.start();
    }
    idle.start(timeout_ms);

    loop.exec();
    return outcome;
}

// Errors that mean no connection to the server could be made at all; only
// these are tried again.
bool is_connect_failure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return true;
    default:
        return false;
    }
}

QString timeout_text(int timeout_ms, const QUrl &url)
{
    return QStringLiteral("请求超时 (%1 秒内没有响应): %2")
        .arg(timeout_ms / 1000.0)
        .arg(url.toString());
}

void fill_head(QNetworkReply *reply, HttpResult &result)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.ok = status.isValid();
    result.status = status.toInt();
    result.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    result.url = reply->url();
    result.content_type = reply->rawHeader("Content-Type");
    bool length_ok = false;
    const qint64 length = reply->rawHeader("Content-Length").trimmed().toLongLong(&length_ok);
    result.content_length = (reply->hasRawHeader("Content-Length") && length_ok) ? length : -1;
    result.headers = reply->rawHeaderPairs();
}

// False when the reply ended without any answer.
bool answered(QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

// Whether a request that got no connection is sent again as attempt
// `attempt` (counted from 1); logs the retry.
bool retry_connection(QNetworkReply *reply, int attempt, const QUrl &url)
{
    if (!is_connect_failure(reply->error()) || attempt > HttpClient::MAX_RETRIES)
        return false;
    applog::debug(QStringLiteral("连接失败，立即重试 (%1/%2): %3 - %4")
                      .arg(attempt).arg(HttpClient::MAX_RETRIES).arg(url.toString(), reply->errorString()));
    return true;
}

// Adds the body of a finished answer to its head. An answer that began but
// broke off is a transport failure.
QString short_body_text(qint64 received, qint64 length, const QUrl &url)
{
    return QStringLiteral("响应不完整: 收到 %1 字节，应为 %2 字节 (%3)").arg(received).arg(length).arg(url.toString());
}

void fill_body(QNetworkReply *reply, HttpResult &result)
{
    result.body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError && result.status < 400) {
        result.ok = false;
        result.error = reply->errorString();
        return;
    }
    // A connection cut mid-body is not always reported as an error: a body
    // shorter than its length is one all the same. (A compressed body is
    // measured after decoding, so its length says nothing.)
    if (result.ok && reply->operation() != QNetworkAccessManager::HeadOperation && result.content_length >= 0
        && result.body.size() < result.content_length && !reply->hasRawHeader("Content-Encoding")) {
        result.ok = false;
        result.error = short_body_text(result.body.size(), result.content_length, reply->url());
    }
}

// Where a redirect answer sends the request next, or why it goes nowhere.
// `visited` holds every address of the request so far, the first one too.
struct Hop {
    QUrl next;
    QString error;
};

Hop redirect_hop(QNetworkReply *reply, const QList<QUrl> &visited)
{
    const QUrl from = reply->url();
    const QByteArray location = reply->rawHeader("Location").trimmed();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (location.isEmpty())
        return {QUrl(), QStringLiteral("重定向没有目标地址: %1 %2 (%3)")
                            .arg(status)
                            .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                                 from.toString())};
    const QUrl to = from.resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
    const QString scheme = to.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    // Never from an encrypted address to a plain one.
    const bool less_safe = from.scheme().toLower() == QLatin1String("https") && scheme != QLatin1String("https");
    if (!to.isValid() || to.host().isEmpty() || !web || less_safe)
        return {QUrl(), QStringLiteral("拒绝重定向: %1 → %2").arg(from.toString(), to.toString())};
    if (visited.contains(to))
        return {QUrl(), QStringLiteral("重定向循环: %1 → %2").arg(from.toString(), to.toString())};
    if (visited.size() > HttpClient::MAX_REDIRECTS)
        return {QUrl(), QStringLiteral("重定向次数过多 (超过 %1 次): %2")
                            .arg(HttpClient::MAX_REDIRECTS)
                            .arg(visited.first().toString())};
    return {to, QString()};
}

bool is_redirect_answer(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && is_redirect(status.toInt());
}

} // namespace

QString http_status_error_text(int status, const QString &reason, const QUrl &url)
{
    const QString kind = status >= 500 ? QStringLiteral("Server Error") : QStringLiteral("Client Error");
    return QStringLiteral("%1 %2: %3 for url: %4").arg(status).arg(kind, reason, url.toString());
}

bool is_redirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HttpResult answer_head(QNetworkReply *reply)
{
    HttpResult result;
    fill_head(reply, result);
    return result;
}

QString HttpResult::error_text() const
{
    if (!ok)
        return error;
    if (status >= 400)
        return http_status_error_text(status, reason, url);
    return QString();
}

QByteArray HttpResult::header(const QByteArray &name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

QUrl url_from_text(const QString &text)
{
    return QUrl(text, QUrl::TolerantMode);
}

HttpClient::HttpClient()
    : m_cookies(std::make_shared<SharedCookieStore>())
{
}

HttpClient::~HttpClient()
{
    // The creating thread's manager goes with the client, and with it every
    // request still under way there (their callbacks are not called). Worker
    // threads have ended by now; theirs went when they finished.
    delete m_managers.value(m_home_thread).data();
}

QNetworkAccessManager *HttpClient::manager()
{
    // A table of the client's own rather than thread-local storage: a C++
    // thread_local with a destructor is torn down in no fixed order with
    // MinGW's emulated TLS on Windows, and QThreadStorage hands a slot that
    // a destroyed client left behind to the next storage, which then frees
    // it as its own. A finished thread's entry is a null pointer, replaced
    // when a new thread comes at the same address.
    QMutexLocker lock(&m_managers_mutex);
    QPointer<QNetworkAccessManager> &local = m_managers[QThread::currentThread()];
    if (!local) {
        auto *mgr = new QNetworkAccessManager;
        mgr->setCookieJar(new ThreadCookieJar(m_cookies, mgr));
        QThread *thread = QThread::currentThread();
        if (thread != m_home_thread)
            QObject::connect(thread, &QThread::finished, mgr, &QObject::deleteLater, Qt::DirectConnection);
        local = mgr;
    }
    return local;
}

HttpHeaders file_request_headers()
{
    return {{QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity")}};
}

QNetworkRequest HttpClient::request_for(const QUrl &url, const HttpHeaders &headers) const
{
    QNetworkRequest request(url);
    // Redirects are followed by the client itself, hop by hop, for every
    // method: Qt's own follower leaves HEAD alone and can merge a redirect's
    // headers into the final answer's.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("User-Agent", "Furlane/1.0");
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    return request;
}

QNetworkReply *HttpClient::send(const QByteArray &verb, const QUrl &url, int timeout_ms,
                                const std::atomic<bool> *cancel, Wait until, HttpResult &result,
                                const HttpHeaders &headers)
{
    QUrl at = url;
    QList<QUrl> visited{url};
    for (int attempt = 0;;) {
        const QNetworkRequest request = request_for(at, headers);
        QNetworkReply *reply = verb == "HEAD" ? manager()->head(request)
                                              : manager()->sendCustomRequest(request, verb);
        // Bound what Qt reads ahead of a stream's reader, so memory does not
        // grow with the size of the file. The bound has to be in place before
        // the request is under way: set once the headers had come, it did not
        // hold Qt's network thread back.
        if (until == Wait::Headers)
            reply->setReadBufferSize(1 << 20);
        auto ready = [reply, until] {
            if (reply->isFinished())
                return true;
            if (is_redirect_answer(reply)) {
                // Its body is of no use; read to its end, so that the
                // connection can carry the next hop.
                reply->readAll();
                return false;
            }
            return until == Wait::Headers && answered(reply);
        };
        const WaitOutcome outcome = wait_on(reply, timeout_ms, cancel, ready);
        if (outcome != WaitOutcome::Done) {
            reply->abort();
            reply->deleteLater();
            result = HttpResult();
            result.url = at;
            result.timed_out = outcome == WaitOutcome::TimedOut;
            result.cancelled = outcome == WaitOutcome::Cancelled;
            result.error = result.cancelled ? QStringLiteral("请求已取消") : timeout_text(timeout_ms, at);
            return nullptr;
        }
        if (!answered(reply) && reply->error() != QNetworkReply::NoError) {
            const QString error = reply->errorString();
            const bool retry = retry_connection(reply, ++attempt, at);
            reply->deleteLater();
            if (retry)
                continue;
            result = HttpResult();
            result.url = at;
            result.error = error;
            return nullptr;
        }
        if (is_redirect_answer(reply)) {
            const Hop hop = redirect_hop(reply, visited);
            reply->deleteLater();
            if (!hop.error.isEmpty()) {
                result = HttpResult();
                result.url = at;
                result.error = hop.error;
                return nullptr;
            }
            at = hop.next;
            visited.append(at);
            attempt = 0;
            continue;
        }
        result = HttpResult();
        fill_head(reply, result);
        return reply;
    }
}

HttpResult HttpClient::run(const QByteArray &verb, const QUrl &url, int timeout_seconds,
                           const std::atomic<bool> *cancel, const HttpHeaders &headers)
{
    HttpResult result;
    QNetworkReply *reply = send(verb, url, timeout_seconds * 1000, cancel, Wait::Finished, result, headers);
    if (!reply)
        return result;
    fill_body(reply, result);
    reply->deleteLater();
    return result;
}

HttpResult HttpClient::get(const QUrl &url, int timeout_seconds, const std::atomic<bool> *cancel)
{
    return run("GET", url, timeout_seconds, cancel, {});
}

HttpResult HttpClient::head(const QUrl &url, int timeout_seconds, const std::atomic<bool> *cancel,
                            const HttpHeaders &headers)
{
    return run("HEAD", url, timeout_seconds, cancel, headers);
}

std::unique_ptr<HttpStream> HttpClient::open_stream(const QUrl &url, int timeout_seconds,
                                                    HttpResult *failure,
                                                    const std::atomic<bool> *cancel,
                                                    const HttpHeaders &headers)
{
    HttpResult head;
    QNetworkReply *reply = send("GET", url, timeout_seconds * 1000, cancel, Wait::Headers, head, headers);
    if (!reply) {
        if (failure)
            *failure = head;
        return nullptr;
    }
    std::unique_ptr<HttpStream> stream(new HttpStream);
    stream->m_reply = reply;
    stream->m_head = head;
    stream->m_timeout_ms = timeout_seconds * 1000;
    stream->m_cancel = cancel;
    return stream;
}

HttpStream::~HttpStream()
{
    if (m_reply) {
        if (!m_reply->isFinished())
            m_reply->abort();
        m_reply->deleteLater();
    }
}

HttpStream::Read HttpStream::read(QByteArray &out, qint64 max_bytes)
{
    out.clear();
    QNetworkReply *reply = m_reply;
    const WaitOutcome outcome = wait_on(reply, m_timeout_ms, m_cancel, [reply] {
        return reply->bytesAvailable() > 0 || reply->isFinished();
    });
    if (outcome == WaitOutcome::Cancelled) {
        reply->abort();
        m_error = QStringLiteral("请求已取消");
        return Read::Cancelled;
    }
    if (outcome == WaitOutcome::TimedOut) {
        reply->abort();
        m_error = timeout_text(m_timeout_ms, reply->url());
        return Read::Failed;
    }
    if (reply->bytesAvailable() > 0) {
        out = reply->read(max_bytes);
        m_received += out.size();
        return Read::Data;
    }
    if (reply->error() != QNetworkReply::NoError) {
        m_error = reply->errorString();
        return Read::Failed;
    }
    if (m_head.content_length >= 0 && m_received < m_head.content_length) {
        m_error = short_body_text(m_received, m_head.content_length, reply->url());
        return Read::Failed;
    }
    return Read::End;
}

// One asynchronous request: the same steps as a blocking one (retries while
// no connection can be made, redirects hop by hop, a silence limit reset by
// every sign of progress), driven by the reply's signals instead of a waiting
// loop. Deletes itself once it has answered or its context is gone.
class AsyncRequest final : public QObject {
public:
    AsyncRequest(HttpClient &client, const QByteArray &verb, const QUrl &url,
                 const HttpClient::RequestOptions &options, QObject *context, HttpClient::Done done)
        : QObject(client.manager()), m_client(client), m_verb(verb), m_url(url), m_visited{url},
          m_options(options), m_timeout_ms(options.timeout_seconds * 1000), m_context(context),
          m_done(std::move(done))
    {
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, &AsyncRequest::timed_out);
        // Without its context nobody waits for the answer any more.
        if (context)
            connect(context, &QObject::destroyed, this, &AsyncRequest::drop);
    }

    void start()
    {
        const QNetworkRequest request = m_client.request_for(m_url, m_options.headers);
        m_reply = m_verb == "HEAD" ? m_client.manager()->head(request)
                                   : m_client.manager()->sendCustomRequest(request, m_verb);
        const auto progress = [this] { m_idle.start(m_timeout_ms); };
        connect(m_reply, &QNetworkReply::metaDataChanged, this, progress);
        connect(m_reply, &QNetworkReply::readyRead, this, progress);
        connect(m_reply, &QNetworkReply::encrypted, this, progress);
        if (m_options.head_only)
            connect(m_reply, &QNetworkReply::metaDataChanged, this, &AsyncRequest::head_arrived);
        connect(m_reply, &QNetworkReply::finished, this, &AsyncRequest::finished);
        m_idle.start(m_timeout_ms);
    }

private:
    // Asked for the head only: the final answer's status line and headers
    // are the result, and its body is not waited for.
    void head_arrived()
    {
        if (!m_reply || !answered(m_reply) || is_redirect_answer(m_reply))
            return;
        HttpResult result;
        fill_head(m_reply, result);
        abort_reply();
        m_idle.stop();
        answer(result);
    }

    void finished()
    {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        m_idle.stop();
        reply->deleteLater();
        HttpResult result;
        if (!answered(reply) && reply->error() != QNetworkReply::NoError) {
            if (++m_attempt <= m_options.retries && retry_connection(reply, m_attempt, m_url)) {
                start();
                return;
            }
            result.url = m_url;
            result.error = reply->errorString();
        } else if (is_redirect_answer(reply)) {
            const Hop hop = redirect_hop(reply, m_visited);
            if (hop.error.isEmpty()) {
                m_url = hop.next;
                m_visited.append(m_url);
                m_attempt = 0;
                start();
                return;
            }
            result.url = m_url;
            result.error = hop.error;
        } else {
            fill_head(reply, result);
            if (!m_options.head_only)
                fill_body(reply, result);
        }
        answer(result);
    }

    void timed_out()
    {
        HttpResult result;
        result.url = m_url;
        result.timed_out = true;
        result.error = timeout_text(m_timeout_ms, m_url);
        abort_reply();
        answer(result);
    }

    void drop()
    {
        m_context = nullptr;
        m_done = nullptr;
        abort_reply();
        deleteLater();
    }

    void abort_reply()
    {
        if (!m_reply)
            return;
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }

    void answer(const HttpResult &result)
    {
        HttpClient::Done done = std::move(m_done);
        const bool wanted = done && (!m_has_context || m_context);
        deleteLater();
        if (wanted)
            done(result);
    }

    HttpClient &m_client;
    QByteArray m_verb;
    QUrl m_url;   // the hop under way
    QList<QUrl> m_visited;
    HttpClient::RequestOptions m_options;
    int m_timeout_ms;
    QPointer<QObject> m_context;
    bool m_has_context = m_context != nullptr;
    HttpClient::Done m_done;
    QNetworkReply *m_reply = nullptr;
    QTimer m_idle;
    int m_attempt = 0;
};

void HttpClient::send_async(const QByteArray &verb, const QUrl &url, const RequestOptions &options,
                            QObject *context, Done done)
{
    // A child of this thread's manager: gone with the client, unanswered.
    auto *request = new AsyncRequest(*this, verb, url, options, context, std::move(done));
    request->start();
}

void HttpClient::get_async(const QUrl &url, int timeout_seconds, QObject *context, Done done)
{
    RequestOptions options;
    options.timeout_seconds = timeout_seconds;
    send_async("GET", url, options, context, std::move(done));
}

void HttpClient::head_async(const QUrl &url, int timeout_seconds, const HttpHeaders &headers,
                            QObject *context, Done done)
{
    RequestOptions options;
    options.timeout_seconds = timeout_seconds;
    options.headers = headers;
    send_async("HEAD", url, options, context, std::move(done));
}
