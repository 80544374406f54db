#include "app/queue_taskbar_progress.h"

#include "core/download/download_manager.h"

#include <QWidget>

#include <algorithm>

int queue_percent(int finished, int running_percent, bool running, int waiting)
{
    const int total = finished + (running ? 1 : 0) + waiting;
    if (total <= 0)
        return 0;
    const int running_part = running ? std::clamp(running_percent, 0, 100) : 0;
    return (finished * 100 + running_part) / total;
}

QueueTaskbarProgress::QueueTaskbarProgress(DownloadManager &downloads, QWidget *window)
    : QObject(window), m_downloads(downloads), m_window(window)
{
    connect(&downloads, &DownloadManager::task_started, this, [this] {
        m_running_percent = 0;
        update();
    });
    connect(&downloads, &DownloadManager::progress_updated, this, [this](const QString &, int percent) {
        m_running_percent = percent;
        update();
    });
    connect(&downloads, &DownloadManager::task_completed, this, &QueueTaskbarProgress::task_ended);
    connect(&downloads, &DownloadManager::task_failed, this, &QueueTaskbarProgress::task_ended);
    connect(&downloads, &DownloadManager::task_cancelled, this, &QueueTaskbarProgress::task_ended);
    connect(&downloads, &DownloadManager::queue_updated, this, &QueueTaskbarProgress::update);
}

std::optional<int> QueueTaskbarProgress::percent_shown() const
{
    return m_shown;
}

void QueueTaskbarProgress::task_ended()
{
    ++m_finished;
    m_running_percent = 0;
    update();
}

void QueueTaskbarProgress::update()
{
    if (!m_window)
        return;
    const bool running = m_downloads.get_current_task().has_value();
    const int waiting = m_downloads.get_queue().size();
    // The handle exists once the window has been shown; a hidden window
    // (a test's) has no button to draw on.
    const std::uintptr_t handle = m_window->windowHandle() ? std::uintptr_t(m_window->winId()) : 0;
    if (!running && waiting == 0) {
        m_finished = 0;
        m_running_percent = 0;
        if (m_shown)
            m_taskbar.clear(handle);
        m_shown.reset();
        return;
    }
    m_shown = queue_percent(m_finished, m_running_percent, running, waiting);
    m_taskbar.show(handle, *m_shown);
}
