#pragma once

#include "core/net/resume_rules.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QObject>
#include <QString>

#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

// Downloads the new version the version record names, writes the
// replacement script and launches it, all on the update thread: it owns its
// network manager, its reply and its file, and waits only there. Created
// without a parent so that it can be moved to that thread; what it reports
// reaches the GUI thread through its signals, queued.
class UpdateWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateWorker)

public:
    // `download_limit_ms` bounds the whole download; `stall_limit_ms` how long
    // it may go without data before the transfer counts as broken off.
    UpdateWorker(const QJsonObject &info, int download_limit_ms, int stall_limit_ms);
    ~UpdateWorker() override;

public slots:
    // Runs the update through on the calling thread. Ends with exactly one
    // of failed() or launched().
    void run();

signals:
    // A text for the window's progress line.
    void progress(const QString &message);
    // The update cannot go on; `message` is for the "程序错误" box.
    void failed(const QString &message);
    // The script runs: the program must end now.
    void launched();

private:
    bool download(const QString &url, const QString &path);
    void send();
    // Sends the running request to `url`, one hop of it.
    void ask(const QUrl &url);
    // True when the finished answer is a redirect and its target has been
    // asked for in its place.
    bool follow_redirect();
    // Waits for the running reply to finish. False when the overall limit
    // passed first.
    bool wait_for_reply();
    // Judges the running answer once: from the start, the rest, or of no use.
    void check_answer();
    void restart_file();
    void on_download_progress(qint64 bytes_received, qint64 bytes_total);
    void on_ready_read();
    void on_finished();
    // Empty when the file at `new_exe_path` may be launched; else the text
    // of the box that refuses it.
    QString check_publisher(const QString &new_exe_path) const;
    // False on failure; when the launch itself failed, `launch_error` holds why.
    bool install(const QString &new_exe, QString *launch_error);

    QJsonObject m_info;
    int m_download_limit_ms;
    int m_stall_limit_ms;

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    QNetworkRequest m_request;   // the running request, whichever hop it is at
    int m_hops = 0;              // redirects followed for it
    std::unique_ptr<QFile> m_file;
    QString m_url;
    QString m_save_path;
    double m_last_update = 0;
    QElapsedTimer m_started;
    QElapsedTimer m_last_data;
    bool m_completed = false;   // the running reply has been handled to its end
    bool m_success = false;     // ... and the file is whole

    // How the download goes on after a break.
    struct Resume {
        ResumeRules rules;
        bool ranged = false;    // the running request asks for the rest only
        bool checked = false;   // the running answer has been judged
        bool accepted = false;  // ... and its body belongs in the file
        bool refetch = false;   // ... and the whole file must be asked for afresh
        bool broke = false;     // the transfer broke off and may go on
        bool stalled = false;   // ... because no data came for too long
        qint64 offset = 0;      // where the running answer's body starts in the file
        QString refused;        // why the answer cannot be used, when it cannot
    } m_resume;
};
