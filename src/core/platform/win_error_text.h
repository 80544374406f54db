#pragma once

// Windows' own text for an error code. Only Windows and standard library
// headers, so that the Win32 files using it also build with MinGW alone.

#include <string>

namespace platform {

// The system's message for `code` (a Win32 error or an HRESULT), without
// its line break; empty when the system has none.
std::wstring win_error_text(unsigned long code);

} // namespace platform
