#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The record of an install under way in a mod folder: which files it
// replaces and whether an older copy of each stepped aside as
// "<name>.old.tmp". It is written before the first file moves and marked
// committed once both new files stand; then the backups go and last the
// journal. So an install cut short at any instant (the program ended between
// two moves) is undone on the next start or when the window closes, and the
// old pair comes back whole; one cut short after its commit is finished
// instead, and its backups never come back.
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

// Marks the journal committed: both new files stand, and from then on the
// install counts as done. Returns an error text, empty on success.
QString commit(const QString &mod_folder);

// Removes the journal.
bool remove(const QString &mod_folder);

// Settles what an unfinished install left in `mod_folder`. A journal left
// behind is followed: committed, the backups of its files are deleted;
// otherwise for each of its files the new file goes and the older copy
// comes back. The journal is removed once that worked. Then every other
// "<name>.old.tmp" is settled with its pair (paired_skin_file_name), so a
// pair is never left half new: when a file of the pair is missing beside its
// backup, or a new file still waits under its ".tmp" name, every backup of
// the pair goes back; otherwise the new pair is complete and its backups are
// deleted. False when something could not be put back or deleted (a file
// not put back is logged and added to `not_restored`, with native
// separators); what remains is kept for the next try.
bool recover(const QString &mod_folder, QStringList *not_restored = nullptr);

// The backup name of `final_path`.
QString backup_path(const QString &final_path);
// The file that `path` backs up when `path` is a backup name, else empty.
QString backed_up_path(const QString &path);

} // namespace install_journal
