#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>

// A Steam installation where the program looks for one: below `home` on
// Linux, named by the registry on Windows (the user's SteamPath, or the
// machine's InstallPath). Its folder is marked as the test's own: a folder
// there without the mark is never touched, one with it (left by a test that
// ended early) is replaced. The registry value and the folder go again with
// the object.
class FakeSteam {
public:
    enum class Registry { user, machine };

    FakeSteam(const QString &home, const QString &place, Registry registry = Registry::user)
        : m_root(home + QLatin1Char('/') + place), m_registry(registry)
    {
        if (QFileInfo::exists(m_root) || QFileInfo(m_root).isSymLink()) {
            if (!QFileInfo::exists(m_root + MARK)) {
                m_error = QStringLiteral("a Steam folder that is not the test's is there: ") + m_root;
                return;
            }
            QDir(m_root).removeRecursively();
        }
        QDir().mkpath(m_root + QStringLiteral("/steamapps"));
        write(m_root + MARK, "");
        m_made = true;
#ifdef Q_OS_WIN
        QSettings key(registry_key(), QSettings::NativeFormat);
        key.setValue(registry_name(), QDir::toNativeSeparators(m_root));
        key.sync();
        if (key.status() != QSettings::NoError)
            m_error = QStringLiteral("cannot write ") + registry_key();
#endif
    }
    ~FakeSteam()
    {
#ifdef Q_OS_WIN
        if (m_made) {
            QSettings key(registry_key(), QSettings::NativeFormat);
            key.remove(registry_name());
        }
#endif
        if (m_made)
            QDir(m_root).removeRecursively();
    }
    FakeSteam(const FakeSteam &) = delete;
    FakeSteam &operator=(const FakeSteam &) = delete;

#ifdef Q_OS_WIN
    // The registry's value as Steam writes it, which need not be the disk's.
    void spell_in_registry(const QString &spelling) const
    {
        QSettings key(registry_key(), QSettings::NativeFormat);
        key.setValue(registry_name(), spelling);
        key.sync();
    }
#endif

    QString error() const { return m_error; }
    QString root() const { return m_root; }

    // libraryfolders.vdf as Steam writes it since 2021, listing `libraries`.
    static QByteArray library_list(const QStringList &libraries)
    {
        QByteArray text = "\"libraryfolders\"\r\n{\r\n";
        for (int i = 0; i < libraries.size(); ++i) {
            text += "\t\"" + QByteArray::number(i) + "\"\r\n\t{\r\n\t\t\"path\"\t\t\"" + escaped(libraries[i])
                + "\"\r\n\t\t\"label\"\t\t\"\"\r\n\t\t\"apps\"\r\n\t\t{\r\n\t\t\t\"1418630\"\t\t\"1024\"\r\n\t\t}\r\n\t}\r\n";
        }
        return text + "}\r\n";
    }
    void write_library_list(const QByteArray &text) const
    {
        write(m_root + QStringLiteral("/steamapps/libraryfolders.vdf"), text);
    }

    // A manifest in `library` naming `name` in `install_dir`, and that
    // folder with the game's base package when `base_package`.
    static void add_game(const QString &library, const QString &install_dir, bool base_package = true,
                         const QString &name = QStringLiteral("Dread Hunger"))
    {
        static int next_id = 1418630;
        const QString id = QString::number(next_id++);
        write(library + QStringLiteral("/steamapps/appmanifest_") + id + QStringLiteral(".acf"),
              "\"AppState\"\n{\n\t\"appid\"\t\t\"" + id.toUtf8() + "\"\n\t\"name\"\t\t\"" + name.toUtf8()
                  + "\"\n\t\"installdir\"\t\t\"" + escaped(install_dir) + "\"\n\t\"StateFlags\"\t\t\"4\"\n}\n");
        QDir().mkpath(library + QStringLiteral("/steamapps/common/") + install_dir);
        if (base_package)
            write(library + QStringLiteral("/steamapps/common/") + install_dir
                      + QStringLiteral("/DreadHunger/Content/Paks/DreadHunger-WindowsNoEditor.pak"),
                  "base package");
    }

    // A path as KeyValues text holds it: native separators, "\" doubled.
    static QByteArray escaped(const QString &path)
    {
        return QDir::toNativeSeparators(path).replace(QLatin1Char('\\'), QStringLiteral("\\\\")).toUtf8();
    }

    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }

private:
#ifdef Q_OS_WIN
    QString registry_key() const
    {
        return m_registry == Registry::user ? QStringLiteral("HKEY_CURRENT_USER\\Software\\Valve\\Steam")
                                            : QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Valve\\Steam");
    }
    QString registry_name() const
    {
        return m_registry == Registry::user ? QStringLiteral("SteamPath") : QStringLiteral("InstallPath");
    }
#endif

    inline static const QString MARK = QStringLiteral("/furlane-test-steam");
    QString m_root;
    Registry m_registry;
    QString m_error;
    bool m_made = false;
};
