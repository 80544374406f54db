#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

// One Furlane per user. The first start takes a lock file in the program's
// data folder and listens on a local socket named after that file; a later
// start finds the lock taken, asks the first to come forward and ends without
// touching anything. A lock left by a process that no longer runs (a crash,
// a kill, the update's own exit) is taken over.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    enum class Claim {
        First,    // the lock is ours
        Running,  // another running process holds it
        Failed,   // the lock file cannot be made (logged)
    };

    // `folder`: the per-user data folder, which must exist.
    explicit SingleInstance(const QString &folder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock. Needs no application object, so that only the holder
    // goes on to open the log file and the rest.
    Claim claim();

    // The holder, once the application object exists: hears later starts and
    // emits activation_requested for each. False (logged) when the socket
    // cannot be opened; the lock holds all the same.
    bool listen();

    enum class Notice {
        Told,        // the holder heard the request
        LockTaken,   // the holder ended meanwhile: the lock is ours now
        Unanswered,  // the holder neither answered nor ended (logged)
    };

    // A later start, once the application object exists: asks the holder to
    // come forward, waiting up to `wait_ms` for it to listen (it may be
    // starting). A holder that is closing no longer answers and lets go of
    // the lock as it ends: then this start takes the lock and goes on as the
    // first.
    Notice notify_running(int wait_ms = 10000);

    QString lock_path() const { return m_lock_path; }
    // Per user: derived from the lock file's path.
    QString server_name() const { return m_server_name; }

signals:
    void activation_requested();

private:
    QString m_lock_path;
    QString m_server_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
