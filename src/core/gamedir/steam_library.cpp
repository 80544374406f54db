#include "core/gamedir/steam_library.h"

#include "core/gamedir/game_folder.h"
#include "core/gamedir/key_values.h"
#include "core/support/folder_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#ifdef Q_OS_WIN
#include "core/platform/steam_registry.h"
#endif

namespace gamedir {

const QString STEAM_GAME_NAME = QStringLiteral("Dread Hunger");

namespace {

// Steam's files are a few kilobytes; anything far larger is not one.
constexpr qint64 MAX_FILE_SIZE = 4 * 1024 * 1024;

std::vector<KeyValue> read_key_values(const QString &path)
{
    QFile file(path);
    if (file.size() > MAX_FILE_SIZE || !file.open(QIODevice::ReadOnly))
        return {};
    return parse_key_values(file.read(MAX_FILE_SIZE));
}

// The top-level block named `name`; null when the file has none.
const KeyValue *top_block(const std::vector<KeyValue> &entries, const QString &name)
{
    for (const KeyValue &entry : entries) {
        if (entry.is_block && entry.key.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

// The library folders that libraryfolders.vdf lists: numbered entries,
// blocks with a "path" (Steam since 2021) or plain paths (older Steam).
QStringList listed_libraries(const QString &steam_root)
{
    const std::vector<KeyValue> entries
        = read_key_values(steam_root + QStringLiteral("/steamapps/libraryfolders.vdf"));
    const KeyValue *list = top_block(entries, QStringLiteral("libraryfolders"));
    if (!list)
        return {};
    QStringList libraries;
    for (const KeyValue &entry : list->children) {
        bool numbered = false;
        entry.key.toInt(&numbered);
        if (!numbered)
            continue;
        const QString path = entry.is_block ? entry.text(QStringLiteral("path")) : entry.value;
        if (!path.isEmpty())
            libraries << QDir::fromNativeSeparators(path);
    }
    return libraries;
}

// A manifest's install folder must be one folder name below steamapps/common.
bool is_plain_folder_name(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && !name.contains(QLatin1Char(':'));
}

// The game folders named by the manifests of `library`.
QStringList game_folders_in(const QString &library)
{
    const QDir apps(library + QStringLiteral("/steamapps"));
    QStringList folders;
    const QStringList manifests
        = apps.entryList({QStringLiteral("appmanifest_*.acf")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &name : manifests) {
        const std::vector<KeyValue> entries = read_key_values(apps.filePath(name));
        const KeyValue *state = top_block(entries, QStringLiteral("AppState"));
        if (!state || state->text(QStringLiteral("name")) != STEAM_GAME_NAME)
            continue;
        const QString install_dir = state->text(QStringLiteral("installdir"));
        if (is_plain_folder_name(install_dir))
            folders << apps.filePath(QStringLiteral("common/") + install_dir);
    }
    return folders;
}

} // namespace

QStringList steam_roots()
{
#ifdef Q_OS_WIN
    const std::wstring path = platform::steam_install_path();
    if (path.empty())
        return {};
    return {QDir::fromNativeSeparators(QString::fromStdWString(path))};
#else
    const QString home = QDir::homePath();
    return {home + QStringLiteral("/.steam/steam"), home + QStringLiteral("/.local/share/Steam"),
            home + QStringLiteral("/.var/app/com.valvesoftware.Steam/.local/share/Steam")};
#endif
}

SteamSearch search_steam(const QStringList &roots)
{
    SteamSearch search;
    // ~/.steam/steam is usually a link to another candidate, each Steam
    // folder lists itself as a library, and on Windows the registry and the
    // list spell that folder differently ("c:/program files (x86)/steam"
    // beside "C:\\Program Files (x86)\\Steam"): each folder counts once.
    QSet<QString> seen_libraries;
    QSet<QString> seen_folders;
    for (const QString &root : roots) {
        if (!QFileInfo(root).isDir())
            continue;
        for (const QString &library : QStringList{root} + listed_libraries(root)) {
            const QString real_library = QFileInfo(library).canonicalFilePath();
            const QString library_key = folder_identity(real_library);
            if (library_key.isEmpty() || seen_libraries.contains(library_key))
                continue;
            seen_libraries.insert(library_key);
            search.libraries << real_library;
            for (const QString &folder : game_folders_in(real_library)) {
                const QString real_folder = QFileInfo(folder).canonicalFilePath();
                const QString folder_key = folder_identity(real_folder);
                if (folder_key.isEmpty() || !QFileInfo(real_folder).isDir() || seen_folders.contains(folder_key))
                    continue;
                seen_folders.insert(folder_key);
                // Nothing is written into a folder that is not the game.
                const QString missing = missing_base_package(real_folder);
                const QStringList problems = missing.isEmpty() ? validate_game_dir(real_folder) : QStringList{missing};
                if (problems.isEmpty())
                    search.found << real_folder;
                else
                    search.rejected.append({real_folder, problems});
            }
        }
    }
    return search;
}

} // namespace gamedir
