#pragma once

#include "download/download_task.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

#include <memory>

class DownloadWorker;
class ProgressRelay;
class QThread;

// The single download queue of the application. Tasks run one at a time,
// oldest first, each on a worker thread of its own; every step is reported
// through the signals below, which all cards receive and filter by skin id.
// Lives on the GUI thread and is used only there.
class DownloadManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadManager)

public:
    static DownloadManager *instance();

    // Queues the task unless a task with the same skin_id waits or runs.
    void add_task(const DownloadTask &task);
    // Cancels the running task or drops a waiting one; false when there is
    // no task with that id.
    bool cancel_task(const QString &skin_id);

    std::optional<DownloadTask> get_current_task() const;
    QList<DownloadTask> get_queue() const;
    bool has_active_tasks() const;

    // Stops everything at application exit: drops the waiting tasks,
    // cancels the running one, waits for its thread and removes its
    // temporary files. Emits nothing. Safe to call more than once.
    void shutdown();

    // State, readable by tests; only the manager itself changes it.
    QList<DownloadTask> queue;                 // waiting tasks, oldest first
    DownloadWorker *current_worker = nullptr;  // set exactly while a task runs
    QThread *current_thread = nullptr;         // the thread running it

    // Time-outs handed to each new worker (seconds); tests may lower them.
    int head_timeout_seconds = 10;
    int get_timeout_seconds = 30;

signals:
    void task_started(const QString &skin_id);
    void progress_updated(const QString &skin_id, int percent);
    void task_completed(const QString &skin_id);
    void task_failed(const QString &skin_id, const QString &error);
    void task_cancelled(const QString &skin_id);
    void queue_updated();

private:
    DownloadManager();
    ~DownloadManager() override;

    // The current worker has ended; its last progress reports are out.
    void on_task_finished(const QString &skin_name);
    void on_task_error(const QString &skin_name, const QString &error);
    void process_queue();
    void start_task(const DownloadTask &task);
    // Waits for the running worker's thread to end and releases both.
    void release_worker();
    bool is_current(quint64 serial) const;
    // Emits the progress reports the worker `serial` has sent so far, unless
    // it is no longer current; `gather_more` schedules the next delivery.
    void deliver_progress(const std::shared_ptr<ProgressRelay> &relay, quint64 serial,
                          const QString &skin_name, bool gather_more);

    static DownloadManager *m_instance;

    // Counts started workers, so that a late signal of a worker that is no
    // longer current is recognised and dropped.
    quint64 m_worker_serial = 0;
};
