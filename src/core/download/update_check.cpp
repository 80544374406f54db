#include "core/download/update_check.h"

#include "core/net/resume_rules.h"
#include "core/support/log.h"

namespace {

// A weak ETag says only that two answers mean the same, not that their bytes
// are the same: it is as good as none.
QByteArray strong_etag(const QByteArray &value)
{
    const QByteArray tag = value.trimmed();
    return tag.startsWith("W/") ? QByteArray() : tag;
}

// A server that refuses HEAD: the check asks with a GET of the first byte.
bool head_refused(const HttpResult &answer)
{
    return answer.ok && (answer.status == 405 || answer.status == 501);
}

// The answer to that GET read like a HEAD's: a 206 names the whole size in
// its Content-Range, a 200 in its Content-Length.
HttpResult as_head_answer(HttpResult answer)
{
    if (answer.ok && answer.status == 206)
        answer.content_length = content_range_total(answer.header("Content-Range"));
    return answer;
}

PackageCheck failed(const InstallRecord &record, const QString &error)
{
    PackageCheck check;
    check.skin_id = record.skin_id;
    check.error = error;
    return check;
}

} // namespace

HttpHeaders conditional_headers(const InstallRecord &record)
{
    HttpHeaders headers;
    if (!record.revision_known || record.files.isEmpty())
        return headers;
    const InstalledFile &package = record.files.first();
    const QByteArray etag = strong_etag(package.etag);
    if (!etag.isEmpty())
        headers.append({QByteArrayLiteral("If-None-Match"), etag});
    const QByteArray modified = package.last_modified.trimmed();
    if (!modified.isEmpty())
        headers.append({QByteArrayLiteral("If-Modified-Since"), modified});
    return headers;
}

PackageCheck judge_package_answer(const InstallRecord &record, const HttpResult &answer)
{
    if (answer.failed())
        return failed(record, answer.error_text());
    if (answer.status != 304 && (answer.status < 200 || answer.status >= 300))
        return failed(record, QStringLiteral("意外的响应 %1 %2: %3")
                                  .arg(answer.status).arg(answer.reason, answer.url.toString()));
    if (record.files.isEmpty())
        return failed(record, QStringLiteral("安装记录中没有安装包"));

    const InstalledFile &package = record.files.first();
    const QByteArray known_etag = strong_etag(package.etag);
    const QByteArray known_modified = package.last_modified.trimmed();
    const bool nothing_known = !record.revision_known
        || (known_etag.isEmpty() && known_modified.isEmpty() && package.size < 0);

    PackageCheck check;
    check.skin_id = record.skin_id;
    check.etag = strong_etag(answer.header("ETag"));
    check.last_modified = answer.header("Last-Modified").trimmed();
    check.size = answer.content_length;

    if (answer.status == 304) {
        // Not modified: what the 304 leaves out is still what the record says.
        if (check.etag.isEmpty())
            check.etag = known_etag;
        if (check.last_modified.isEmpty())
            check.last_modified = known_modified;
        check.size = package.size;
        check.verdict = nothing_known ? PackageVerdict::Learned : PackageVerdict::Same;
        return check;
    }
    if (nothing_known) {
        // A skin adopted without a record still has its size on disk: another
        // size on the server is another package, whatever validators come.
        const bool other_size = package.size >= 0 && check.size >= 0 && package.size != check.size;
        check.verdict = other_size ? PackageVerdict::Changed : PackageVerdict::Learned;
        return check;
    }
    if (!known_etag.isEmpty() && !check.etag.isEmpty()) {
        check.verdict = known_etag == check.etag ? PackageVerdict::Same : PackageVerdict::Changed;
        return check;
    }
    if (!known_modified.isEmpty() && !check.last_modified.isEmpty()) {
        check.verdict = known_modified == check.last_modified ? PackageVerdict::Same : PackageVerdict::Changed;
        return check;
    }
    // Nothing to compare but the size: another one is another package; the
    // same one is the same only when the server has no validator at all
    // (otherwise its validators are new to the record and are learned).
    const bool sizes_known = package.size >= 0 && check.size >= 0;
    if (sizes_known && package.size != check.size)
        check.verdict = PackageVerdict::Changed;
    else if (sizes_known && check.etag.isEmpty() && check.last_modified.isEmpty())
        check.verdict = PackageVerdict::Same;
    else
        check.verdict = PackageVerdict::Learned;
    return check;
}

SkinUpdateChecker::SkinUpdateChecker(HttpClient &http, QObject *parent)
    : QObject(parent), m_http(http)
{
    qRegisterMetaType<PackageCheck>();
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_supplier)
            check(m_supplier());
    });
}

void SkinUpdateChecker::check(const QVector<InstallRecord> &records)
{
    if (m_running) {
        m_queued = records;
        return;
    }
    m_records = records;
    m_next = 0;
    m_in_flight = 0;
    m_running = true;
    send_next();
}

void SkinUpdateChecker::send_next()
{
    while (m_in_flight < MAX_IN_FLIGHT && m_next < m_records.size()) {
        const int index = m_next++;
        const InstallRecord &record = m_records.at(index);
        const QString url = record.files.isEmpty() ? QString() : record.files.first().url;
        if (url.isEmpty()) {
            take(record, failed(record, QStringLiteral("安装记录中没有安装包")));
            continue;
        }
        ++m_in_flight;
        ask(index, "HEAD");
    }
    if (!m_running || m_in_flight > 0 || m_next < m_records.size())
        return;
    m_running = false;
    m_records.clear();
    emit finished();
    if (m_queued) {
        const QVector<InstallRecord> next = std::move(*m_queued);
        m_queued.reset();
        check(next);
    }
}

void SkinUpdateChecker::ask(int index, const QByteArray &verb)
{
    const InstallRecord &record = m_records.at(index);
    HttpClient::RequestOptions options;
    options.timeout_seconds = m_timeout_seconds;
    // The same request headers as the download's GET: a server that tags its
    // validators with the coding it would use then tags neither.
    options.headers = file_request_headers() + conditional_headers(record);
    if (verb == "GET") {
        options.headers.append({QByteArrayLiteral("Range"), QByteArrayLiteral("bytes=0-0")});
        options.head_only = true;
    }
    m_http.send_async(verb, url_from_text(record.files.first().url), options, this,
                      [this, index, verb](const HttpResult &answer) {
                          if (verb == "HEAD" && head_refused(answer)) {
                              ask(index, "GET");
                              return;
                          }
                          --m_in_flight;
                          const InstallRecord &answered_record = m_records.at(index);
                          take(answered_record, judge_package_answer(answered_record, as_head_answer(answer)));
                          send_next();
                      });
}

void SkinUpdateChecker::take(const InstallRecord &record, PackageCheck result)
{
    result.record = record;
    // Every ten minutes the same failure would say nothing new: a skin's
    // failure is logged when it differs from its last one.
    if (result.verdict == PackageVerdict::Failed) {
        QString &last = m_last_failure[record.skin_id];
        if (last != result.error)
            applog::warning(QStringLiteral("检查皮肤更新失败: %1 - %2")
                                .arg(record.name.isEmpty() ? record.skin_id : record.name, result.error));
        last = result.error;
    } else {
        m_last_failure.remove(record.skin_id);
    }
    emit answered(result);
}

void SkinUpdateChecker::start_periodic(int interval_ms)
{
    m_timer.start(interval_ms);
}

void SkinUpdateChecker::check_now()
{
    if (m_supplier)
        check(m_supplier());
    if (m_timer.isActive())
        m_timer.start();
}
