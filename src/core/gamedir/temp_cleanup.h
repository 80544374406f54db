#pragma once

#include "core/install/install_journal.h"

#include <QString>

namespace gamedir {

// True for a file that an interrupted download left behind: a name ending
// in ".tmp" (case-sensitive), or else an empty file.
bool is_leftover(const QString &name, qint64 size);

// Sweeps the mod folder below `game_dir` and every folder beneath it,
// deleting leftovers with safe_remove. Folders are never deleted. Every
// outcome goes to the log only. An install step cut short is settled
// first; a committed one hands its record change to `apply`.
void cleanup_temp_files(const QString &game_dir, const install_journal::ApplyRecord &apply = {});

} // namespace gamedir
