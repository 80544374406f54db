#pragma once

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

    QueuePhase queue(const QString &skin_id) const;
    // `on_disk` is the mod-folder look, `file_pair` a pair no record names.
    SkinState state(const QString &skin_id, bool on_disk, bool file_pair) const;

signals:
    // The skin's place in the queue or its percent changed.
    void changed(const QString &skin_id);

private:
    const InstallStore &m_store;
    QSet<QString> m_waiting;
    QString m_running;
    int m_percent = -1;
};
