#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// What lies in the mod folder: which catalogue skins are installed, and the
// skin files no record names. A card's installed check, its uninstall and the
// installed view all read the folder through ModFiles, so they agree on what
// "installed" means: a file named exactly (case-sensitive) like the skin's
// pak or sig file anywhere below the mod folder; one of the two is enough.

// A record's two file names as they land in the mod folder: the last path
// component of pak_original and sig_original (empty when the record has none).
struct SkinFileNames {
    QString pak;
    QString sig;
};
SkinFileNames skin_file_names(const QJsonObject &record);

// The files below a mod folder, listed once in the top-down walk order of
// walk_files_top_down.
class ModFiles {
public:
    // An empty listing (no game folder: the disk is not looked at).
    ModFiles() = default;
    // Whether each file's size and time are taken as the listing walks (the
    // scan's: its adoptions then need no further look at a file).
    enum class Stamps { No, Yes };
    // Walks `mod_folder`; a missing one lists nothing.
    static ModFiles list(const QString &mod_folder, Stamps stamps = Stamps::No);
    // The mod folder below `game_dir`, or nothing when no game folder is set.
    static ModFiles of_game(const QString &game_dir, Stamps stamps = Stamps::No);

    // Either of the skin's (non-empty) file names is among the files.
    bool installed(const SkinFileNames &names) const;
    // The same test for one skin below `game_dir`, its walk stopping at the
    // first file found: a card's check, done for every card of a page.
    static bool game_holds(const QString &game_dir, const SkinFileNames &names);
    // Paths ("folder/name") of every file named like one of the skin's, in
    // walk order.
    QStringList paths_of(const SkinFileNames &names) const;

    // Whether the file at `relative_path` below the listed folder was
    // listed: a look-up, no look at the disk.
    bool holds(const QString &relative_path) const { return find(relative_path) != nullptr; }
    // Whether `name` was listed in `folder` (as the walk spells it).
    bool lists(const QString &folder, const QString &name) const;

    struct Entry {
        QString folder;
        QString name;
        qint64 size = -1;          // with Stamps::Yes; -1 when not taken
        qint64 modified_ms = -1;   // since 1970-01-01 UTC; -1 when not taken
    };
    const QVector<Entry> &entries() const { return m_entries; }
    // The entry of the file at `relative_path` below the listed folder.
    const Entry *find(const QString &relative_path) const;
    // The first file named `name` in walk order, or nothing.
    const Entry *first_named(const QString &name) const;

private:
    QString m_root;   // the folder listed
    QVector<Entry> m_entries;
    // Each name's entries, in walk order: a look-up per skin, never a walk.
    QHash<QString, QVector<int>> m_by_name;
};

// A "<stem>.pak" beside its "<stem>.sig" in one folder.
struct SkinFilePair {
    QString folder;
    QString pak;
    QString sig;

    bool operator==(const SkinFilePair &other) const
    {
        return folder == other.folder && pak == other.pak && sig == other.sig;
    }
};

// The complete records of `catalogue` (every record the server sent, in any
// order) whose skin is installed, in the order the category lists use. When
// that order cannot be had (a ranking value that is no integer) they keep
// the catalogue's order: what is installed still shows.
QJsonArray installed_records(const ModFiles &files, const QJsonArray &catalogue);

// The pairs among `files` that no complete record of `catalogue` names
// (neither the .pak nor the .sig), in walk order. A lone .pak or .sig is no
// pair: it shows only when a record names it, as that record's skin.
QVector<SkinFilePair> unknown_pairs(const ModFiles &files, const QJsonArray &catalogue);

// Both of the above from one walk of the mod folder.
struct InstalledSkins {
    QJsonArray records;
    // For each of `records`: where the listing holds its package and its
    // signature first (indices into its entries; -1 for none).
    struct Found {
        int pak = -1;
        int sig = -1;
    };
    QVector<Found> found;
    QVector<SkinFilePair> unknown;
    int count() const { return records.size() + unknown.size(); }
};

// The records of a catalogue by their files' names, made once per
// catalogue so that each look at the mod folder costs its listing and not a
// pass over every record. Made at the first scan (on the scan's thread, not
// the window's, which only hands the catalogue over) and shared by every
// copy; scan is safe from any thread.
class SkinFileIndex {
public:
    explicit SkinFileIndex(const QJsonArray &catalogue = QJsonArray());
    InstalledSkins scan(const ModFiles &files) const;

private:
    struct Built;
    const Built &built() const;
    std::shared_ptr<Built> m_built;
};

// The installed skins below `game_dir` (none without one).
InstalledSkins scan_installed_skins(const QString &game_dir, const QJsonArray &catalogue);

// The installed view's cards: the records, then one record a pair whose
// name is the .pak's and whose "file_pair" holds the pair's folder relative
// to the mod folder ("" for the folder itself) and its two names. Such a
// record has no cover and nothing to install.
QJsonArray installed_view_records(const InstalledSkins &installed, const QString &mod_folder);

// The pair a "file_pair" record stands for, placed below `mod_folder`.
// Nothing for a record without one, or with one that could reach outside the
// mod folder or name other files: an absolute or ".." folder, a name that is
// no plain file name, a .pak and a .sig that are not partners.
std::optional<SkinFilePair> file_pair_of(const QJsonObject &record, const QString &mod_folder);
