#include "gamedir/temp_cleanup.h"

#include "app/log.h"
#include "download/file_ops.h"
#include "gamedir/game_folder.h"

#include <QDir>
#include <QFileInfo>

namespace gamedir {

namespace {

void sweep_file(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    const QString shown = QDir::toNativeSeparators(path);
    bool leftover = name.endsWith(QLatin1String(".tmp"));
    if (!leftover) {
        // The size is read only when the name does not already decide.
        const QFileInfo info(path);
        if (!info.exists()) {
            applog::error(QStringLiteral("清理错误: ") + shown + QStringLiteral(" - No such file or directory"));
            return;
        }
        leftover = is_leftover(name, info.size());
    }
    if (!leftover)
        return;
    if (safe_remove(path))
        applog::info(QStringLiteral("已清理无效文件: ") + shown);
    else
        applog::warning(QStringLiteral("清理失败: ") + shown);
}

// Top-down: the files of a folder first, then its sub-folders. Links to
// folders are not followed, so the sweep stays inside the mod folder.
void sweep_folder(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.isReadable())
        return;
    const QDir::Filters hidden_too = QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString &name : dir.entryList(QDir::Files | hidden_too, QDir::Name))
        sweep_file(folder, name);
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoSymLinks | hidden_too, QDir::Name))
        sweep_folder(folder + QLatin1Char('/') + name);
}

} // namespace

bool is_leftover(const QString &name, qint64 size)
{
    return name.endsWith(QLatin1String(".tmp")) || size == 0;
}

void cleanup_temp_files(const QString &game_dir)
{
    applog::info(QStringLiteral("执行定期临时文件清理"));
    if (game_dir.isEmpty())
        return;
    const QString mods = mod_folder(game_dir);
    if (!QFileInfo(mods).isDir())
        return;
    sweep_folder(mods);
}

} // namespace gamedir
