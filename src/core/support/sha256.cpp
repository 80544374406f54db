#include "core/support/sha256.h"

#include "core/platform/native_sha256.h"

#include <QDir>
#include <QFile>

namespace {

// Large enough that the per-read cost vanishes, small enough to stay in the
// processor's caches between the read and the hash.
constexpr qint64 FILE_BLOCK = 1024 * 1024;

QString unreadable(const QString &path, const QString &why)
{
    return QStringLiteral("无法读取文件: ") + QDir::toNativeSeparators(path) + QStringLiteral(" - ") + why;
}

} // namespace

Sha256::Sha256() : m_native(new platform::NativeSha256) {}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    m_native->reset();
    m_hex.clear();
    m_ended = false;
}

void Sha256::add(const char *data, qint64 size)
{
    Q_ASSERT(!m_ended);
    if (!m_ended && size > 0)
        m_native->add(data, static_cast<std::size_t>(size));
}

QByteArray Sha256::hex()
{
    if (m_ended)
        return m_hex;
    m_ended = true;
    unsigned char digest[platform::NativeSha256::DIGEST_SIZE];
    if (m_native->finish(digest))
        m_hex = QByteArray(reinterpret_cast<const char *>(digest), sizeof digest).toHex();
    return m_hex;
}

QByteArray sha256_of_file(const QString &path, const std::atomic<bool> *cancel,
                          const std::function<void(qint64)> &on_bytes, QString *error)
{
    if (error)
        error->clear();
    auto fail = [&](const QString &why) {
        if (error)
            *error = unreadable(path, why);
        return QByteArray();
    };
    QFile file(path);
    // Unbuffered: the blocks go straight from the system into ours.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    Sha256 hash;
    QByteArray block(FILE_BLOCK, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load())
            return QByteArray();
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0)
            return fail(file.errorString());
        if (got == 0)
            break;
        hash.add(block.constData(), got);
        if (on_bytes)
            on_bytes(got);
    }
    const QByteArray digest = hash.hex();
    if (digest.isEmpty())
        return fail(QStringLiteral("SHA-256 计算失败"));
    return digest;
}
