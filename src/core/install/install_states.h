#pragma once

#include "core/install/installed_skins.h"
#include "core/install/skin_state.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class InstallStore;

// Where each skin stands, answered in one place: what the store knows
// (records, damage, update badges) together with where the download queue
// has the skin, which it follows through the queue's signals (the program
// connects them; the queue knows nothing of this). Cards ask it and draw
// the answer. GUI thread only.
class InstallStates final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstallStates)

public:
    explicit InstallStates(const InstallStore &store, QObject *parent = nullptr);

    // --- what the queue reports
    // The skins waiting in the queue, oldest first (the running one not among them).
    void set_waiting(const QStringList &skin_ids);
    void started(const QString &skin_id);
    void progress(const QString &skin_id, int percent);
    // Completed, failed or cancelled.
    void ended(const QString &skin_id);

    // --- what lies in the mod folder
    // The latest look at `game_dir`'s mod folder (the window's scans hand
    // it over).
    void take_listing(const QString &game_dir, const ModFiles &files);
    // Whether a file of the skin's lies below `game_dir`'s mod folder: the
    // files the latest listing of that folder has for it, if one is still
    // there; while there is no listing of it, a walk of the folder.
    bool on_disk(const QString &game_dir, const SkinFileNames &names) const;

    QueuePhase queue(const QString &skin_id) const;
    // `on_disk` is the mod-folder look, `file_pair` a pair no record names.
    SkinState state(const QString &skin_id, bool on_disk, bool file_pair) const;

signals:
    // The skin's place in the queue or its percent changed.
    void changed(const QString &skin_id);
    // A new listing came: what lies on disk is to be asked again.
    void listing_changed();

private:
    const InstallStore &m_store;
    QSet<QString> m_waiting;
    QString m_running;
    int m_percent = -1;
    QString m_listed_game_dir;
    ModFiles m_listing;
};
