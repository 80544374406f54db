#include "core/install/install_journal.h"

#include "core/install/file_ops.h"
#include "core/install/install_store.h"
#include "core/install/skin_files.h"
#include "core/support/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSaveFile>

#include <algorithm>

namespace install_journal {

namespace {

const QString JOURNAL_NAME = QStringLiteral("furlane-install.journal");
const QString BACKUP_SUFFIX = QStringLiteral(".old.tmp");
const QString TEMP_SUFFIX = QStringLiteral(".tmp");
// The last line of a committed journal. A journal without it (or with a
// line cut short by the program's end) is undone.
const QByteArray COMMIT_MARK = QByteArrayLiteral("committed");
// Lines of the record change: neither can pass as a file entry for an older
// build, whose entries have a tab second.
const QByteArray RECORD_KEY = QByteArrayLiteral("record\t");
const QByteArray FORGET_KEY = QByteArrayLiteral("forget\t");

struct Journal {
    QVector<Entry> entries;
    RecordChange change;
    bool committed = false;
};

QMutex &journal_mutex()
{
    static QMutex mutex;
    return mutex;
}

// Each part of a relative path a plain file name: nothing leaves the folder.
bool is_safe_entry_name(const QString &name)
{
    const QStringList parts = name.split(QLatin1Char('/'));
    return std::all_of(parts.cbegin(), parts.cend(), [](const QString &part) { return is_safe_file_name(part); });
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

Journal read(const QString &mod_folder)
{
    Journal journal;
    QVector<Entry> &entries = journal.entries;
    QFile file(path(mod_folder));
    if (!file.open(QIODevice::ReadOnly))
        return journal;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.trimmed() == COMMIT_MARK) {
            journal.committed = true;
            continue;
        }
        if (line.startsWith(RECORD_KEY)) {
            InstallRecord record;
            if (install_record_from_json(QJsonDocument::fromJson(line.mid(RECORD_KEY.size())).object(), &record))
                journal.change.put = record;
            continue;
        }
        if (line.startsWith(FORGET_KEY)) {
            journal.change.forget = QString::fromUtf8(line.mid(FORGET_KEY.size())).trimmed();
            continue;
        }
        const QString text = QString::fromUtf8(line).trimmed();
        const QString name = text.mid(2);
        // The folder is writable by anyone: only plain names of its own files count.
        if (text.size() < 3 || text.at(1) != QLatin1Char('\t') || !is_safe_entry_name(name))
            continue;
        entries.append({name, text.at(0) == QLatin1Char('1')});
    }
    return journal;
}

// Puts the older copy of `final_path` back in its place, dropping whatever
// stands there now.
bool restore(const QString &final_path, QStringList *not_restored)
{
    const QString backup = backup_path(final_path);
    if (safe_remove(final_path) && safe_rename(backup, final_path)) {
        applog::warning(QStringLiteral("安装未完成，已恢复原文件: ") + shown(final_path));
        return true;
    }
    applog::error(QStringLiteral("无法恢复原文件: ") + shown(backup));
    if (not_restored)
        *not_restored << shown(backup);
    return false;
}

// Deletes the older copy of `final_path` once its install is done.
bool drop_backup(const QString &final_path)
{
    const QString backup = backup_path(final_path);
    if (!QFileInfo::exists(backup))
        return true;
    if (safe_remove(backup)) {
        applog::info(QStringLiteral("安装已完成，已删除原文件备份: ") + shown(backup));
        return true;
    }
    applog::error(QStringLiteral("无法删除原文件备份: ") + shown(backup));
    return false;
}

bool undo(const QString &mod_folder, const Entry &entry, QStringList *not_restored)
{
    const QString final_path = mod_folder + QLatin1Char('/') + entry.name;
    const QString temp_path = final_path + TEMP_SUFFIX;
    if (QFileInfo::exists(backup_path(final_path)))
        return restore(final_path, not_restored);
    // No backup: either the older copy never stepped aside (it is still in
    // place), or there was none and the new file, once moved, must go.
    if (!entry.had_old && !QFileInfo::exists(temp_path) && QFileInfo(final_path).isFile()) {
        if (!safe_remove(final_path)) {
            applog::error(QStringLiteral("无法删除未完成安装的文件: ") + shown(final_path));
            if (not_restored)
                *not_restored << shown(final_path);
            return false;
        }
    }
    safe_remove(temp_path);
    return true;
}

// One file of a pair as recovery finds it without a journal.
struct Side {
    QString path;
    bool backed_up = false;   // its "<name>.old.tmp" is there
    bool present = false;
    bool pending = false;     // a new file still waits under its ".tmp" name
};

Side side_of(const QString &final_path)
{
    return {final_path, QFileInfo::exists(backup_path(final_path)), QFileInfo::exists(final_path),
            QFileInfo::exists(final_path + TEMP_SUFFIX)};
}

// Settles the backup of `final_path` with the other file of its pair, when
// that file left any trace. Without a journal the moves show how far the
// install got: a file missing beside its backup, or a new file not yet
// moved in, means it was cut short and the whole pair goes back; otherwise
// both new files stand and the backups are done with.
bool settle_pair(const QString &final_path, QStringList *not_restored)
{
    QVector<Side> sides{side_of(final_path)};
    const QFileInfo info(final_path);
    const QString partner = paired_skin_file_name(info.fileName());
    if (!partner.isEmpty()) {
        const Side other = side_of(info.path() + QLatin1Char('/') + partner);
        if (other.backed_up || other.present || other.pending)
            sides.append(other);
    }
    bool cut_short = false;
    for (const Side &side : qAsConst(sides))
        cut_short = cut_short || (side.backed_up ? !side.present : side.pending);
    bool ok = true;
    for (const Side &side : qAsConst(sides)) {
        if (side.backed_up)
            ok = (cut_short ? restore(side.path, not_restored) : drop_backup(side.path)) && ok;
    }
    return ok;
}

} // namespace

