#pragma once

#include "core/platform/taskbar_progress.h"

#include <QObject>
#include <QPointer>

#include <optional>

class DownloadManager;
class QWidget;

// The share of a burst of downloads that is done, 0..100: each finished task
// (installed, failed or cancelled) counts whole, the running one by its own
// percent, a waiting one as nothing yet.
int queue_percent(int finished, int running_percent, bool running, int waiting);

// Shows the download queue's progress on the window's task-bar button while
// tasks run or wait, and takes it off when the queue is empty.
class QueueTaskbarProgress final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QueueTaskbarProgress)

public:
    // `downloads` must outlive this object; `window` is the top-level window.
    QueueTaskbarProgress(DownloadManager &downloads, QWidget *window);

    // What the button shows: the percent, or nothing once the queue is empty.
    std::optional<int> percent_shown() const;

private:
    void task_ended();
    void update();

    DownloadManager &m_downloads;
    QPointer<QWidget> m_window;
    platform::TaskbarProgress m_taskbar;
    // Tasks ended since the queue was last empty.
    int m_finished = 0;
    int m_running_percent = 0;
    std::optional<int> m_shown;
};
