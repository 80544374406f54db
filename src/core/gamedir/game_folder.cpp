#include "core/gamedir/game_folder.h"

#include "core/install/skin_files.h"
#include "core/support/config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace gamedir {

const QString GAME_PROCESS_NAME = QStringLiteral("DreadHunger-Win64-Shipping.exe");
const QString BASE_PACKAGE_NAME = QStringLiteral("DreadHunger-WindowsNoEditor.pak");
const QString PROBE_FILE_NAME = QStringLiteral("permission_test.tmp");

namespace {

QString with_slashes(QString path) { return path.replace(QLatin1Char('\\'), QLatin1Char('/')); }

// Creates `path` and its missing parents; empty text on success.
QString make_folders(const QString &path)
{
    std::error_code failure;
#ifdef Q_OS_WIN
    const std::filesystem::path native(path.toStdWString());
#else
    const std::filesystem::path native(QFile::encodeName(path).toStdString());
#endif
    std::filesystem::create_directories(native, failure);
    if (failure && !std::filesystem::is_directory(native))
        return QString::fromLocal8Bit(failure.message().c_str());
    return {};
}

// Writes and deletes the probe file in `folder`; empty text on success. The
// probe never stays behind once it was created.
QString probe_writable(const QString &folder)
{
    QFile probe(folder + QLatin1Char('/') + PROBE_FILE_NAME);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return probe.errorString();
    QString failure;
    if (probe.write("test") != 4)
        failure = probe.errorString();
    probe.close();
    if (failure.isEmpty() && probe.error() != QFileDevice::NoError)
        failure = probe.errorString();
    if (!probe.remove() && failure.isEmpty())
        failure = probe.errorString();
    return failure;
}

} // namespace

QString game_path(const QString &root, const QString &relative)
{
    QString base = with_slashes(root);
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString tail = with_slashes(relative);
    if (base.endsWith(QLatin1Char('/')))
        return base + tail;
    return base + QLatin1Char('/') + tail;
}

// One definition of where skins live, shared with the cards and downloads.
QString mod_folder(const QString &root) { return mod_folder_path(root); }

QString find_game_exe(const QList<ProcessInfo> &processes)
{
    for (const ProcessInfo &process : processes) {
        if (process.name.isEmpty() || process.exe_path.isEmpty())
            continue;
        if (process.name.contains(GAME_PROCESS_NAME, Qt::CaseSensitive))
            return process.exe_path;
    }
    return {};
}

QString game_root_from_exe(const QString &exe_path)
{
    QString path = with_slashes(exe_path);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    for (int level = 0; level < 4; ++level) {
        const int cut = path.lastIndexOf(QLatin1Char('/'));
        if (cut < 0)
            return {};
        // Keep the separator of a root ("/" or "D:/"); nothing lies above it.
        const bool at_top = cut == 0 || (cut == 2 && path.at(1) == QLatin1Char(':'));
        if (at_top && level < 3)
            return {};
        path = at_top ? path.left(cut + 1) : path.left(cut);
    }
    return path;
}

QString missing_base_package(const QString &root)
{
    const QString base_package = game_path(root, config::PAK_DIR + QLatin1Char('/') + BASE_PACKAGE_NAME);
    if (QFileInfo::exists(base_package))
        return {};
    return QStringLiteral("无效目录: 未找到必需文件 ") + QDir::toNativeSeparators(base_package);
}

QStringList validate_game_dir(const QString &root)
{
    QStringList problems;
    const QString missing = missing_base_package(root);
    if (!missing.isEmpty())
        problems << missing;

    const QString mods = mod_folder(root);
    QString failure = make_folders(mods);
    if (failure.isEmpty())
        failure = probe_writable(mods);
    if (!failure.isEmpty())
        problems << QStringLiteral("目录不可写: ") + failure;
    return problems;
}

} // namespace gamedir
