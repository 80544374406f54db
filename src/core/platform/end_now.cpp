#include "core/platform/end_now.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

void end_now(int status)
{
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
#endif
    std::_Exit(status);
}

} // namespace platform
