#include "core/platform/installed_entry.h"

namespace platform {

// Only Windows has the installer's shortcut and entry.
bool refresh_installed_entry(const std::wstring &, const std::wstring &)
{
    return false;
}

} // namespace platform
