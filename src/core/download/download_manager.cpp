#include "core/download/download_manager.h"

#include "core/download/download_worker.h"
#include "core/install/install_journal.h"
#include "core/install/skin_files.h"
#include "core/install/file_ops.h"
#include "core/support/log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QTimer>
#include <QVector>

#include <memory>

// Carries one worker's progress reports to the GUI thread. Every report is
// delivered, in order; reports that come within a few milliseconds of each
// other travel together, since waking the GUI thread once per 8 KiB chunk
// costs more than the download itself.
class ProgressRelay {
public:
    // Worker thread. True when the GUI thread has to be woken for it.
    bool add(int percent)
    {
        QMutexLocker lock(&m_mutex);
        m_pending.append(percent);
        if (m_awake)
            return false;
        m_awake = true;
        return true;
    }

    // GUI thread: what has come so far. When nothing has, the relay goes to
    // sleep and the next report wakes the GUI thread again at once.
    QVector<int> take()
    {
        QMutexLocker lock(&m_mutex);
        QVector<int> batch;
        batch.swap(m_pending);
        if (batch.isEmpty())
            m_awake = false;
        return batch;
    }

private:
    QMutex m_mutex;
    QVector<int> m_pending;
    bool m_awake = false;   // a delivery is queued or scheduled
};

namespace {

// How long reports gather after one delivery before the next.
constexpr int PROGRESS_GATHER_MS = 5;

} // namespace

DownloadManager::DownloadManager(HttpClient &client, InstallStore &installs, QObject *parent)
    : QObject(parent), m_client(client), m_installs(installs)
{
    qRegisterMetaType<InstallRecord>();
    // Quitting while a download runs must stop its thread first: a QThread
    // destroyed while running aborts the process.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &DownloadManager::shutdown);
}

DownloadManager::~DownloadManager()
{
    shutdown();
}

void DownloadManager::add_task(const DownloadTask &task)
{
    for (const DownloadTask &waiting : qAsConst(m_queue)) {
        if (waiting.skin_id == task.skin_id)
            return;
    }
    if (m_current_worker && m_current_worker->task().skin_id == task.skin_id)
        return;
    m_queue.append(task);
    emit queue_updated();
    process_queue();
}

void DownloadManager::process_queue()
{
    if (m_current_worker || m_queue.isEmpty())
        return;
    start_task(m_queue.takeFirst());
    emit queue_updated();
}

void DownloadManager::start_task(const DownloadTask &task)
{
    // A committed step whose record the store has not taken yet is settled
    // here: the worker has no store and would leave it in the way.
    {
        const install_journal::Hold hold(false);
        if (hold.held())
            install_journal::finish(mod_folder_path(task.game_dir), m_installs.taker());
    }
    auto *worker = new DownloadWorker(task, m_client, m_endpoints);
    auto *thread = new QThread;
    m_current_worker = worker;
    m_current_thread = thread;
    const quint64 serial = ++m_worker_serial;

    worker->moveToThread(thread);
    // The thread ends itself once `run` has returned, so that nobody has to
    // ask it to quit while `run` still waits for the network: a quit request
    // would end those waits as if the answer had come.
    connect(thread, &QThread::started, worker, [worker, thread] {
        worker->run();
        thread->quit();
    }, Qt::DirectConnection);
    // Signals of a worker that is no longer current (queued just before it
    // was cancelled) are dropped, never taken for the next task's: every
    // delivery checks `serial`.
    const QString name = task.skin_data.value(QStringLiteral("name")).toString();
    auto relay = std::make_shared<ProgressRelay>();
    connect(worker, &DownloadWorker::progress, worker, [this, relay, serial, name](const QString &, int percent) {
        if (relay->add(percent))
            QMetaObject::invokeMethod(this, [this, relay, serial, name] {
                deliver_progress(relay, serial, name, true);
            }, Qt::QueuedConnection);
    }, Qt::DirectConnection);
    // The files stand whether or not the task is still wanted: the record
    // says what the folder holds.
    // The worker committed the files with the record in the journal; the
    // journal goes only once the store holds the record. Should another
    // step hold the journal now, its settle takes the record later.
    connect(worker, &DownloadWorker::installed, this, [this](const InstallRecord &record) {
        const install_journal::Hold hold(false);
        if (!hold.held() || !install_journal::finish(record.mod_folder, m_installs.taker()))
            m_installs.put(record);
    });
    // The last reports come before the end of the run.
    connect(worker, &DownloadWorker::finished, this, [this, relay, serial](const QString &skin_name) {
        deliver_progress(relay, serial, skin_name, false);
        if (is_current(serial))
            on_task_finished(skin_name);
    });
    connect(worker, &DownloadWorker::error, this, [this, relay, serial](const QString &skin_name, const QString &text) {
        deliver_progress(relay, serial, skin_name, false);
        if (is_current(serial))
            on_task_error(skin_name, text);
    });
    thread->start();
    emit task_started(name);
}

