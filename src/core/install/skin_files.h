#pragma once

#include "core/platform/file_stamp.h"

#include <QFileInfo>
#include <QString>

#include <functional>

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

// The other file of the pair that `name` belongs to, for when no install
// journal names the two files: skins are published as "<stem>.pak" beside
// "<stem>.sig" (the records name each separately, so nothing else ties them).
// The extension is compared without regard to case and the partner's is
// written in the same case. Empty for a name of any other shape.
QString paired_skin_file_name(const QString &name);

// A file's size and time from the system, for a Qt path: false when it is no
// regular file or cannot be looked at.
bool file_stamp_of(const QString &path, platform::FileStamp *stamp);

// The mod folder below a game folder, with "/" separators.
QString mod_folder_path(const QString &game_dir);

// Visits every file below `folder` top-down, as the mod folder is searched
// and swept: a folder's own files (by name) first, then each of its
// sub-folders in turn. Links to folders are not followed, so the walk stays
// inside `folder`; folders that cannot be listed are passed over. `visit`
// gets the file's folder and name, and returns false to end the walk.
void walk_files_top_down(const QString &folder,
                         const std::function<bool(const QString &folder, const QString &name)> &visit);
// The same walk, `visit` getting what the listing knows of the file (on
// Windows its size and times come with it, without another look).
void walk_file_infos_top_down(const QString &folder,
                              const std::function<bool(const QString &folder, const QFileInfo &file)> &visit);
