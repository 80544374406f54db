#pragma once

#include <string>

namespace platform {

// Writes UTF-8 text to the process's standard error. On Windows this is done
// through the standard error handle itself: Qt's own message handler sends a
// GUI program's messages to the debugger unless a console is attached, even
// when standard error is a redirected file; a console gets the text as
// UTF-16, anything else the UTF-8 bytes. Returns false when nothing could be
// written (for example no standard error handle): then Qt's handler is the
// one to use.
bool write_std_error(const std::string &utf8);

} // namespace platform