bool DownloadManager::is_current(quint64 serial) const
{
    return m_current_worker && serial == m_worker_serial;
}

void DownloadManager::deliver_progress(const std::shared_ptr<ProgressRelay> &relay, quint64 serial,
                                       const QString &skin_name, bool gather_more)
{
    if (!is_current(serial))
        return;
    const QVector<int> batch = relay->take();
    for (int percent : batch) {
        if (!is_current(serial))
            return;
        emit progress_updated(skin_name, percent);
    }
    if (gather_more && !batch.isEmpty())
        QTimer::singleShot(PROGRESS_GATHER_MS, this, [this, relay, serial, skin_name] {
            deliver_progress(relay, serial, skin_name, true);
        });
}

void DownloadManager::release_worker()
{
    if (m_current_thread)
        m_current_thread->wait();
    delete m_current_worker;
    delete m_current_thread;
    m_current_worker = nullptr;
    m_current_thread = nullptr;
}

void DownloadManager::on_task_finished(const QString &skin_name)
{
    if (m_current_thread)
        m_current_thread->quit();
    release_worker();
    emit task_completed(skin_name);
    emit queue_updated();
    process_queue();
}

void DownloadManager::on_task_error(const QString &skin_name, const QString &error)
{
    if (m_current_thread)
        m_current_thread->quit();
    release_worker();
    // The next task starts before the failure is reported: a receiver may
    // hold the report in a message box for as long as the user leaves it
    // open, and the queue must not wait for that.
    process_queue();
    emit task_failed(skin_name, error);
    emit queue_updated();
}

bool DownloadManager::cancel_task(const QString &skin_id)
{
    if (m_current_worker && m_current_worker->task().skin_id == skin_id) {
        m_current_worker->cancel();
        release_worker();
        emit task_cancelled(skin_id);
        emit queue_updated();
        process_queue();
        return true;
    }
    for (int i = 0; i < m_queue.size(); ++i) {
        if (m_queue.at(i).skin_id == skin_id) {
            m_queue.removeAt(i);
            emit queue_updated();
            return true;
        }
    }
    return false;
}

std::optional<DownloadTask> DownloadManager::get_current_task() const
{
    if (!m_current_worker)
        return std::nullopt;
    return m_current_worker->task();
}

QList<DownloadTask> DownloadManager::get_queue() const
{
    return m_queue;
}

bool DownloadManager::has_active_tasks() const
{
    return m_current_worker != nullptr || !m_queue.isEmpty();
}

bool DownloadManager::wait_for_current_run(unsigned long timeout_ms)
{
    return !m_current_thread || m_current_thread->wait(timeout_ms);
}

void DownloadManager::shutdown()
{
    m_queue.clear();
    if (!m_current_worker)
        return;
    applog::info(QStringLiteral("退出时停止下载: ") + m_current_worker->task().skin_id);
    m_current_worker->cancel();
    if (m_current_thread)
        m_current_thread->wait();
    // The worker clears its own temporary files when it stops; a failure on
    // the way out may have left one behind.
    for (const QString &path : m_current_worker->temp_paths()) {
        if (QFileInfo::exists(path))
            safe_remove(path);
    }
    release_worker();
}
