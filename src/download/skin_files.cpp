#include "download/skin_files.h"

#include "app/config.h"

#include <QDir>
#include <QRegularExpression>

QString skin_file_name(const QString &original)
{
    const int cut = qMax(original.lastIndexOf(QLatin1Char('/')),
                         original.lastIndexOf(QLatin1Char('\\')));
    return original.mid(cut + 1);
}

bool is_safe_file_name(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("<>:\"/\\|?*").contains(c))
            return false;
    }
    // Windows drops a trailing dot or blank, so the file would get another
    // name than the one asked for.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    // Device names stay devices whatever extension follows them, and
    // Windows ignores blanks between the name and the extension.
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9¹²³]|LPT[1-9¹²³])$"),
        QRegularExpression::CaseInsensitiveOption);
    QString stem = name.section(QLatin1Char('.'), 0, 0);
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    return !device.match(stem).hasMatch();
}

QString mod_folder_path(const QString &game_dir)
{
    QString sub = config::MOD_SUBDIR;
    sub.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString root = game_dir;
    root.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root + QLatin1Char('/') + sub;
}
