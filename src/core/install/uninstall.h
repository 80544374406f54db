#pragma once

#include <QString>
#include <QStringList>

class InstallStore;

// What an uninstall did to the files it was given.
struct UninstallResult {
    bool busy = false;       // another install step held the mod folder: nothing was touched
    QStringList removed;     // every path, when the step went through
    QStringList kept;        // the paths that could not be taken out (then nothing was)
};

// Takes `paths` (files below `mod_folder`) out of the game as one journaled
// step together with dropping `skin_id`'s record (no record for an empty
// one): every file goes and the record with them, or, should one file not
// move (on Windows the running game holds its files open), every file stays
// and so does the record. An end at any instant is settled by the next
// start the same way. GUI thread: it never waits for a running install.
// `end_after_steps` ends the step where a kill would, after that many
// durable steps (the journal, each move, the commit mark, the record), for
// the tests; -1 runs it whole.
UninstallResult uninstall_files(const QString &mod_folder, const QStringList &paths, const QString &skin_id,
                                InstallStore &store, int end_after_steps = -1);
