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

// Whether launch_elevated can run the update script here: on Windows, and
// elsewhere only while a test records the launches.
bool can_launch_elevated();

// The system's OEM code page (e.g. 850, 437, 936), the one the command
// interpreter reads a batch file in; 0 where there is none.
unsigned oem_code_page();

// `text` in the OEM code page, or in `code_page` standing in for it. False
// when a character has no place in it, or where there is no such code page.
// The OEM code page may be UTF-8 (65001, Windows' "use Unicode UTF-8"
// option): it holds every character but a lone surrogate.
bool to_oem_code_page(const std::wstring &text, std::string *bytes, unsigned code_page = oem_code_page());

// For tests: launch requests are only recorded, not performed, while this
// file is set (UTF-8 path; empty: none). Each call appends the requested path
// and a newline; a record that cannot be written is a launch that did not
// happen.
void set_launch_record_file_for_tests(const std::string &path);

} // namespace platform
