#pragma once

// Where Steam is installed, as the Windows registry says. Only Windows and
// standard library headers here, so that the file also builds with MinGW on
// its own.

#include <string>

namespace platform {

// HKCU\Software\Valve\Steam SteamPath, else HKLM\SOFTWARE\WOW6432Node\Valve\Steam
// InstallPath; empty when neither holds a path.
std::wstring steam_install_path();

} // namespace platform
