#include "core/net/resume_rules.h"

#include <QRegularExpression>

namespace {

// "bytes <first>-<last>/<total or *>"
struct ContentRange {
    bool valid = false;
    qint64 first = -1;
    qint64 last = -1;
    qint64 total = -1;   // -1 for "*"
};

ContentRange parse_content_range(const QByteArray &value)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*bytes\\s+(\\d+)-(\\d+)/(\\d+|\\*)\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(QString::fromLatin1(value));
    ContentRange range;
    if (!match.hasMatch())
        return range;
    bool ok_first = false, ok_last = false, ok_total = true;
    range.first = match.captured(1).toLongLong(&ok_first);
    range.last = match.captured(2).toLongLong(&ok_last);
    if (match.captured(3) != QLatin1String("*"))
        range.total = match.captured(3).toLongLong(&ok_total);
    range.valid = ok_first && ok_last && ok_total && range.first <= range.last
        && (range.total < 0 || range.last < range.total);
    return range;
}

} // namespace

qint64 content_range_total(const QByteArray &value)
{
    const ContentRange range = parse_content_range(value);
    return range.valid ? range.total : -1;
}

void ResumeRules::begin(const HttpResult &answer, qint64 fallback_total)
{
    // A weak ETag may not stand in If-Range, and a file that has an ETag may
    // not be asked for by its date either: such a file has no validator.
    const QByteArray etag = answer.header("ETag").trimmed();
    if (etag.isEmpty()) {
        m_validator = answer.header("Last-Modified").trimmed();
        m_validator_header = QByteArrayLiteral("Last-Modified");
    } else {
        m_validator = etag.startsWith("W/") ? QByteArray() : etag;
        m_validator_header = QByteArrayLiteral("ETag");
    }
    m_total = answer.content_length >= 0 ? answer.content_length : (fallback_total > 0 ? fallback_total : -1);
    m_body_end = m_total;
}

HttpHeaders ResumeRules::range_headers(qint64 offset) const
{
    HttpHeaders headers{{QByteArrayLiteral("Range"), QByteArrayLiteral("bytes=") + QByteArray::number(offset) + '-'}};
    if (!m_validator.isEmpty())
        headers.append({QByteArrayLiteral("If-Range"), m_validator});
    return headers;
}

ResumeRules::Judgement ResumeRules::unusable(const QString &why)
{
    if (m_refetched)
        return {Verdict::Fail, why};
    m_refetched = true;
    return {Verdict::Refetch, why};
}

ResumeRules::Judgement ResumeRules::judge(const HttpResult &answer, qint64 offset)
{
    const QString where = QStringLiteral(" (") + answer.url.toString() + QLatin1Char(')');
    if (answer.status == 206) {
        const QByteArray value = answer.header("Content-Range");
        const ContentRange range = parse_content_range(value);
        if (!range.valid || range.first != offset || (m_total >= 0 && range.total != m_total))
            return unusable(QStringLiteral("续传应答不符: Content-Range: ") + QString::fromLatin1(value)
                            + QStringLiteral("，应从 ") + QString::number(offset) + QStringLiteral(" 字节起，共 ")
                            + QString::number(m_total) + QStringLiteral(" 字节") + where);
        const qint64 span = range.last - range.first + 1;
        if (answer.content_length >= 0 && answer.content_length != span)
            return unusable(QStringLiteral("续传应答不符: Content-Length: ") + QString::number(answer.content_length)
                            + QStringLiteral("，Content-Range: ") + QString::fromLatin1(value) + where);
        // A server that ignores If-Range sends the rest of whatever it has
        // now; appended to the start of another version it makes neither.
        // A 206 must repeat the ETag but may leave out the date; without a
        // date of its own it is what the server judged If-Range to ask for.
        const QByteArray validator = answer.header(m_validator_header).trimmed();
        const bool date_left_out = validator.isEmpty() && m_validator_header == "Last-Modified";
        if (m_validator.isEmpty() || (validator != m_validator && !date_left_out))
            return unusable(QStringLiteral("续传应答不符: 文件已改变 (") + QString::fromLatin1(m_validator_header)
                            + QStringLiteral(": ") + QString::fromLatin1(m_validator) + QStringLiteral(" → ")
                            + QString::fromLatin1(validator) + QLatin1Char(')') + where);
        if (m_total < 0)
            m_total = range.total;
        m_body_end = range.last + 1;
        return {Verdict::Append, QString()};
    }
    if (answer.status >= 200 && answer.status < 300) {
        // The server ignores ranges, or the file changed: this is it whole.
        begin(answer, m_total);
        return {Verdict::Restart, QString()};
    }
    if (answer.status == 416 || answer.status < 400)
        return unusable(answer.status >= 400 ? answer.error_text()
                                             : http_status_error_text(answer.status, answer.reason, answer.url));
    return {Verdict::Fail, answer.error_text()};
}

ResumeRules::Judgement ResumeRules::overrun(qint64 received, const QUrl &url)
{
    return unusable(QStringLiteral("续传应答不符: 应答长于所述范围，已收到 ") + QString::number(received)
                    + QStringLiteral(" 字节，应到 ") + QString::number(m_body_end) + QStringLiteral(" 字节为止 (")
                    + url.toString() + QLatin1Char(')'));
}

QString ResumeRules::resume_text(qint64 offset, int k, const QString &file_name)
{
    return QStringLiteral("下载中断，从 %1 字节处继续 (%2/%3): ").arg(offset).arg(k).arg(MAX_RESUMES) + file_name;
}

QString ResumeRules::restart_text(const QString &file_name)
{
    return QStringLiteral("服务器不支持断点续传，重新下载: ") + file_name;
}
