// Console check of the Win32 process listing, built with MinGW and run under
// Wine by scripts/ci_windows.sh. Usage: process_probe <image name> [seconds]
// Prints "<name>\t<full path>" of the first matching process and exits 0;
// exits 1 when none shows up in time, 2 when the listing itself fails.
#include "core/platform/win_processes.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: process_probe <image name> [seconds]\n");
        return 2;
    }
    const std::wstring wanted = argv[1];
    const int seconds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 30;
    for (int round = 0; round <= seconds * 4; ++round) {
        const WinProcessListing listing = list_win_processes();
        if (!listing.ok) {
            std::fprintf(stderr, "listing failed: %s\n", utf8(listing.error).c_str());
            return 2;
        }
        for (const WinProcess &process : listing.processes) {
            if (process.name.find(wanted) != std::wstring::npos) {
                std::printf("%s\t%s\n", utf8(process.name).c_str(), utf8(process.exe_path).c_str());
                std::printf("listed %u processes\n", static_cast<unsigned>(listing.processes.size()));
                return 0;
            }
        }
        Sleep(250);
    }
    std::fprintf(stderr, "no process named %s\n", utf8(wanted).c_str());
    return 1;
}
