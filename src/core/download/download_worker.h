#pragma once

#include "core/download/download_task.h"
#include "core/install/install_record.h"
#include "core/net/server_endpoints.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>

class HttpClient;

// One file of a skin download, in download order (package first).
struct DownloadFileInfo {
    QString url;
    QString filename;    // the name as written in the mod folder
    QString final_path;
    QString temp_path;   // final_path + ".tmp"
    qint64 measured_size = -1;   // Content-Length of the HEAD answer, -1 without
    // Of the finished transfer: the bytes' hash and the answer's validators.
    QByteArray sha256;
    QByteArray etag;
    QByteArray last_modified;
};

// Downloads one skin's package and signature into the mod folder. Lives on a
// thread of its own (moved there by the manager); `run` does the whole job
// and `cancel` may be called from any thread while it runs.
class DownloadWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWorker)

public:
    // `client` sends its requests, to the server of `endpoints`; it must
    // outlive the run.
    DownloadWorker(const DownloadTask &task, HttpClient &client, const ServerEndpoints &endpoints,
                   QObject *parent = nullptr);

    const DownloadTask &task() const { return m_task; }

    // Network time-outs in seconds: the sizing requests, and the connection
    // and each wait for data of the transfers. Tests may lower them; set
    // before `run`.
    void set_timeouts(int head_seconds, int get_seconds);

    // Ends the install where a kill would, after that many durable steps
    // in the mod folder (the journal, each move, the commit mark), for the
    // tests; -1 (the default) runs it whole.
    void set_end_after_steps(int steps) { m_end_after_steps = steps; }
    void cancel();
    bool is_cancelled() const { return m_is_cancelled.load(); }

    // Temporary paths this run knows of, for clean-up by the owner once
    // `run` has returned.
    QStringList temp_paths() const;

public slots:
    void run();

signals:
    void progress(const QString &skin_name, int percent);
    // Both files stand in place; sent just before `finished`.
    void installed(const InstallRecord &record);
    void finished(const QString &skin_name);
    void error(const QString &skin_name, const QString &error);

private:
    enum class Outcome { Done, Cancelled, Failed };
    Outcome download_files(const QString &skin_name, QString &error_text);
    Outcome transfer(DownloadFileInfo &file, const QString &skin_name, QString &error_text);
    InstallRecord install_record() const;
    // Files named like this skin's anywhere else below `folder`.
    QStringList other_copies(const QString &folder) const;
    // Moves both finished files to their final names, both or neither.
    Outcome move_into_place(QString &error_text);
    void remove_temp_files();

    DownloadTask m_task;
    HttpClient &m_client;
    const ServerEndpoints m_endpoints;
    int m_head_timeout_seconds = 10;
    int m_get_timeout_seconds = 30;
    std::atomic<bool> m_is_cancelled{false};
    QVector<DownloadFileInfo> m_files;
    InstallRecord m_record;   // what the install committed
    int m_end_after_steps = -1;
    int m_steps = 0;
    bool ended();
    qint64 m_total_size = 0;
    qint64 m_downloaded = 0;
};

// The percentage reported after `downloaded` of `total` bytes: truncated
// toward zero in double precision, held to 0-100. An unknown total (0)
// gives 0 while nothing is known about the size.
int download_percent(qint64 downloaded, qint64 total);
