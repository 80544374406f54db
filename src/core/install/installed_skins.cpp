#include "core/install/installed_skins.h"

#include <mutex>

#include "core/catalog/catalog_model.h"
#include "core/install/skin_files.h"

#include <QDir>
#include <QJsonValue>

#include <algorithm>
#include <vector>

SkinFileNames skin_file_names(const QJsonObject &record)
{
    return {skin_file_name(record.value(QStringLiteral("pak_original")).toString()),
            skin_file_name(record.value(QStringLiteral("sig_original")).toString())};
}

namespace {

bool names_file(const SkinFileNames &names, const QString &name)
{
    return (!names.sig.isEmpty() && name == names.sig) || (!names.pak.isEmpty() && name == names.pak);
}

} // namespace

bool ModFiles::game_holds(const QString &game_dir, const SkinFileNames &names)
{
    bool found = false;
    if (!game_dir.isEmpty()) {
        walk_files_top_down(mod_folder_path(game_dir), [&](const QString &, const QString &name) {
            found = names_file(names, name);
            return !found;
        });
    }
    return found;
}

ModFiles ModFiles::list(const QString &mod_folder, Stamps stamps)
{
    ModFiles files;
    files.m_root = mod_folder;
    walk_file_infos_top_down(mod_folder, [&files, stamps](const QString &folder, const QFileInfo &file) {
        Entry entry{folder, file.fileName()};
        if (stamps == Stamps::Yes) {
            // Asked of the file itself, as an install records them: under
            // Wine the directory listing's own times need not be the file's
            // last write.
            platform::FileStamp stamp;
            if (file_stamp_of(file.filePath(), &stamp)) {
                entry.size = stamp.size;
                entry.modified_ms = stamp.modified_ms;
            }
        }
        files.m_by_name[entry.name].append(files.m_entries.size());
        files.m_entries.append(entry);
        return true;
    });
    return files;
}

ModFiles ModFiles::of_game(const QString &game_dir, Stamps stamps)
{
    return game_dir.isEmpty() ? ModFiles() : list(mod_folder_path(game_dir), stamps);
}

bool ModFiles::installed(const SkinFileNames &names) const
{
    return (!names.sig.isEmpty() && m_by_name.contains(names.sig))
        || (!names.pak.isEmpty() && m_by_name.contains(names.pak));
}

