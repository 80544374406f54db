// Windows shell side of the self-update. Only <windows.h> and the standard
// library, so that it builds with any Windows compiler.
#include "core/update/elevated_launch.h"

#include "core/platform/win_error_text.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace platform {

namespace {

// The shell's own codes (26 to 32) mean something else than the system error
// of the same number; the lower ones are system errors.
std::wstring shell_error_text(INT_PTR code)
{
    switch (code) {
    case 0:
        return L"系统内存或资源不足";
    case SE_ERR_SHARE:
        return L"共享冲突";
    case SE_ERR_ASSOCINCOMPLETE:
        return L"文件关联不完整或无效";
    case SE_ERR_DDETIMEOUT:
        return L"DDE 请求超时";
    case SE_ERR_DDEFAIL:
        return L"DDE 事务失败";
    case SE_ERR_DDEBUSY:
        return L"DDE 忙";
    case SE_ERR_NOASSOC:
        return L"没有与该文件关联的程序";
    case SE_ERR_DLLNOTFOUND:
        return L"找不到所需的动态链接库";
    default:
        return win_error_text(static_cast<DWORD>(code));
    }
}

// A Win32 lock: std::mutex is missing with MinGW's win32-thread compilers.
SRWLOCK record_lock = SRWLOCK_INIT;
std::wstring record_file;

std::wstring from_utf8(const std::string &text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &wide[0], size);
    return wide;
}

std::string to_utf8(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &narrow[0], size, nullptr, nullptr);
    return narrow;
}

// Appends `path` to the record file instead of launching.
LaunchResult record_launch(const std::wstring &record, const std::wstring &path)
{
    FILE *out = _wfopen(record.c_str(), L"ab");
    const std::string line = to_utf8(path) + '\n';
    bool written = out && std::fwrite(line.data(), 1, line.size(), out) == line.size();
    const DWORD error = GetLastError();
    if (out && std::fclose(out) != 0)
        written = false;
    if (!written)
        return {false, record + L": " + win_error_text(error)};
    return {true, std::wstring()};
}

} // namespace

void set_launch_record_file_for_tests(const std::string &path)
{
    AcquireSRWLockExclusive(&record_lock);
    record_file = from_utf8(path);
    ReleaseSRWLockExclusive(&record_lock);
}

bool can_launch_elevated()
{
    return true;
}

LaunchResult launch_elevated(const std::wstring &path)
{
    AcquireSRWLockExclusive(&record_lock);
    const std::wstring record = record_file;
    ReleaseSRWLockExclusive(&record_lock);
    if (!record.empty())
        return record_launch(record, path);

    // The shell may hand the request to COM components: Windows asks callers
    // of ShellExecute to initialise COM on their thread first.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SetLastError(ERROR_SUCCESS);
    const INT_PTR code =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"runas", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    const DWORD last_error = GetLastError();
    if (SUCCEEDED(com))
        CoUninitialize();
    if (code > 32)
        return {true, std::wstring()};

    // A refused elevation prompt leaves ERROR_CANCELLED here, more telling
    // than the shell's "access denied".
    std::wstring reason = last_error != ERROR_SUCCESS ? win_error_text(last_error) : shell_error_text(code);
    if (reason.empty())
        reason = L"未知错误";
    const DWORD shown_code = last_error != ERROR_SUCCESS ? last_error : static_cast<DWORD>(code);
    return {false, reason + L" (错误代码 " + std::to_wstring(shown_code) + L")"};
}

unsigned oem_code_page()
{
    return GetOEMCP();
}

bool to_oem_code_page(const std::wstring &text, std::string *bytes, unsigned code_page)
{
    if (code_page == 0)
        return false;
    if (text.empty()) {
        bytes->clear();
        return true;
    }
    // No best fit: a look-alike character would name another file. UTF-8
    // refuses that flag and the default-character report: there the call
    // itself fails on what it cannot hold (a lone surrogate).
    const bool utf8 = code_page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    auto convert = [&](char *out, int size) {
        return WideCharToMultiByte(code_page, flags, text.data(), int(text.size()), out, size, nullptr,
                                   utf8 ? nullptr : &lossy);
    };
    const int size = convert(nullptr, 0);
    if (size <= 0 || lossy)
        return false;
    bytes->assign(size_t(size), '\0');
    return convert(&(*bytes)[0], size) == size && !lossy;
}

} // namespace platform
