#pragma once

// Platform layer of the self-update. Plain C++ only, so that the Windows
// implementation builds without Qt.

#include <string>

namespace platform {

struct LaunchResult {
    bool ok = false;
    std::wstring error; // readable reason when not ok
};

// Asks the shell to run `path` with elevation ("runas", normal window). Not ok
// when the launch did not happen: the user refused the elevation prompt, the
// file is missing, the shell failed.
LaunchResult launch_elevated(const std::wstring &path);

// The system's ANSI code page (e.g. 936), or 0 where there is none.
unsigned ansi_code_page();

// For tests: launch requests are only recorded, not performed, while this
// file is set (UTF-8 path; empty: none). Each call appends the requested path
// and a newline; a record that cannot be written is a launch that did not
// happen.
void set_launch_record_file_for_tests(const std::string &path);

} // namespace platform
