#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace platform {
class NativeSha256;
}

// An incremental SHA-256 over the system's fast implementation. Feed it with
// add() and end it with hex(); reset() starts it over.
class Sha256 final {
public:
    Sha256();
    ~Sha256();
    Q_DISABLE_COPY_MOVE(Sha256)

    void reset();
    void add(const char *data, qint64 size);
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    // The digest in lowercase hex, 64 characters; empty when the system's
    // hash failed. Ends the hash: later calls return the same until reset().
    QByteArray hex();

private:
    std::unique_ptr<platform::NativeSha256> m_native;
    QByteArray m_hex;
    bool m_ended = false;
};

// The SHA-256 of the file at `path` in lowercase hex, read in large blocks on
// the calling thread. `on_bytes` (may be empty) hears the size of each block
// read. A raised `cancel` stops it: empty result, empty `error`. A file that
// cannot be read: empty result and `error` naming it.
QByteArray sha256_of_file(const QString &path, const std::atomic<bool> *cancel,
                          const std::function<void(qint64)> &on_bytes, QString *error);
