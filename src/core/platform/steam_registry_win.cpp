#include "core/platform/steam_registry.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>

namespace platform {

namespace {

// A text value of the registry; empty when it is missing or not text.
std::wstring registry_text(HKEY root, const wchar_t *key, const wchar_t *name)
{
    DWORD bytes = 0;
    // REG_EXPAND_SZ comes expanded, as REG_SZ (asking for that type too
    // would need RRF_NOEXPAND).
    const DWORD types = RRF_RT_REG_SZ;
    if (RegGetValueW(root, key, name, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS || bytes == 0)
        return {};
    // The value may grow between the two calls: ask again with the new size.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS status = RegGetValueW(root, key, name, types, nullptr, text.data(), &bytes);
        if (status == ERROR_SUCCESS) {
            text.resize(wcsnlen(text.c_str(), text.size()));
            return text;
        }
        if (status != ERROR_MORE_DATA)
            return {};
    }
    return {};
}

} // namespace

std::wstring steam_install_path()
{
    std::wstring path = registry_text(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"SteamPath");
    if (path.empty())
        path = registry_text(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"InstallPath");
    return path;
}

} // namespace platform
