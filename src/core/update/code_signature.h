#pragma once

// Platform layer of the update's publisher check. Plain C++ only, so that
// the Windows implementation builds without Qt.

#include <string>

namespace platform {

// What Windows says of a file's Authenticode signature.
struct CodeSignature {
    enum class Status {
        Valid,       // signed, the signature matches the file and is trusted
        Unsigned,    // no signature at all
        BadDigest,   // signed, but the file's bytes changed after signing
        Failed,      // any other verdict: `code` and `error` say which
        Unsupported, // no such check on this platform
    };
    Status status = Status::Unsupported;
    long code = 0;             // WinVerifyTrust's result (an HRESULT)
    std::wstring error;        // Windows' own text for `code`
    std::wstring subject;      // the signer certificate's subject, readable (Valid only)
    std::string subject_der;   // ... and as encoded in the certificate, for comparing
};

// Verifies `path` with WinVerifyTrust (Authenticode, no user interface,
// revocation as the system's policy has it) and reads the signer's subject.
CodeSignature check_code_signature(const std::wstring &path);

} // namespace platform