QString path(const QString &mod_folder)
{
    return mod_folder + QLatin1Char('/') + JOURNAL_NAME;
}

QString backup_path(const QString &final_path)
{
    return final_path + BACKUP_SUFFIX;
}

QString backed_up_path(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (!name.endsWith(BACKUP_SUFFIX) || name.size() == BACKUP_SUFFIX.size())
        return QString();
    return path.chopped(BACKUP_SUFFIX.size());
}

Hold::Hold(bool wait)
{
    if (wait) {
        journal_mutex().lock();
        m_held = true;
    } else {
        m_held = journal_mutex().tryLock();
    }
}

Hold::~Hold()
{
    if (m_held)
        journal_mutex().unlock();
}

QString entry_name(const QString &mod_folder, const QString &path)
{
    const QString name = QDir(mod_folder).relativeFilePath(path);
    return is_safe_entry_name(name) ? name : QString();
}

bool committed(const QString &mod_folder)
{
    return QFileInfo::exists(path(mod_folder)) && read(mod_folder).committed;
}

QString write(const QString &mod_folder, const QVector<Entry> &entries, const RecordChange &change)
{
    QByteArray text;
    for (const Entry &entry : entries)
        text += (entry.had_old ? "1\t" : "0\t") + entry.name.toUtf8() + '\n';
    if (change.put)
        text += RECORD_KEY + QJsonDocument(install_record_to_json(*change.put)).toJson(QJsonDocument::Compact) + '\n';
    if (!change.forget.isEmpty())
        text += FORGET_KEY + change.forget.toUtf8() + '\n';
    QSaveFile file(path(mod_folder));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return file.errorString() + QStringLiteral(": ") + shown(path(mod_folder));
    return QString();
}

QString commit(const QString &mod_folder)
{
    // Appended, not rewritten: a mark the program's end cuts short is no
    // mark, and the install is undone as before.
    QFile file(path(mod_folder));
    const QByteArray line = COMMIT_MARK + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)
        || file.write(line) != line.size() || !file.flush())
        return file.errorString() + QStringLiteral(": ") + shown(path(mod_folder));
    return QString();
}

bool remove(const QString &mod_folder)
{
    return safe_remove(path(mod_folder));
}

namespace {

// Settles the journal that stands in `mod_folder`; the files it speaks for
// go to `held` when it stays.
bool settle_journal(const QString &mod_folder, QStringList *not_restored, const ApplyRecord &apply,
                    QStringList *held)
{
    const Journal journal = read(mod_folder);
    bool settled = true;
    if (journal.committed) {
        // The record first: once the backups or the journal are gone
        // nothing tells the store what the step did.
        if (!journal.change.empty()) {
            settled = static_cast<bool>(apply);
            if (settled)
                apply(journal.change);
        }
        if (settled) {
            for (const Entry &entry : journal.entries)
                settled = drop_backup(mod_folder + QLatin1Char('/') + entry.name) && settled;
        }
    } else {
        for (auto it = journal.entries.crbegin(); it != journal.entries.crend(); ++it)
            settled = undo(mod_folder, *it, not_restored) && settled;
    }
    if (settled && !remove(mod_folder)) {
        applog::error(QStringLiteral("无法删除安装记录: ") + shown(path(mod_folder)));
        settled = false;
    }
    if (!settled && held) {
        for (const Entry &entry : journal.entries)
            *held << mod_folder + QLatin1Char('/') + entry.name;
    }
    return settled;
}

} // namespace

bool finish(const QString &mod_folder, const ApplyRecord &apply)
{
    if (!QFileInfo::exists(path(mod_folder)))
        return true;
    return committed(mod_folder) && settle_journal(mod_folder, nullptr, apply, nullptr);
}

bool recover(const QString &mod_folder, QStringList *not_restored, const ApplyRecord &apply)
{
    bool ok = true;
    // The files a journal that stays speaks for: it settles them next time.
    QStringList held;
    if (QFileInfo::exists(path(mod_folder)))
        ok = settle_journal(mod_folder, not_restored, apply, &held);
    walk_files_top_down(mod_folder, [&](const QString &folder, const QString &name) {
        const QString backup = folder + QLatin1Char('/') + name;
        const QString final_path = backed_up_path(backup);
        // A backup already settled with its pair is gone by now.
        if (!final_path.isEmpty() && !held.contains(final_path) && QFileInfo::exists(backup))
            ok = settle_pair(final_path, not_restored) && ok;
        return true;
    });
    return ok;
}

} // namespace install_journal
