#pragma once

#include <QString>

// Deleting and renaming files in the mod folder, where the game, a virus
// scanner or the file browser may hold a file open for a moment. Both retry
// with a growing pause (0.5 s × attempt), log every attempt and report the
// outcome as a boolean; they block the calling thread and may run on any
// thread.

// True when `path` holds no regular file any more: it was deleted, or there
// was none (a missing path or a folder is left alone). False when every
// attempt failed, or when `max_retries` is 0 or less (then nothing is tried
// and nothing logged).
bool safe_remove(const QString &path, int max_retries = 3);

// True when `src` now has the name `dst`. An existing `dst` is first cleared
// with safe_remove (its own three attempts); the rename itself never
// overwrites. False when every attempt failed, or `max_retries` <= 0.
bool safe_rename(const QString &src, const QString &dst, int max_retries = 3);
