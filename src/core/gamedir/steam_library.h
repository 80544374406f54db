#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Finding the game from Steam's own records, without the game running:
// Steam lists its libraries in <Steam>/steamapps/libraryfolders.vdf, and
// each installed game in <library>/steamapps/appmanifest_<id>.acf.
namespace gamedir {

extern const QString STEAM_GAME_NAME; // "Dread Hunger", as its manifest names it

// Where Steam may be installed, in the order they are tried: on Windows the
// registry's SteamPath of the user, else the machine's InstallPath; on
// Linux ~/.steam/steam, ~/.local/share/Steam and Flatpak's folder.
QStringList steam_roots();

// A game folder that a manifest names but that fails the checks.
struct RejectedFolder {
    QString folder;
    QStringList problems;
};

struct SteamSearch {
    QStringList libraries;            // each library read, once
    QStringList found;                // game folders that pass the checks, each once
    QList<RejectedFolder> rejected;
};

// Reads the libraries of each Steam folder in `roots` and the game folders
// their manifests name. A folder that does not exist is passed over; one
// without the base package is rejected before anything is written into it;
// the others get the full checks of validate_game_dir. Reads only local
// files; may take a while on a slow disk, so not for the GUI thread.
SteamSearch search_steam(const QStringList &roots);

} // namespace gamedir
