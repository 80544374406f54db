#pragma once

#include <QString>

// File names of a skin as they land in the mod folder. The names come from
// the server, so only their last path component is used, and a name that
// Windows could not store as one plain file in that folder is refused.
// Installing, the installed check and uninstalling all go through these, so
// they agree on what a skin's files are called.

// The part of `original` after its last "/" or "\" (the whole text when it
// holds neither).
QString skin_file_name(const QString &original);

// True when `name` can be written as one file directly inside the mod folder
// on Windows: not empty, not "." or "..", no character Windows forbids
// (<>:"/\|?* and control characters), no trailing dot or blank, and not a
// reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without
// an extension).
bool is_safe_file_name(const QString &name);

// The mod folder below a game folder, with "/" separators.
QString mod_folder_path(const QString &game_dir);
