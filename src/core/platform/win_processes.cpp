#include "core/platform/win_processes.h"

#include "core/platform/win_error_text.h"

#include <windows.h>
#include <tlhelp32.h>

namespace {

std::wstring system_message(DWORD code)
{
    const std::wstring text = platform::win_error_text(code);
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

// Full image path of a process; empty when it has ended or denies the query.
std::wstring image_path(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return {};
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    const BOOL ok = QueryFullProcessImageNameW(process, 0, &path[0], &size);
    CloseHandle(process);
    if (!ok)
        return {};
    path.resize(size);
    return path;
}

} // namespace

WinProcessListing list_win_processes()
{
    WinProcessListing listing;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        listing.error = L"CreateToolhelp32Snapshot: " + system_message(GetLastError());
        return listing;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    BOOL more = Process32FirstW(snapshot, &entry);
    if (!more && GetLastError() != ERROR_NO_MORE_FILES) {
        listing.error = L"Process32FirstW: " + system_message(GetLastError());
        CloseHandle(snapshot);
        return listing;
    }
    for (; more; more = Process32NextW(snapshot, &entry)) {
        WinProcess process;
        process.pid = entry.th32ProcessID;
        process.name = entry.szExeFile;
        process.exe_path = image_path(entry.th32ProcessID);
        if (process.name.empty() || process.exe_path.empty())
            continue; // ended meanwhile, or access denied
        listing.processes.push_back(std::move(process));
    }
    CloseHandle(snapshot);
    listing.ok = true;
    return listing;
}
