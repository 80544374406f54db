#include "core/platform/foreground.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

void allow_any_foreground()
{
#ifdef _WIN32
    AllowSetForegroundWindow(ASFW_ANY);
#endif
}

} // namespace platform
