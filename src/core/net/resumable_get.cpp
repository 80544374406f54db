#include "core/net/resumable_get.h"

#include "core/net/http_client.h"
#include "core/net/resume_rules.h"
#include "core/support/log.h"
#include "core/support/sha256.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {

// A read takes what has arrived, up to the reply's own buffer: one read,
// write and hash per 8 KiB cost more than the bytes themselves. Progress
// still goes out in 8 KiB steps, as fine as a window can show it.
constexpr qint64 READ_SIZE = 1 << 20;
constexpr qint64 REPORT_SIZE = 8192;

QString longer_text(qint64 received, qint64 total, const QUrl &url)
{
    return QStringLiteral("响应长度不符: 收到 %1 字节，应为 %2 字节 (%3)").arg(received).arg(total).arg(url.toString());
}

QByteArray strong_etag(const HttpResult &answer)
{
    const QByteArray etag = answer.header("ETag").trimmed();
    return etag.startsWith("W/") ? QByteArray() : etag;
}

} // namespace

bool ResumableGet::pause(int ms) const
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (cancel && cancel->load())
            return false;
        QThread::msleep(qBound<qint64>(1, ms - clock.elapsed(), 20));
    }
    return !(cancel && cancel->load());
}

ResumableGet::Result ResumableGet::run(QString &error)
{
    ResumeRules rules;
    auto cancelled = [this] { return cancel && cancel->load(); };
    auto report = [this, &rules](qint64 delta) {
        m_total = rules.total();
        if (on_bytes && delta != 0)
            on_bytes(delta);
    };
    auto file_error = [this](const QString &prefix, const QFile &file) {
        m_disk_failed = true;
        return prefix + QDir::toNativeSeparators(file.fileName()) + QStringLiteral(" - ") + file.errorString();
    };

    m_sha256_hex.clear();
    m_etag.clear();
    m_last_modified.clear();
    m_total = -1;
    m_disk_failed = false;

    QFile out(file_path);
    qint64 on_disk = 0;
    bool ranged = false;   // the next request asks for the rest only
    // Every byte of the file passes through here on its way to the disk, so
    // the hash needs no second read.
    Sha256 hash;
    // Takes the validators of an answer whose body goes into the file. A 206
    // may leave out what the answer it continues already said.
    auto take_validators = [&](const HttpResult &answer, bool continues) {
        const QByteArray etag = strong_etag(answer);
        const QByteArray date = answer.header("Last-Modified").trimmed();
        if (!continues || !etag.isEmpty())
            m_etag = etag;
        if (!continues || !date.isEmpty())
            m_last_modified = date;
    };

    // Drops what is on disk: the next bytes are the file's first.
    auto start_again = [&] {
        applog::warning(ResumeRules::restart_text(file_name));
        if (!out.resize(0) || !out.seek(0)) {
            error = file_error(QStringLiteral("写入文件失败: "), out);
            return false;
        }
        report(-on_disk);
        on_disk = 0;
        hash.reset();
        return true;
    };

    for (;;) {
        QString broke;   // why this transfer broke off; empty while it did not
        {
            // Ranges count bytes as stored; a compressed body would not match.
            HttpHeaders headers = file_request_headers();
            if (ranged)
                headers += rules.range_headers(on_disk);
            HttpResult failure;
            std::unique_ptr<HttpStream> stream =
                m_client.open_stream(url, timeout_seconds, &failure, cancel, headers);
            if (!stream) {
                if (failure.cancelled)
                    return Result::Cancelled;
                broke = failure.error_text();
            } else if (ranged) {
                const ResumeRules::Judgement judgement = rules.judge(stream->head(), on_disk);
                if (judgement.verdict == ResumeRules::Verdict::Fail) {
                    error = judgement.error;
                    return Result::Failed;
                }
                if (judgement.verdict != ResumeRules::Verdict::Append) {
                    if (!start_again())
                        return Result::Failed;
                    if (judgement.verdict == ResumeRules::Verdict::Refetch) {
                        ranged = false;
                        continue;
                    }
                }
                take_validators(stream->head(), judgement.verdict == ResumeRules::Verdict::Append);
            } else {
                if (stream->head().status >= 400) {
                    error = stream->head().error_text();
                    return Result::Failed;
                }
                rules.begin(stream->head(), fallback_total);
                take_validators(stream->head(), false);
                // Opened once the server has the file, so a refused one leaves no file behind.
                if (!out.isOpen() && !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                    error = file_error(QStringLiteral("无法写入临时文件: "), out);
                    return Result::Failed;
                }
            }

            QByteArray chunk;
            bool refetch = false;
            while (stream && broke.isEmpty()) {
                if (cancelled())
                    return Result::Cancelled;
                const HttpStream::Read read = stream->read(chunk, READ_SIZE);
                if (read == HttpStream::Read::End)
                    break;
                if (read == HttpStream::Read::Cancelled)
                    return Result::Cancelled;
                if (read == HttpStream::Read::Failed) {
                    broke = stream->error();
                    break;
                }
                if (chunk.isEmpty())
                    continue;
                if (cancelled())
                    return Result::Cancelled;
                // More than the answer named: the bytes cannot be trusted,
                // whatever the server's length header said.
                if (rules.body_end() >= 0 && on_disk + chunk.size() > rules.body_end()) {
                    const ResumeRules::Judgement judgement = ranged
                        ? rules.overrun(on_disk + chunk.size(), url)
                        : ResumeRules::Judgement{ResumeRules::Verdict::Fail, longer_text(on_disk + chunk.size(), rules.total(), url)};
                    if (judgement.verdict == ResumeRules::Verdict::Fail) {
                        error = judgement.error;
                        return Result::Failed;
                    }
                    refetch = true;
                    break;
                }
                if (out.write(chunk) != chunk.size()) {
                    error = file_error(QStringLiteral("写入文件失败: "), out);
                    return Result::Failed;
                }
                hash.add(chunk);
                for (qint64 at = 0; at < chunk.size(); at += REPORT_SIZE) {
                    if (cancelled())
                        return Result::Cancelled;
                    const qint64 part = qMin<qint64>(REPORT_SIZE, chunk.size() - at);
                    on_disk += part;
                    report(part);
                }
            }
            if (refetch) {
                if (!start_again())
                    return Result::Failed;
                ranged = false;
                continue;
            }
            // A body without a length of its own that ends before the known
            // size was cut short too.
            if (broke.isEmpty() && rules.total() >= 0 && on_disk < rules.total())
                broke = QStringLiteral("响应不完整: 收到 %1 字节，应为 %2 字节 (%3)")
                            .arg(on_disk)
                            .arg(rules.total())
                            .arg(url.toString());
        }
        if (broke.isEmpty()) {
            // Only the whole file, to the byte, may be moved into place.
            if (rules.total() >= 0 && on_disk != rules.total()) {
                error = longer_text(on_disk, rules.total(), url);
                return Result::Failed;
            }
            if (!out.flush()) {
                error = file_error(QStringLiteral("写入文件失败: "), out);
                return Result::Failed;
            }
            m_sha256_hex = hash.hex();
            return Result::Done;
        }

        // Only a transfer that got somewhere is resumed; one that never
        // started fails as it always has.
        if (cancelled())
            return Result::Cancelled;
        if (!rules.can_resume() || (on_disk == 0 && !out.isOpen())) {
            error = broke;
            return Result::Failed;
        }
        const int k = rules.next_resume();
        // Without a validator a ranged answer could belong to another version
        // of the file: this attempt asks for all of it.
        ranged = on_disk > 0 && rules.can_ask_for_range();
        if (ranged)
            applog::warning(ResumeRules::resume_text(on_disk, k, file_name));
        else if (on_disk > 0 && !start_again())
            return Result::Failed;
        if (!out.flush()) {
            error = file_error(QStringLiteral("写入文件失败: "), out);
            return Result::Failed;
        }
        if (!pause(ResumeRules::pause_ms(k)))
            return Result::Cancelled;
    }
}
