#pragma once

#include "core/platform/process_list.h"

#include <QObject>
#include <QSettings>
#include <QString>

class DownloadManager;

// The game folder in use: stored in the settings, found from the game's
// running process, and kept clean (an install cut short by the program's end
// is undone, download leftovers are swept when the program closes).
class GameDirService final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GameDirService)

public:
    explicit GameDirService(DownloadManager &downloads, QObject *parent = nullptr);

    // Empty until a folder is stored or detected.
    QString game_dir() const { return m_game_dir; }

    // Takes the stored folder and recovers its unfinished install. Returns
    // the status line to show: "✓ 皮肤目录已加载", or the hint to detect.
    QString load();

    // What a detection found: the status line to show, and whether the
    // folder was taken (then it is stored and recovered already).
    struct Detection {
        QString status;
        bool adopted = false;
        // No game process runs: Steam's libraries are the next place to look.
        bool no_game = false;
    };
    // Looks for the running game in `listing` and takes its folder when the
    // folder passes the checks.
    Detection detect(const ProcessListing &listing);

    // Why Steam's libraries are searched: at start, only when no folder is
    // stored or the stored one fails the checks, and nothing is shown unless
    // a folder is taken; after a click, "not detected" when none is.
    enum class SteamSearchCause { start, click };
    // Searches Steam's libraries off the GUI thread; steam_searched brings
    // the answer. Exactly one game folder that passes the checks is taken as
    // a detection takes it; none or several change nothing but the log. A
    // later search or detection makes an earlier answer void.
    void search_steam(SteamSearchCause cause);

    // Deletes download leftovers in the mod folder; run when closing.
    void cleanup_temp_files() const;

    // Where the settings are kept (for messages and tests).
    QString settings_file() const { return m_settings.fileName(); }

signals:
    // The answer of search_steam: the status to show (empty: nothing to
    // show, as when the stored folder needed no search), and whether the
    // folder was taken.
    void steam_searched(const QString &status, bool adopted);
    // A detection or Steam's libraries gave the folder in use (also when it
    // is the same one again); emitted before their answer.
    void game_dir_changed(const QString &folder);

private:
    // Takes `root`, which passed the checks: stores it and recovers it.
    Detection adopt(const QString &root);
    // Writes the folder and flushes at once: a fatal exit skips destructors.
    void save();
    // Undoes an install there that the program's end cut short, before any
    // card reads what is installed.
    void recover_unfinished_install();

    DownloadManager &m_downloads;
    QSettings m_settings{QStringLiteral("orvex"), QStringLiteral("DreadHunger")};
    QString m_game_dir;
    // Counts searches and detections; only the newest one's answer counts.
    quint64 m_generation = 0;
};
