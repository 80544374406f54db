// Windows shell side of the self-update. Only <windows.h> and the standard
// library, so that it builds with any Windows compiler.
#include "update/elevated_launch.h"

#include <windows.h>

namespace platform {

void launch_elevated(const std::wstring &path)
{
    ShellExecuteW(nullptr, L"runas", path.c_str(), nullptr, nullptr, 1);
}

unsigned ansi_code_page()
{
    return GetACP();
}

} // namespace platform
