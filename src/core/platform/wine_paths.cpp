#include "core/platform/wine_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

namespace {

QString environ_value(const QByteArray &env_block, const QByteArray &key)
{
    const QByteArray wanted = key + '=';
    for (const QByteArray &entry : env_block.split('\0')) {
        if (entry.startsWith(wanted))
            return QString::fromLocal8Bit(entry.mid(wanted.size()));
    }
    return {};
}

// Appends `relative` ("/"-separated) to `base`, taking for each component
// that does not exist as written an entry of the same name in another case.
QString join_ignoring_case(const QString &base, const QString &relative)
{
    QString path = base;
    const QStringList parts = QDir::cleanPath(relative).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        QString next = path.endsWith(QLatin1Char('/')) ? path + part : path + QLatin1Char('/') + part;
        if (part != QLatin1String("..") && !QFileInfo::exists(next)) {
            const QStringList entries = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    next = path.endsWith(QLatin1Char('/')) ? path + entry : path + QLatin1Char('/') + entry;
                    break;
                }
            }
        }
        path = next;
    }
    return QDir::cleanPath(path);
}

} // namespace

bool is_wine_loader(const QString &exe_path)
{
    const QString name = exe_path.mid(exe_path.lastIndexOf(QLatin1Char('/')) + 1);
    return name.startsWith(QLatin1String("wine"));
}

QString wine_program_path(const QByteArray &cmdline)
{
    const int end = cmdline.indexOf('\0');
    QString first = QString::fromLocal8Bit(end < 0 ? cmdline : cmdline.left(end));
    if (first.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        return first;
    const int glued = first.indexOf(QLatin1String(".exe "), 0, Qt::CaseInsensitive);
    if (glued >= 0)
        first.truncate(glued + 4);
    return first;
}

QString wine_prefix_from_environ(const QByteArray &env_block)
{
    const QString prefix = environ_value(env_block, "WINEPREFIX");
    if (!prefix.isEmpty())
        return prefix;
    const QString home = environ_value(env_block, "HOME");
    return home.isEmpty() ? QString() : home + QStringLiteral("/.wine");
}

QString unix_path_from_wine(const QString &program, const QString &prefix, const QString &cwd)
{
    QString path = program;
    // NT forms of a DOS path: \\?\C:\... and \??\C:\...
    if (path.startsWith(QLatin1String("\\\\?\\")) || path.startsWith(QLatin1String("\\??\\")))
        path = path.mid(4);
    if (path.isEmpty())
        return {};

    static const QRegularExpression drive_path(QStringLiteral("^([A-Za-z]):([\\\\/].*)?$"));
    const QRegularExpressionMatch drive = drive_path.match(path);
    if (drive.hasMatch()) {
        const QString letter = drive.captured(1).toLower();
        const QString rest = drive.captured(2).replace(QLatin1Char('\\'), QLatin1Char('/'));
        QString base;
        if (letter == QLatin1String("z"))
            base = QStringLiteral("/");
        else if (!prefix.isEmpty())
            base = QFileInfo(prefix + QStringLiteral("/dosdevices/") + letter + QLatin1Char(':')).canonicalFilePath();
        if (base.isEmpty())
            return {};
        return join_ignoring_case(base, rest);
    }
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    if (path.startsWith(QLatin1Char('\\')) || cwd.isEmpty())
        return {}; // a rooted path without its drive, or no folder to start from
    return join_ignoring_case(cwd, QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')));
}
