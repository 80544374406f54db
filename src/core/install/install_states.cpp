#include "core/install/install_states.h"

#include "core/install/install_store.h"

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
