#include "core/platform/native_sha256.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <bcrypt.h>

#include <climits>

namespace platform {

namespace {

#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (((NTSTATUS)(status)) >= 0)
#endif

// Opening the algorithm costs far more than a hash: once per process, kept
// to the end (a provider handle may serve several threads at once).
BCRYPT_ALG_HANDLE sha256_provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!NT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return BCRYPT_ALG_HANDLE(nullptr);
        return handle;
    }();
    return provider;
}

} // namespace

struct NativeSha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;

    void close()
    {
        if (hash)
            BCryptDestroyHash(hash);
        hash = nullptr;
    }
};

NativeSha256::NativeSha256() : m_state(new State)
{
    reset();
}

NativeSha256::~NativeSha256()
{
    m_state->close();
}

bool NativeSha256::ok() const
{
    return m_state->hash != nullptr;
}

bool NativeSha256::reset()
{
    m_state->close();
    const BCRYPT_ALG_HANDLE provider = sha256_provider();
    if (!provider)
        return false;
    // The system keeps the hash object's memory itself.
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!NT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
        return false;
    m_state->hash = hash;
    return true;
}

bool NativeSha256::add(const void *data, std::size_t size)
{
    if (!m_state->hash)
        return false;
    auto *bytes = static_cast<unsigned char *>(const_cast<void *>(data));
    // BCryptHashData takes a 32-bit length.
    while (size > 0) {
        const ULONG part = size > ULONG_MAX / 2 ? ULONG_MAX / 2 : static_cast<ULONG>(size);
        if (!NT_SUCCESS(BCryptHashData(m_state->hash, bytes, part, 0))) {
            m_state->close();
            return false;
        }
        bytes += part;
        size -= part;
    }
    return true;
}

bool NativeSha256::finish(unsigned char (&digest)[DIGEST_SIZE])
{
    if (!m_state->hash)
        return false;
    const bool done = NT_SUCCESS(BCryptFinishHash(m_state->hash, digest, DIGEST_SIZE, 0));
    m_state->close();
    return done;
}

} // namespace platform
