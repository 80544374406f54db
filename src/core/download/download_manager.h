#pragma once

#include "core/download/download_task.h"
#include "core/install/install_store.h"
#include "core/net/server_endpoints.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

#include <memory>

class DownloadWorker;
class HttpClient;
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
    // GUI thread only; `client` is handed to every worker, and a finished
    // install's record goes to `installs`; both must outlive the manager.
    DownloadManager(HttpClient &client, InstallStore &installs, QObject *parent = nullptr);
    ~DownloadManager() override;

    // The server the next tasks download from; the window hands it the
    // resolved endpoints. A running task keeps the ones it started with.
    const ServerEndpoints &endpoints() const { return m_endpoints; }
    void set_endpoints(const ServerEndpoints &endpoints) { m_endpoints = endpoints; }

    // Queues the task unless a task with the same skin_id waits or runs.
    void add_task(const DownloadTask &task);
    // Cancels the running task or drops a waiting one; false when there is
    // no task with that id.
    bool cancel_task(const QString &skin_id);

    // What the finished installs put into the mod folders, and what the
    // checks found of them (the program's install service, not the queue's).
    InstallStore &installs() { return m_installs; }

    std::optional<DownloadTask> get_current_task() const;
    QList<DownloadTask> get_queue() const;
    bool has_active_tasks() const;

    // Stops everything at application exit: drops the waiting tasks,
    // cancels the running one, waits for its thread and removes its
    // temporary files. Emits nothing. Safe to call more than once.
    void shutdown();

    // Blocks until the running task's worker has returned from its run,
    // delivering none of its signals, so that tests can hold them queued.
    // True when it returned within `timeout_ms` or nothing runs.
    bool wait_for_current_run(unsigned long timeout_ms);

signals:
    void task_started(const QString &skin_id);
    void progress_updated(const QString &skin_id, int percent);
    void task_completed(const QString &skin_id);
    void task_failed(const QString &skin_id, const QString &error);
    void task_cancelled(const QString &skin_id);
    void queue_updated();

private:

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

    HttpClient &m_client;
    ServerEndpoints m_endpoints;
    InstallStore &m_installs;
    QList<DownloadTask> m_queue;                 // waiting tasks, oldest first
    DownloadWorker *m_current_worker = nullptr;  // set exactly while a task runs
    QThread *m_current_thread = nullptr;         // the thread running it

    // Counts started workers, so that a late signal of a worker that is no
    // longer current is recognised and dropped.
    quint64 m_worker_serial = 0;
};
