#pragma once

// Process listing through the Win32 API. Only Windows and standard library
// headers here, so that the file also builds with MinGW on its own.

#include <string>
#include <vector>

struct WinProcess {
    unsigned long pid = 0;
    std::wstring name;     // image name from the snapshot
    std::wstring exe_path; // full path of the executable
};

struct WinProcessListing {
    bool ok = false;
    std::wstring error;
    std::vector<WinProcess> processes;
};

// Every process whose executable path can be queried, in snapshot order.
WinProcessListing list_win_processes();
