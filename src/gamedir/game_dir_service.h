#pragma once

#include "platform/process_list.h"

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
    };
    // Looks for the running game in `listing` and takes its folder when the
    // folder passes the checks.
    Detection detect(const ProcessListing &listing);

    // Deletes download leftovers in the mod folder; run when closing.
    void cleanup_temp_files() const;

    // Where the settings are kept (for messages and tests).
    QString settings_file() const { return m_settings.fileName(); }

private:
    // Writes the folder and flushes at once: a fatal exit skips destructors.
    void save();
    // Undoes an install there that the program's end cut short, before any
    // card reads what is installed.
    void recover_unfinished_install();

    DownloadManager &m_downloads;
    QSettings m_settings{QStringLiteral("orvex"), QStringLiteral("DreadHunger")};
    QString m_game_dir;
};
