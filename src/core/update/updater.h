#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class HttpClient;
struct HttpResult;
class QThread;

// The mandatory self-update: asks for the version record through the shared
// client without waiting on the GUI thread and, for a newer version,
// downloads and launches it on the update thread. Lives on the GUI thread; every outcome arrives there through
// its signals, and the window decides how to show it and how to end.
class Updater final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Updater)

public:
    explicit Updater(HttpClient &http, QObject *parent = nullptr);
    ~Updater() override;

    // Sends the version check; returns at once.
    void check();
    // Downloads and installs the version `info` (the version record)
    // describes, on the update thread.
    void start_update(const QJsonObject &info);
    // Whether an update has been started and its thread is still there.
    bool is_updating() const;

    // How long the update download may take, and may go without data before
    // the transfer counts as broken off. Read when an update starts.
    void set_download_limit_ms(int ms) { m_download_limit_ms = ms; }
    void set_stall_limit_ms(int ms) { m_stall_limit_ms = ms; }

signals:
    // A newer version was published; its update has started.
    void newer_version_found(const QString &version);
    // A newer version was published, but this platform cannot run the
    // update script: nothing was downloaded, the program must be updated
    // by hand.
    void manual_update_needed(const QString &version);
    // The version check found nothing newer: the program goes on as it is.
    void up_to_date();
    // A text for the window's progress line.
    void progress(const QString &message);
    // The program cannot go on; `message` is for the "程序错误" box.
    void fatal(const QString &message);
    // The program must end now (status 0): the new version's script runs, or
    // the application quits while an update is under way.
    void exit_requested();

private:
    void on_version_answer(const HttpResult &answer);
    // The version record, or nothing with the text to end with.
    std::optional<QJsonObject> read_version_record(const HttpResult &answer, QString *error) const;

    HttpClient &m_http;
    bool m_checking = false;
    QThread *m_thread = nullptr;
    // Raised when the update download is to end: its overall limit passed,
    // or the application quits.
    std::shared_ptr<std::atomic<bool>> m_stop;
    int m_download_limit_ms = 300000;
    int m_stall_limit_ms = 30000;
};
