#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class HttpClient;

// Downloads the new version the version record names, checks its publisher,
// writes the replacement script and launches it, all on the update thread,
// where it waits. The download is the skins' resumable one. Created without
// a parent so that it can be moved to that thread; what it reports reaches
// the GUI thread through its signals, queued.
class UpdateWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateWorker)

public:
    // `stall_limit_ms` bounds the connection and each wait for data; `stop`
    // raised (by the overall deadline, or the program ending) ends the
    // download as timed out.
    UpdateWorker(HttpClient &http, const QJsonObject &info, int stall_limit_ms,
                 std::shared_ptr<std::atomic<bool>> stop);
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
    // Empty when the file at `new_exe_path` may be launched; else the text
    // of the box that refuses it.
    QString check_publisher(const QString &new_exe_path) const;
    // False on failure; when the launch itself failed, `launch_error` holds why.
    bool install(const QString &new_exe, QString *launch_error);

    HttpClient &m_http;
    QJsonObject m_info;
    int m_stall_limit_ms;
    std::shared_ptr<std::atomic<bool>> m_stop;
};
