#pragma once

#include "core/install/install_record.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

// The record of an install under way in a mod folder: which files it
// replaces and whether an older copy of each stepped aside as
// "<name>.old.tmp". It is written before the first file moves and marked
// committed once both new files stand; then the backups go and last the
// journal. So an install cut short at any instant (the program ended between
// two moves) is undone on the next start or when the window closes, and the
// old pair comes back whole; one cut short after its commit is finished
// instead, and its backups never come back.
//
// The journal also carries what the step does to the install records (the
// new record of an install, or the skin an uninstall forgets). The record
// store takes it once the step is committed and before the journal goes, so
// after an end at any instant the files and the record agree: both old
// (undone) or both new (committed, the record taken at the next settle).
namespace install_journal {

struct Entry {
    QString name;           // path relative to the mod folder, '/'-separated, each part a plain file name
    bool had_old = false;   // an older copy was there and steps aside (with no new file: it goes)
};

// What a journaled step does to the records.
struct RecordChange {
    std::optional<InstallRecord> put;   // an install's record
    QString forget;                     // the skin an uninstall drops
    bool empty() const { return !put && forget.isEmpty(); }
};
// Takes a committed step's change into the record store.
using ApplyRecord = std::function<void(const RecordChange &)>;

// One writer or settler of journals at a time, across threads: the worker
// waits for it, the GUI thread only tries (and leaves the work for later).
class Hold {
public:
    explicit Hold(bool wait);
    ~Hold();
    bool held() const { return m_held; }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

private:
    bool m_held = false;
};

// The journal's file in `mod_folder`.
QString path(const QString &mod_folder);

// Writes the journal in one step (never half). Returns an error text, empty
// on success.
QString write(const QString &mod_folder, const QVector<Entry> &entries, const RecordChange &change = {});

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
// A committed journal's record change goes to `apply` first; without one
// (a worker thread, which has no store) such a journal is left alone and
// recover is false.
bool recover(const QString &mod_folder, QStringList *not_restored = nullptr, const ApplyRecord &apply = {});

// Settles a committed journal in `mod_folder` and nothing else (no walk):
// its change to `apply`, then its backups, then itself. True when no journal
// is left.
bool finish(const QString &mod_folder, const ApplyRecord &apply);

// Whether a journal stands in `mod_folder` and is committed.
bool committed(const QString &mod_folder);

// The relative journal name of `path` below `mod_folder`, or empty when it
// is not below it.
QString entry_name(const QString &mod_folder, const QString &path);

// The backup name of `final_path`.
QString backup_path(const QString &final_path);
// The file that `path` backs up when `path` is a backup name, else empty.
QString backed_up_path(const QString &path);

} // namespace install_journal
