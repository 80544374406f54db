#pragma once

#include "core/net/http_client.h"

#include <QByteArray>
#include <QString>

// The whole file's size a Content-Range value names ("bytes 0-0/5000" names
// 5000), -1 when it names none or cannot be read.
qint64 content_range_total(const QByteArray &value);

// How a file's GET goes on after it broke off: which request asks for the
// rest and what the server's answer to it means. Shared by the skin and the
// update downloads, so that both resume the same way.
class ResumeRules final {
public:
    // Resumes allowed per file.
    static constexpr int MAX_RESUMES = 3;

    // Takes `answer` (a success) as the one the file starts from: its
    // validator and its total size, or `fallback_total` (a size measured
    // beforehand, <= 0 for none) when the answer gives no length.
    void begin(const HttpResult &answer, qint64 fallback_total);
    // Bytes the whole file has, -1 when unknown.
    qint64 total() const { return m_total; }

    bool can_resume() const { return m_resumes < MAX_RESUMES; }
    // Counts one more resume and returns its number, from 1.
    int next_resume() { return ++m_resumes; }
    int resumes() const { return m_resumes; }
    // The pause before resume `k`: 0.5, 1, then 2 seconds.
    static int pause_ms(int k) { return 500 << qBound(0, k - 1, 2); }

    // Whether the file has a validator that If-Range can carry (a strong
    // ETag, or Last-Modified when it has no ETag at all). Without one a
    // resumed answer could be part of another version of the file, so the
    // file starts again from zero.
    bool can_ask_for_range() const { return !m_validator.isEmpty(); }

    // Request headers asking for the bytes from `offset` on, as long as the
    // file is still the one it started from.
    HttpHeaders range_headers(qint64 offset) const;

    // Where the body of the answer judged last must end: the byte after the
    // span a 206 names, or the total for a whole file (-1 when unknown).
    qint64 body_end() const { return m_body_end; }

    enum class Verdict {
        Append,    // the answer carries the rest: append it
        Restart,   // the answer carries the whole file: start again from zero with it
        Refetch,   // the answer is of no use: ask for the whole file afresh
        Fail,      // give up with `error`
    };
    struct Judgement {
        Verdict verdict;
        QString error;
    };
    // What the answer to a request made with range_headers(offset) means.
    // An unusable answer gets one fresh start; the second one fails.
    Judgement judge(const HttpResult &answer, qint64 offset);
    // A body that ran past body_end(): the server sent more than it named.
    // Unusable like a wrong Content-Range (one fresh start, then Fail).
    Judgement overrun(qint64 received, const QUrl &url);

    // The log lines of a resume and of a start from zero.
    static QString resume_text(qint64 offset, int k, const QString &file_name);
    static QString restart_text(const QString &file_name);

private:
    Judgement unusable(const QString &why);

    QByteArray m_validator;
    QByteArray m_validator_header;   // "ETag" or "Last-Modified"
    qint64 m_body_end = -1;
    qint64 m_total = -1;
    int m_resumes = 0;
    bool m_refetched = false;
};
