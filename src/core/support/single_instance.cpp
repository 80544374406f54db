#include "core/support/single_instance.h"

#include "core/platform/foreground.h"
#include "core/support/log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QSysInfo>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

const QString LOCK_FILE_NAME = QStringLiteral("furlane.lock");

// Named after the lock's path, so two users (two homes) never meet; the
// name stays short enough for a Unix socket path.
QString server_name_for(const QString &lock_path)
{
    const QByteArray digest = QCryptographicHash::hash(lock_path.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("furlane-") + QString::fromLatin1(digest.toHex().left(24));
}

} // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent),
      m_lock_path(QFileInfo(QDir(folder).filePath(LOCK_FILE_NAME)).absoluteFilePath()),
      m_server_name(server_name_for(m_lock_path)),
      m_lock(m_lock_path)
{
    // A lock whose process is gone is found stale at once by its PID; the
    // age is only the fallback for a lock whose owner cannot be told (written
    // on another host name). A live holder keeps its file locked (Unix) or
    // open without delete sharing (Windows), so it is never removed under it.
    m_lock.setStaleLockTime(30000);
}

SingleInstance::~SingleInstance()
{
    // The server goes before the lock: a start that finds the lock free
    // must not find the old socket answering.
    delete m_server;
    m_server = nullptr;
}

SingleInstance::Claim SingleInstance::claim()
{
    if (m_lock.tryLock(0))
        return Claim::First;
    // A lock that names this very process was left by a holder that died
    // and whose number this process now has (Wine hands out the same small
    // numbers after a restart): nobody holds it.
    qint64 pid = 0;
    QString host;
    QString app;
    // (Windows names the host by COMPUTERNAME in the lock.)
    const auto this_host = [](const QString &name) {
        return name.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0
            || name.compare(qEnvironmentVariable("COMPUTERNAME"), Qt::CaseInsensitive) == 0;
    };
    if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &app)
        && pid == QCoreApplication::applicationPid() && !host.isEmpty() && this_host(host)
        && m_lock.removeStaleLockFile() && m_lock.tryLock(0))
        return Claim::First;
    if (m_lock.error() == QLockFile::LockFailedError) {
        applog::info(QStringLiteral("Furlane 已在运行"));
        return Claim::Running;
    }
    applog::error(QStringLiteral("无法创建锁文件: ") + QDir::toNativeSeparators(m_lock_path));
    return Claim::Failed;
}

bool SingleInstance::listen()
{
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                socket->disconnectFromServer();
                socket->deleteLater();
                emit activation_requested();
            }
        });
        // The holder stops answering when the program ends, before the
        // window's close runs on, so a start during it is not told "running"
        // by a socket nobody reads.
        if (QCoreApplication *app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, m_server, &QLocalServer::close);
    }
    if (m_server->isListening())
        return true;
    // The lock is ours, so a socket of this name is a leftover of a holder
    // that did not end cleanly (Unix leaves its file behind).
    QLocalServer::removeServer(m_server_name);
    if (m_server->listen(m_server_name))
        return true;
    applog::warning(QStringLiteral("无法监听本地连接: ") + m_server_name + QStringLiteral(": ")
                    + m_server->errorString());
    return false;
}

SingleInstance::Notice SingleInstance::notify_running(int wait_ms)
{
    // The holder's window may only come forward when this process, the one
    // the user just started, lets it.
    platform::allow_any_foreground();
    QElapsedTimer clock;
    clock.start();
    const auto remaining = [&] { return int(qBound<qint64>(100, wait_ms - clock.elapsed(), 1000)); };
    forever {
        QLocalSocket socket;
        socket.connectToServer(m_server_name);
        if (socket.waitForConnected(remaining())) {
            // The holder hangs up once it has taken the request: only then
            // has a running event loop seen it.
            socket.write("\n");
            socket.waitForBytesWritten(remaining());
            while (socket.state() != QLocalSocket::UnconnectedState && clock.elapsed() < wait_ms)
                socket.waitForDisconnected(remaining());
            if (socket.state() == QLocalSocket::UnconnectedState)
                return Notice::Told;
            break;
        }
        // Nobody listens: the holder is starting, or closing and about to
        // let go of the lock.
        if (m_lock.tryLock(0))
            return Notice::LockTaken;
        if (clock.elapsed() >= wait_ms)
            break;
        QThread::msleep(50);
    }
    applog::warning(QStringLiteral("无法唤起正在运行的 Furlane"));
    return Notice::Unanswered;
}
