#pragma once

// A per-user install made by Furlane's installer: a Start-menu shortcut
// "Furlane.lnk" and an "Apps & features" entry under HKCU, both naming the
// program's folder. A self-update names the new program as published and
// deletes the old one, so the shortcut would lead nowhere and the entry
// would keep the old version: the program that runs puts both right.
// Only standard library headers here, so that the Windows file builds with
// MinGW on its own.

#include <string>

namespace platform {

// When the entry names the folder of `exe_path` as where it installed:
// its version becomes `version`, and a Start-menu shortcut whose target is
// missing from that folder leads to `exe_path`. A program the installer
// did not put there (a zip, a build folder) changes nothing. Returns true
// when something was changed. Does nothing off Windows.
bool refresh_installed_entry(const std::wstring &exe_path, const std::wstring &version);

} // namespace platform
