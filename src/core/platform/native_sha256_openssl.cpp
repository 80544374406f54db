#include "core/platform/native_sha256.h"

#include <openssl/evp.h>

namespace platform {

struct NativeSha256::State {
    EVP_MD_CTX *context = nullptr;
    bool started = false;
};

NativeSha256::NativeSha256() : m_state(new State)
{
    m_state->context = EVP_MD_CTX_new();
    reset();
}

NativeSha256::~NativeSha256()
{
    EVP_MD_CTX_free(m_state->context);
}

bool NativeSha256::ok() const
{
    return m_state->started;
}

bool NativeSha256::reset()
{
    m_state->started = m_state->context && EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) == 1;
    return m_state->started;
}

bool NativeSha256::add(const void *data, std::size_t size)
{
    if (!m_state->started)
        return false;
    if (size > 0 && EVP_DigestUpdate(m_state->context, data, size) != 1)
        m_state->started = false;
    return m_state->started;
}

bool NativeSha256::finish(unsigned char (&digest)[DIGEST_SIZE])
{
    if (!m_state->started)
        return false;
    m_state->started = false;
    unsigned int length = 0;
    return EVP_DigestFinal_ex(m_state->context, digest, &length) == 1 && length == DIGEST_SIZE;
}

} // namespace platform
