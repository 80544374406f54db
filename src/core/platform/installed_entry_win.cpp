#include "core/platform/installed_entry.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cwctype>

namespace platform {

namespace {

const wchar_t UNINSTALL_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Furlane";

// A folder as Windows compares it: case and separators do not count, nor
// a trailing separator.
std::wstring folder_key(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return wchar_t(std::towlower(c)); });
    return path;
}

std::wstring folder_of(const std::wstring &path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring string_value(HKEY key, const wchar_t *name)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ || bytes == 0)
        return std::wstring();
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value[0]), &bytes) != ERROR_SUCCESS)
        return std::wstring();
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

bool set_string(HKEY key, const wchar_t *name, const std::wstring &value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The shortcut leads to `exe_path` when its target is gone from `folder`.
bool repoint_shortcut(const std::wstring &exe_path, const std::wstring &folder)
{
    PWSTR programs = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &programs)) || !programs)
        return false;
    const std::wstring link = std::wstring(programs) + L"\\Furlane.lnk";
    CoTaskMemFree(programs);
    if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    // On the GUI thread Qt's apartment exists already; elsewhere one is made
    // for the call.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool changed = false;
    IShellLinkW *shortcut = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void **>(&shortcut))) && shortcut) {
        IPersistFile *file = nullptr;
        if (SUCCEEDED(shortcut->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file))) && file) {
            wchar_t target[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(link.c_str(), STGM_READWRITE))
                && SUCCEEDED(shortcut->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))
                && GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES
                && folder_key(folder_of(target)) == folder_key(folder)
                && SUCCEEDED(shortcut->SetPath(exe_path.c_str()))
                && SUCCEEDED(shortcut->SetWorkingDirectory(folder.c_str()))) {
                changed = SUCCEEDED(file->Save(link.c_str(), TRUE));
            }
            file->Release();
        }
        shortcut->Release();
    }
    if (SUCCEEDED(apartment))
        CoUninitialize();
    return changed;
}

} // namespace

bool refresh_installed_entry(const std::wstring &exe_path, const std::wstring &version)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, UNINSTALL_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const std::wstring folder = folder_of(exe_path);
    const std::wstring installed_in = string_value(key, L"InstallLocation");
    bool changed = false;
    if (!installed_in.empty() && folder_key(installed_in) == folder_key(folder)) {
        if (string_value(key, L"DisplayVersion") != version)
            changed = set_string(key, L"DisplayVersion", version);
        changed = repoint_shortcut(exe_path, folder) || changed;
    }
    RegCloseKey(key);
    return changed;
}

} // namespace platform
