#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// A game installation in a folder of the test's choosing, and a real
// running process named like the game inside it.
class FakeGame {
public:
    static QString exe_name() { return QStringLiteral("DreadHunger-Win64-Shipping.exe"); }

    // A program that only waits (ten minutes at most), to run as the game.
    static QString idle_program()
    {
#ifdef Q_OS_WIN
        return QCoreApplication::applicationDirPath() + QStringLiteral("/idle_program.exe");
#else
        return QStringLiteral("/bin/sleep");
#endif
    }

    explicit FakeGame(const QString &root, bool with_base_package = true)
        : m_root(root)
    {
        QDir().mkpath(exe_folder());
        if (with_base_package) {
            QDir().mkpath(m_root + QStringLiteral("/DreadHunger/Content/Paks"));
            QFile pak(m_root + QStringLiteral("/DreadHunger/Content/Paks/DreadHunger-WindowsNoEditor.pak"));
            if (pak.open(QIODevice::WriteOnly))
                pak.write("base package");
        }
    }
    ~FakeGame() { stop(); }
    FakeGame(const FakeGame &) = delete;
    FakeGame &operator=(const FakeGame &) = delete;

    QString root() const { return m_root; }
    QString exe_folder() const { return m_root + QStringLiteral("/DreadHunger/Binaries/Win64"); }
    QString exe_path() const { return exe_folder() + QLatin1Char('/') + exe_name(); }
    QString mod_folder() const { return m_root + QStringLiteral("/DreadHunger/Content/Paks/orvexs"); }

    // Copies `program` to the game's executable path and runs it with
    // `arguments`; `launcher` (e.g. wine) runs it instead when given.
    bool start(const QString &program, const QStringList &arguments, const QString &launcher = QString(),
               const QString &launch_path = QString())
    {
        QFile::remove(exe_path());
        if (!QFile::copy(program, exe_path()))
            return false;
        QFile::setPermissions(exe_path(), QFile::permissions(exe_path()) | QFileDevice::ExeOwner);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (launcher.isEmpty()) {
            m_process.start(exe_path(), arguments);
        } else {
            m_process.start(launcher, QStringList{launch_path.isEmpty() ? exe_path() : launch_path} + arguments);
        }
        return m_process.waitForStarted(10000);
    }

    QProcess &process() { return m_process; }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

private:
    QString m_root;
    QProcess m_process;
};
