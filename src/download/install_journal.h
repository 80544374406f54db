#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The record of an install under way in a mod folder: which files it
// replaces and whether an older copy of each stepped aside as
// "<name>.old.tmp". It is written before the first file moves and removed
// once both new files stand, so an install cut short at any instant (the
// program ended between two moves) can be undone on the next start or when
// the window closes, and the old pair comes back whole.
namespace install_journal {

struct Entry {
    QString name;           // file name directly inside the mod folder
    bool had_old = false;   // an older copy was there and steps aside
};

// The journal's file in `mod_folder`.
QString path(const QString &mod_folder);

// Writes the journal in one step (never half). Returns an error text, empty
// on success.
QString write(const QString &mod_folder, const QVector<Entry> &entries);

// Removes the journal: from then on the install counts as done.
bool remove(const QString &mod_folder);

// Undoes what an unfinished install left in `mod_folder`: for each file of a
// journal left behind the new file goes and the older copy comes back; then
// every "<name>.old.tmp" whose <name> is missing is put back. The journal is
// removed once all of that worked. False when something could not be put
// back (each such file is logged and added to `not_restored`, with native
// separators); what remains is kept for the next try.
bool recover(const QString &mod_folder, QStringList *not_restored = nullptr);

// The backup name of `final_path`.
QString backup_path(const QString &final_path);
// The file that `path` backs up when `path` is a backup name, else empty.
QString backed_up_path(const QString &path);

} // namespace install_journal
