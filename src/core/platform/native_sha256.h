#pragma once

// SHA-256 from the system's own cryptography: libcrypto where Qt already
// loads OpenSSL, CNG (BCrypt) on Windows. Both run several times faster than
// Qt's portable code, which decides whether hashing keeps up with a download
// and how long a full check of the installed files takes. Only standard
// library headers here, so that the Windows file builds with MinGW on its own.

#include <cstddef>
#include <memory>

namespace platform {

class NativeSha256 final {
public:
    static constexpr std::size_t DIGEST_SIZE = 32;

    NativeSha256();
    ~NativeSha256();
    NativeSha256(const NativeSha256 &) = delete;
    NativeSha256 &operator=(const NativeSha256 &) = delete;

    // False when the system could not give a hash: every call then fails.
    bool ok() const;
    // Starts a new hash, dropping what was added.
    bool reset();
    bool add(const void *data, std::size_t size);
    // Writes the digest of everything added since the last reset; the hash
    // is then over until the next reset.
    bool finish(unsigned char (&digest)[DIGEST_SIZE]);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace platform
