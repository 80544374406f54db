#include "core/download/installed_skins.h"

#include "core/catalog/catalog_model.h"
#include "core/download/skin_files.h"

#include <QJsonValue>

SkinFileNames skin_file_names(const QJsonObject &record)
{
    return {skin_file_name(record.value(QStringLiteral("pak_original")).toString()),
            skin_file_name(record.value(QStringLiteral("sig_original")).toString())};
}

ModFiles ModFiles::list(const QString &mod_folder)
{
    ModFiles files;
    walk_files_top_down(mod_folder, [&files](const QString &folder, const QString &name) {
        files.m_entries.append({folder, name});
        files.m_names.insert(name);
        return true;
    });
    return files;
}

ModFiles ModFiles::of_game(const QString &game_dir)
{
    return game_dir.isEmpty() ? ModFiles() : list(mod_folder_path(game_dir));
}

bool ModFiles::installed(const SkinFileNames &names) const
{
    return (!names.sig.isEmpty() && m_names.contains(names.sig))
        || (!names.pak.isEmpty() && m_names.contains(names.pak));
}

QStringList ModFiles::paths_of(const SkinFileNames &names) const
{
    QStringList paths;
    if (!installed(names))
        return paths;
    for (const Entry &entry : m_entries) {
        if ((!names.sig.isEmpty() && entry.name == names.sig) || (!names.pak.isEmpty() && entry.name == names.pak))
            paths << entry.folder + QLatin1Char('/') + entry.name;
    }
    return paths;
}

namespace {

// Calls `use` with each complete record of the catalogue and its file names.
template <typename Use>
void for_each_complete(const QJsonArray &catalogue, Use use)
{
    for (const QJsonValue &element : catalogue) {
        if (!element.isObject())
            continue;
        const QJsonObject record = element.toObject();
        if (catalog::is_complete(record))
            use(record, skin_file_names(record));
    }
}

} // namespace

QJsonArray installed_records(const ModFiles &files, const QJsonArray &catalogue)
{
    QJsonArray installed;
    if (files.entries().isEmpty())
        return installed;
    for_each_complete(catalogue, [&](const QJsonObject &record, const SkinFileNames &names) {
        if (files.installed(names))
            installed.append(record);
    });
    if (std::optional<QJsonArray> ordered = catalog::order_records(installed, nullptr))
        return *ordered;
    return installed;
}

QVector<SkinFilePair> unknown_pairs(const ModFiles &files, const QJsonArray &catalogue)
{
    QVector<SkinFilePair> pairs;
    QSet<QString> paths;
    bool any_pak = false;
    for (const ModFiles::Entry &entry : files.entries()) {
        paths.insert(entry.folder + QLatin1Char('/') + entry.name);
        any_pak = any_pak || entry.name.endsWith(QLatin1String(".pak"), Qt::CaseInsensitive);
    }
    if (!any_pak)
        return pairs;

    QSet<QString> known;
    for_each_complete(catalogue, [&known](const QJsonObject &, const SkinFileNames &names) {
        known.insert(names.pak);
        known.insert(names.sig);
    });
    for (const ModFiles::Entry &entry : files.entries()) {
        if (!entry.name.endsWith(QLatin1String(".pak"), Qt::CaseInsensitive))
            continue;
        const QString sig = paired_skin_file_name(entry.name);
        if (sig.isEmpty() || !paths.contains(entry.folder + QLatin1Char('/') + sig))
            continue;
        if (known.contains(entry.name) || known.contains(sig))
            continue;
        pairs.append({entry.folder, entry.name, sig});
    }
    return pairs;
}

InstalledSkins scan_installed_skins(const QString &game_dir, const QJsonArray &catalogue)
{
    const ModFiles files = ModFiles::of_game(game_dir);
    return {installed_records(files, catalogue), unknown_pairs(files, catalogue)};
}

namespace {

const QString FILE_PAIR_KEY = QStringLiteral("file_pair");

} // namespace

QJsonArray installed_view_records(const InstalledSkins &installed, const QString &mod_folder)
{
    QJsonArray records = installed.records;
    const QString prefix = mod_folder + QLatin1Char('/');
    for (const SkinFilePair &pair : installed.unknown) {
        const QString below = pair.folder == mod_folder ? QString() : pair.folder.mid(prefix.size());
        records.append(QJsonObject{
            {QStringLiteral("name"), pair.pak},
            {FILE_PAIR_KEY, QJsonObject{{QStringLiteral("folder"), below},
                                        {QStringLiteral("pak"), pair.pak},
                                        {QStringLiteral("sig"), pair.sig}}},
        });
    }
    return records;
}

std::optional<SkinFilePair> file_pair_of(const QJsonObject &record, const QString &mod_folder)
{
    const QJsonObject pair = record.value(FILE_PAIR_KEY).toObject();
    const QString below = pair.value(QStringLiteral("folder")).toString();
    const QString pak = pair.value(QStringLiteral("pak")).toString();
    const QString sig = pair.value(QStringLiteral("sig")).toString();
    if (!is_safe_file_name(pak) || !pak.endsWith(QLatin1String(".pak"), Qt::CaseInsensitive)
        || sig != paired_skin_file_name(pak))
        return std::nullopt;
    QString folder = mod_folder;
    if (!below.isEmpty()) {
        for (const QString &part : below.split(QLatin1Char('/'))) {
            if (!is_safe_file_name(part))
                return std::nullopt;
            folder += QLatin1Char('/') + part;
        }
    }
    return SkinFilePair{folder, pak, sig};
}
