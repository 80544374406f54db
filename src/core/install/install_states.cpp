#include "core/install/install_states.h"

#include "core/install/install_store.h"

#include <QFileInfo>

#include <algorithm>

InstallStates::InstallStates(const InstallStore &store, QObject *parent) : QObject(parent), m_store(store)
{
}

void InstallStates::set_waiting(const QStringList &skin_ids)
{
    const QSet<QString> waiting(skin_ids.cbegin(), skin_ids.cend());
    const QSet<QString> before = m_waiting;
    m_waiting = waiting;
    for (const QString &skin_id : before) {
        if (!waiting.contains(skin_id))
            emit changed(skin_id);
    }
    for (const QString &skin_id : waiting) {
        if (!before.contains(skin_id))
            emit changed(skin_id);
    }
}

void InstallStates::started(const QString &skin_id)
{
    m_waiting.remove(skin_id);
    m_running = skin_id;
    m_percent = -1;
    emit changed(skin_id);
}

void InstallStates::progress(const QString &skin_id, int percent)
{
    // A report is of the running task; it may come before its start is seen.
    m_running = skin_id;
    m_percent = percent;
    emit changed(skin_id);
}

void InstallStates::ended(const QString &skin_id)
{
    if (m_running != skin_id)
        return;
    m_running.clear();
    m_percent = -1;
    emit changed(skin_id);
}

void InstallStates::take_listing(const QString &game_dir, const ModFiles &files)
{
    m_listed_game_dir = game_dir;
    m_listing = files;
    emit listing_changed();
}

bool InstallStates::on_disk(const QString &game_dir, const SkinFileNames &names) const
{
    if (game_dir.isEmpty())
        return false;
    if (game_dir != m_listed_game_dir)
        return ModFiles::game_holds(game_dir, names);
    // The listing may be older than the disk: the few files it names are
    // looked at again, so a skin removed by hand since is not offered for
    // removal. One added by hand shows with the next listing.
    const QStringList paths = m_listing.paths_of(names);
    return std::any_of(paths.cbegin(), paths.cend(), [](const QString &path) { return QFileInfo::exists(path); });
}

QueuePhase InstallStates::queue(const QString &skin_id) const
{
    if (!skin_id.isEmpty() && skin_id == m_running)
        return QueuePhase::Running;
    return m_waiting.contains(skin_id) ? QueuePhase::Waiting : QueuePhase::None;
}

SkinState InstallStates::state(const QString &skin_id, bool on_disk, bool file_pair) const
{
    const QueuePhase phase = queue(skin_id);
    return skin_state(m_store, skin_id, on_disk, file_pair, phase, phase == QueuePhase::Running ? m_percent : -1);
}
