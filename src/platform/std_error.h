#pragma once

#include <string>

namespace platform {

// Writes UTF-8 text to the process's standard error where Qt's own message
// handler would not: a Windows GUI program sends its messages to the debugger
// unless a console is attached, even when standard error is a redirected
// file. A console gets the text as UTF-16, anything else the UTF-8 bytes.
// Returns false when nothing was written (no standard error handle, or not
// on Windows): then Qt's handler is the one to use.
bool write_std_error(const std::string &utf8);

} // namespace platform
