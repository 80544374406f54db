#include "core/gamedir/temp_cleanup.h"

#include "core/install/file_ops.h"
#include "core/install/install_journal.h"
#include "core/install/skin_files.h"
#include "core/gamedir/game_folder.h"
#include "core/support/log.h"

#include <QDir>
#include <QFileInfo>

namespace gamedir {

namespace {

void sweep_file(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    const QString shown = QDir::toNativeSeparators(path);
    // Recovery alone decides whether an older copy goes back or goes: one
    // still here is one it could not settle, maybe the only copy left.
    if (!install_journal::backed_up_path(path).isEmpty()) {
        applog::warning(QStringLiteral("保留原文件备份: ") + shown);
        return;
    }
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

} // namespace

bool is_leftover(const QString &name, qint64 size)
{
    return name.endsWith(QLatin1String(".tmp")) || size == 0;
}

void cleanup_temp_files(const QString &game_dir, const install_journal::ApplyRecord &apply)
{
    applog::info(QStringLiteral("执行定期临时文件清理"));
    if (game_dir.isEmpty())
        return;
    const QString mods = mod_folder(game_dir);
    if (!QFileInfo(mods).isDir())
        return;
    // An install cut short is undone (or one committed finished) first;
    // what cannot be settled keeps its backups for the next try.
    {
        const install_journal::Hold hold(false);
        if (hold.held())
            install_journal::recover(mods, nullptr, apply);
    }
    walk_files_top_down(mods, [](const QString &folder, const QString &name) {
        sweep_file(folder, name);
        return true;
    });
}

} // namespace gamedir
