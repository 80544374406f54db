#pragma once

#include <QString>

namespace gamedir {

// True for a file that an interrupted download left behind: a name ending
// in ".tmp" (case-sensitive), or else an empty file.
bool is_leftover(const QString &name, qint64 size);

// Sweeps the mod folder below `game_dir` and every folder beneath it,
// deleting leftovers with safe_remove. Folders are never deleted. Every
// outcome goes to the log only.
void cleanup_temp_files(const QString &game_dir);

} // namespace gamedir
