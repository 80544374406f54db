// Authenticode side of the update's publisher check. Only the Windows SDK
// and the standard library, so that it builds with any Windows compiler.
#include "core/update/code_signature.h"

#include "core/platform/win_error_text.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace platform {

namespace {

// The signer's certificate of a verified file: its subject as text (the
// whole distinguished name) and as encoded.
void read_signer(HANDLE state, CodeSignature *out)
{
    CRYPT_PROVIDER_DATA *provider = WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR *signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT *cert = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
    if (!cert || !cert->pCert || !cert->pCert->pCertInfo)
        return;
    CERT_NAME_BLOB *name = &cert->pCert->pCertInfo->Subject;
    out->subject_der.assign(reinterpret_cast<const char *>(name->pbData), name->cbData);
    const DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
    const DWORD size = CertNameToStrW(X509_ASN_ENCODING, name, flags, nullptr, 0);
    if (size > 1) {
        std::wstring text(size, L'\0');
        CertNameToStrW(X509_ASN_ENCODING, name, flags, &text[0], size);
        text.resize(size - 1);
        out->subject = text;
    }
}

} // namespace

CodeSignature check_code_signature(const std::wstring &path)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();

    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    // No revocation flags of our own: the system's policy decides.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG verdict = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    CodeSignature out;
    out.code = verdict;
    switch (static_cast<unsigned long>(verdict)) {
    case ERROR_SUCCESS:
        out.status = CodeSignature::Status::Valid;
        read_signer(data.hWVTStateData, &out);
        // A signature whose signer cannot be read cannot be compared.
        if (out.subject_der.empty()) {
            out.status = CodeSignature::Status::Failed;
            out.error = L"无法读取签名者证书";
        }
        break;
    case static_cast<unsigned long>(TRUST_E_NOSIGNATURE):
        out.status = CodeSignature::Status::Unsigned;
        break;
    case static_cast<unsigned long>(TRUST_E_BAD_DIGEST):
        out.status = CodeSignature::Status::BadDigest;
        break;
    default:
        out.status = CodeSignature::Status::Failed;
        out.error = win_error_text(static_cast<unsigned long>(verdict));
        break;
    }

    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return out;
}

} // namespace platform