const ModFiles::Entry *ModFiles::find(const QString &relative_path) const
{
    // Records hold plain paths: those are looked up without building one
    // (thousands per list answer, on the window's thread); other spellings
    // are cleaned first.
    const bool plain = !relative_path.isEmpty() && !relative_path.contains(QLatin1Char('\\'))
        && !relative_path.contains(QLatin1String("./")) && !relative_path.contains(QLatin1String("//"))
        && !relative_path.startsWith(QLatin1Char('/')) && !relative_path.endsWith(QLatin1Char('/'))
        && !relative_path.endsWith(QLatin1Char('.'));
    if (plain) {
        const int slash = relative_path.lastIndexOf(QLatin1Char('/'));
        const auto it = m_by_name.constFind(slash < 0 ? relative_path : relative_path.mid(slash + 1));
        if (it == m_by_name.constEnd())
            return nullptr;
        const QStringRef below = relative_path.leftRef(qMax(slash, 0));
        const int folder_size = slash < 0 ? m_root.size() : m_root.size() + 1 + slash;
        for (const int index : *it) {
            const QString &folder = m_entries.at(index).folder;
            if (folder.size() == folder_size && folder.startsWith(m_root) && (slash < 0 || folder.endsWith(below)))
                return &m_entries.at(index);
        }
        return nullptr;
    }
    const QString path = m_root + QLatin1Char('/') + QDir::cleanPath(relative_path);
    const auto it = m_by_name.constFind(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    if (it == m_by_name.constEnd())
        return nullptr;
    for (const int index : *it) {
        const Entry &entry = m_entries.at(index);
        if (entry.folder.size() + 1 + entry.name.size() == path.size() && path.startsWith(entry.folder)
            && path.endsWith(entry.name))
            return &entry;
    }
    return nullptr;
}

bool ModFiles::lists(const QString &folder, const QString &name) const
{
    const auto it = m_by_name.constFind(name);
    return it != m_by_name.constEnd()
        && std::any_of(it->cbegin(), it->cend(), [&](int index) { return m_entries.at(index).folder == folder; });
}

const ModFiles::Entry *ModFiles::first_named(const QString &name) const
{
    const auto it = m_by_name.constFind(name);
    return it == m_by_name.constEnd() || it->isEmpty() ? nullptr : &m_entries.at(it->first());
}

QStringList ModFiles::paths_of(const SkinFileNames &names) const
{
    std::vector<int> found;
    for (const QString &name : {names.pak, names.sig}) {
        if (name.isEmpty())
            continue;
        const auto it = m_by_name.constFind(name);
        if (it != m_by_name.constEnd())
            found.insert(found.end(), it->cbegin(), it->cend());
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    QStringList paths;
    for (const int index : found)
        paths << m_entries.at(index).folder + QLatin1Char('/') + m_entries.at(index).name;
    return paths;
}

struct SkinFileIndex::Built {
    QJsonArray catalogue;                 // until built
    std::once_flag once;
    QJsonArray records;                   // the objects, in the catalogue's order
    QVector<SkinFileNames> names;         // each record's file names
    QMultiHash<QString, int> by_name;     // file name -> indices into records
};

SkinFileIndex::SkinFileIndex(const QJsonArray &catalogue) : m_built(std::make_shared<Built>())
{
    m_built->catalogue = catalogue;
}

const SkinFileIndex::Built &SkinFileIndex::built() const
{
    Built *built = m_built.get();
    std::call_once(built->once, [built] {
        built->by_name.reserve(built->catalogue.size() * 2);
        for (const QJsonValue &element : built->catalogue) {
            if (!element.isObject())
                continue;
            // Completeness is left to the scan, which asks it of the few
            // records whose files it finds.
            const QJsonObject record = element.toObject();
            const SkinFileNames names = skin_file_names(record);
            const int index = built->records.size();
            built->records.append(record);
            built->names.append(names);
            if (!names.pak.isEmpty())
                built->by_name.insert(names.pak, index);
            // A record naming one file twice is still one record.
            if (!names.sig.isEmpty() && names.sig != names.pak)
                built->by_name.insert(names.sig, index);
        }
    built->catalogue = QJsonArray();
    });
    return *built;
}

InstalledSkins SkinFileIndex::scan(const ModFiles &files) const
{
    const Built &catalogue = built();
    // A file a complete record names is that record's, and the record is
    // then installed: so the installed records and the names that are no
    // unknown pair's come from the same look-ups. Each record's completeness
    // is asked once (a pair finds it twice).
    enum : signed char { UNASKED, COMPLETE, INCOMPLETE };
    struct Seen {
        signed char state = UNASKED;
        InstalledSkins::Found found;
    };
    std::vector<Seen> seen(static_cast<size_t>(catalogue.records.size()));
    QSet<QString> named;
    std::vector<int> installed;
    const QVector<ModFiles::Entry> &entries = files.entries();
    for (int at = 0; at < entries.size(); ++at) {
        const ModFiles::Entry &entry = entries.at(at);
        if (named.contains(entry.name))
            continue;
        for (auto found = catalogue.by_name.constFind(entry.name);
             found != catalogue.by_name.constEnd() && found.key() == entry.name; ++found) {
            Seen &record = seen[static_cast<size_t>(found.value())];
            if (record.state == UNASKED) {
                record.state = catalog::is_complete(catalogue.records.at(found.value()).toObject()) ? COMPLETE
                                                                                                    : INCOMPLETE;
                if (record.state == COMPLETE)
                    installed.push_back(found.value());
            }
            if (record.state != COMPLETE)
                continue;
            named.insert(entry.name);
            // The first copy in walk order, for a record made from the listing.
            const SkinFileNames &names = catalogue.names.at(found.value());
            if (record.found.pak < 0 && entry.name == names.pak)
                record.found.pak = at;
            if (record.found.sig < 0 && entry.name == names.sig)
                record.found.sig = at;
        }
    }
    std::sort(installed.begin(), installed.end());

    // The category lists' order; without a usable one (a ranking value that
    // is no integer) the catalogue's, so what is installed still shows.
    struct Keyed {
        catalog::OrderKey key;
        int index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(installed.size());
    for (const int index : installed) {
        const auto key = catalog::order_key(catalogue.records.at(index).toObject(), nullptr);
        if (!key) {
            keyed.clear();
            break;
        }
        keyed.push_back({*key, index});
    }
    // Stable, so ties keep the catalogue's order.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed &a, const Keyed &b) { return catalog::comes_before(a.key, b.key); });
    InstalledSkins out;
    const auto take = [&](int index) {
        out.records.append(catalogue.records.at(index));
        out.found.append(seen[static_cast<size_t>(index)].found);
    };
    out.found.reserve(int(installed.size()));
    if (keyed.size() == installed.size()) {
        for (const Keyed &k : keyed)
            take(k.index);
    } else {
        for (const int index : installed)
            take(index);
    }

    for (const ModFiles::Entry &entry : files.entries()) {
        if (named.contains(entry.name) || !entry.name.endsWith(QLatin1String(".pak"), Qt::CaseInsensitive))
            continue;
        const QString sig = paired_skin_file_name(entry.name);
        if (sig.isEmpty() || named.contains(sig) || !files.lists(entry.folder, sig))
            continue;
        out.unknown.append({entry.folder, entry.name, sig});
    }
    return out;
}

QJsonArray installed_records(const ModFiles &files, const QJsonArray &catalogue)
{
    return SkinFileIndex(catalogue).scan(files).records;
}

QVector<SkinFilePair> unknown_pairs(const ModFiles &files, const QJsonArray &catalogue)
{
    return SkinFileIndex(catalogue).scan(files).unknown;
}

InstalledSkins scan_installed_skins(const QString &game_dir, const QJsonArray &catalogue)
{
    return SkinFileIndex(catalogue).scan(ModFiles::of_game(game_dir));
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
