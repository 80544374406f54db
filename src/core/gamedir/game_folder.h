#pragma once

#include "core/platform/process_list.h"

#include <QList>
#include <QString>
#include <QStringList>

// The game's installation as the skin manager sees it: its running process,
// its root folder, and the checks a root must pass. Paths use "/" inside;
// what comes from outside may use "\" as well.
namespace gamedir {

extern const QString GAME_PROCESS_NAME; // "DreadHunger-Win64-Shipping.exe"
extern const QString BASE_PACKAGE_NAME; // "DreadHunger-WindowsNoEditor.pak"
extern const QString PROBE_FILE_NAME;   // "permission_test.tmp"

// `root` joined with a relative path written with either separator.
QString game_path(const QString &root, const QString &relative);
// The mod folder below a game root.
QString mod_folder(const QString &root);

// Executable path of the first process whose name contains the game's
// process name. Processes without a name or without a readable path are
// passed over. Empty when none is found.
QString find_game_exe(const QList<ProcessInfo> &processes);

// The game root four folders above the executable (exe, Win64, Binaries,
// DreadHunger). Accepts "\" and "/" and returns "/"-separated text; empty
// when the path is too short to hold the game's layout.
QString game_root_from_exe(const QString &exe_path);

// The first of those checks alone, which writes nothing: the problem when
// the base package is missing, else empty.
QString missing_base_package(const QString &root);

// The problems that keep `root` from being used, in check order (empty when
// usable): the base package must exist, and the mod folder must be
// creatable and writable. The write check runs in any case and leaves the
// mod folder in place.
QStringList validate_game_dir(const QString &root);

} // namespace gamedir
