#include "core/support/folder_identity.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString windows_key(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Collapses doubled separators and "." / ".." steps the way Windows does.
    path = QDir::cleanPath(path);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))
           && !(path.size() == 3 && path.at(1) == QLatin1Char(':')))
        path.chop(1);
    return path.toCaseFolded();
}

QString posix_key(const QString &path)
{
    const QFileInfo info(path);
    const QString resolved = info.canonicalFilePath();
    if (!resolved.isEmpty())
        return resolved;
    QString cleaned = QDir::cleanPath(info.absoluteFilePath());
    return cleaned;
}

} // namespace

QString folder_identity(const QString &path, FolderRules rules)
{
    if (path.trimmed().isEmpty())
        return QString();
    if (rules == FolderRules::Native) {
#ifdef Q_OS_WIN
        rules = FolderRules::Windows;
#else
        rules = FolderRules::Posix;
#endif
    }
    return rules == FolderRules::Windows ? windows_key(path) : posix_key(path);
}

bool same_folder(const QString &a, const QString &b, FolderRules rules)
{
    const QString key_a = folder_identity(a, rules);
    return !key_a.isEmpty() && key_a == folder_identity(b, rules);
}
