#include "core/covers/cover_cache_trim.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace cover_trim {

qint64 cache_limit()
{
    const QSettings settings(QStringLiteral("orvex"), QStringLiteral("DreadHunger"));
    bool ok = false;
    const qint64 mib = settings.value(QStringLiteral("cover_cache_limit_mib")).toLongLong(&ok);
    return (ok && mib > 0 ? mib : DEFAULT_LIMIT_MIB) * 1024 * 1024;
}

QStringList files_to_remove(QList<Entry> entries, qint64 limit, const QSet<QString> &keep)
{
    qint64 total = 0;
    for (const Entry &entry : qAsConst(entries))
        total += entry.size;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.used < b.used; });
    QStringList out;
    for (const Entry &entry : qAsConst(entries)) {
        if (total <= limit)
            break;
        if (keep.contains(entry.path.mid(entry.path.lastIndexOf(QLatin1Char('/')) + 1)))
            continue;
        out << entry.path;
        total -= entry.size;
    }
    return out;
}

QStringList trim_folder(const QString &folder, qint64 limit, const QSet<QString> &keep)
{
    static const QRegularExpression cover_name(QStringLiteral("^[0-9a-f]{32}$"));
    QList<Entry> entries;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &file : files) {
        if (cover_name.match(file.fileName()).hasMatch())
            entries.append({file.absoluteFilePath(), file.size(), file.lastModified()});
    }
    QStringList removed;
    for (const QString &path : files_to_remove(entries, limit, keep)) {
        if (QFile::remove(path))
            removed << path;
    }
    return removed;
}

void mark_used(const QString &path)
{
    std::error_code ignored;
    std::filesystem::last_write_time(std::filesystem::path(path.toStdWString()),
                                     std::filesystem::file_time_type::clock::now(), ignored);
}

} // namespace cover_trim
