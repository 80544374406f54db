#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The cover cache stays small: past its limit, the covers used least
// recently go first, and never one the shown page uses. A cover's last use
// is its file's modification time, renewed at each use.
namespace cover_trim {

constexpr qint64 DEFAULT_LIMIT_MIB = 200;

// The limit in bytes: "cover_cache_limit_mib" in the settings store, the
// default when it is unset or not a positive number.
qint64 cache_limit();

struct Entry {
    QString path;
    qint64 size = 0;
    QDateTime used;
};

// The paths among `entries` to remove so that the rest fit in `limit`
// bytes: the oldest use first, never a file whose name is in `keep`.
QStringList files_to_remove(QList<Entry> entries, qint64 limit, const QSet<QString> &keep);

// Removes from `folder` the cover files (the names cover_cache_name makes;
// the log, the lock and anything else stay) that files_to_remove names, and
// returns the removed paths. `keep` holds file names. Any thread.
QStringList trim_folder(const QString &folder, qint64 limit, const QSet<QString> &keep);

// Marks a cached cover as used now.
void mark_used(const QString &path);

} // namespace cover_trim
