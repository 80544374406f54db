#include "core/install/skin_files.h"

#include "core/support/config.h"

#include <QDir>
#include <QFile>
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

QString paired_skin_file_name(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return QString();
    const QString extension = name.mid(dot + 1);
    QString partner;
    if (extension.compare(QLatin1String("pak"), Qt::CaseInsensitive) == 0)
        partner = QStringLiteral("sig");
    else if (extension.compare(QLatin1String("sig"), Qt::CaseInsensitive) == 0)
        partner = QStringLiteral("pak");
    else
        return QString();
    for (int i = 0; i < 3; ++i) {
        if (extension.at(i).isUpper())
            partner[i] = partner.at(i).toUpper();
    }
    return name.left(dot + 1) + partner;
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

bool file_stamp_of(const QString &path, platform::FileStamp *stamp)
{
#ifdef Q_OS_WIN
    return platform::file_stamp(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), stamp);
#else
    return platform::file_stamp(QFile::encodeName(path).constData(), stamp);
#endif
}

namespace {

bool walk_folder(const QString &folder,
                 const std::function<bool(const QString &, const QFileInfo &)> &visit)
{
    const QDir dir(folder);
    if (!dir.isReadable())
        return true;
    const QDir::Filters hidden_too = QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files | hidden_too, QDir::Name)) {
        if (!visit(folder, file))
            return false;
    }
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoSymLinks | hidden_too, QDir::Name)) {
        if (!walk_folder(folder + QLatin1Char('/') + name, visit))
            return false;
    }
    return true;
}

} // namespace

void walk_files_top_down(const QString &folder,
                         const std::function<bool(const QString &folder, const QString &name)> &visit)
{
    walk_folder(folder, [&visit](const QString &in, const QFileInfo &file) { return visit(in, file.fileName()); });
}

void walk_file_infos_top_down(const QString &folder,
                              const std::function<bool(const QString &folder, const QFileInfo &file)> &visit)
{
    walk_folder(folder, visit);
}
