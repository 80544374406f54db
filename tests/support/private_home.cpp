// Linked into every test program: one started by hand, outside CTest (which
// hands each its own home), gets a temporary home before anything runs, so
// it never reads or writes the user's settings, cover cache, install records
// or one-instance lock. Programs it starts inherit that home.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

struct PrivateHome {
    std::unique_ptr<QTemporaryDir> dir;

    PrivateHome()
    {
#ifndef Q_OS_WIN // on Windows the folders follow the user profile, not HOME
        if (qEnvironmentVariableIsSet("FURLANE_TEST_HOME"))
            return;
        dir.reset(new QTemporaryDir(QDir::tempPath() + QStringLiteral("/furlane-test-home-XXXXXX")));
        if (!dir->isValid())
            qFatal("no temporary home for the test: %s", qPrintable(dir->errorString()));
        const QString home = dir->path();
        const auto set = [&](const char *name, const QString &path) { qputenv(name, QFile::encodeName(path)); };
        set("HOME", home);
        set("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
        set("XDG_CACHE_HOME", home + QStringLiteral("/.cache"));
        set("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
        set("XDG_STATE_HOME", home + QStringLiteral("/.local/state"));
        set("FURLANE_TEST_HOME", home);
#endif
    }
};

const PrivateHome private_home;

} // namespace
