#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>

class HttpClient;

// A GET of one file streamed into `file_path` (created or truncated), that
// goes on from the last byte on disk when the transfer breaks off (a cut or
// reset connection, a wait for data that times out, a body that ends short),
// as ResumeRules prescribe, up to ResumeRules::MAX_RESUMES times with a
// pause before each. Runs on the calling thread and blocks it.
class ResumableGet final {
public:
    enum class Result { Done, Cancelled, Failed };

    explicit ResumableGet(HttpClient &client) : m_client(client) {}

    QUrl url;
    QString file_path;
    QString file_name;                  // names the file in the log
    int timeout_seconds = 30;           // the connection and each wait for data
    qint64 fallback_total = -1;         // size measured beforehand, -1 when none
    const std::atomic<bool> *cancel = nullptr;   // also ends a pause at once
    // Told the change of the bytes on disk: each chunk written, in steps of
    // at most 8 KiB, and minus everything written so far when the file
    // starts again from zero.
    std::function<void(qint64 delta)> on_bytes;

    // Done once the whole file is on disk. Cancelled when the flag was seen.
    // Failed with `error` when the server refused the file, the disk refused
    // the bytes, or the last allowed resume broke off too.
    Result run(QString &error);

    // After Done: the file's SHA-256 in lowercase hex, taken from the bytes
    // as they were written.
    QByteArray sha256_hex() const { return m_sha256_hex; }
    // After Done: the validators of the answer that completed the file, empty
    // where it had none. A weak ETag counts as none.
    QByteArray etag() const { return m_etag; }
    QByteArray last_modified() const { return m_last_modified; }
    // The whole file's size as far as it is known (-1 while not), e.g. for
    // on_bytes to show progress against.
    qint64 total() const { return m_total; }
    // After Failed: whether the disk refused the file (not the server).
    bool failed_on_disk() const { return m_disk_failed; }

private:
    bool pause(int ms) const;

    HttpClient &m_client;
    QByteArray m_sha256_hex;
    QByteArray m_etag;
    QByteArray m_last_modified;
    qint64 m_total = -1;
    bool m_disk_failed = false;
};
