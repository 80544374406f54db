#include "download/install_journal.h"

#include "download/file_ops.h"
#include "download/skin_files.h"
#include "support/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace install_journal {

namespace {

const QString JOURNAL_NAME = QStringLiteral("furlane-install.journal");
const QString BACKUP_SUFFIX = QStringLiteral(".old.tmp");

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QVector<Entry> read(const QString &mod_folder)
{
    QVector<Entry> entries;
    QFile file(path(mod_folder));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        const QString name = text.mid(2);
        // The folder is writable by anyone: only plain names of its own files count.
        if (text.size() < 3 || text.at(1) != QLatin1Char('\t') || !is_safe_file_name(name))
            continue;
        entries.append({name, text.at(0) == QLatin1Char('1')});
    }
    return entries;
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

bool undo(const QString &mod_folder, const Entry &entry, QStringList *not_restored)
{
    const QString final_path = mod_folder + QLatin1Char('/') + entry.name;
    const QString temp_path = final_path + QStringLiteral(".tmp");
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

QString write(const QString &mod_folder, const QVector<Entry> &entries)
{
    QByteArray text;
    for (const Entry &entry : entries)
        text += (entry.had_old ? "1\t" : "0\t") + entry.name.toUtf8() + '\n';
    QSaveFile file(path(mod_folder));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return file.errorString() + QStringLiteral(": ") + shown(path(mod_folder));
    return QString();
}

bool remove(const QString &mod_folder)
{
    return safe_remove(path(mod_folder));
}

bool recover(const QString &mod_folder, QStringList *not_restored)
{
    bool ok = true;
    if (QFileInfo::exists(path(mod_folder))) {
        const QVector<Entry> entries = read(mod_folder);
        for (auto it = entries.crbegin(); it != entries.crend(); ++it)
            ok = undo(mod_folder, *it, not_restored) && ok;
        if (ok && !remove(mod_folder)) {
            applog::error(QStringLiteral("无法删除安装记录: ") + shown(path(mod_folder)));
            ok = false;
        }
    }
    // A backup without its file is the only copy left: it goes back.
    walk_files_top_down(mod_folder, [&](const QString &folder, const QString &name) {
        const QString final_path = backed_up_path(folder + QLatin1Char('/') + name);
        if (!final_path.isEmpty() && !QFileInfo::exists(final_path))
            ok = restore(final_path, not_restored) && ok;
        return true;
    });
    return ok;
}

} // namespace install_journal
