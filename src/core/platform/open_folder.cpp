#include "core/platform/open_folder.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

QString open_folder(const QString &path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return {};
    // The desktop services give no reason; name what could not be opened.
    return QStringLiteral("no application could open ") + QDir::toNativeSeparators(path);
}
