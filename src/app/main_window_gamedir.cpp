#include "app/main_window.h"

#include "app/message_dialogs.h"
#include "ui/browse/skin_grid.h"
#include "core/gamedir/game_dir_service.h"
#include "core/gamedir/game_folder.h"
#include "core/platform/open_folder.h"
#include "core/platform/process_list.h"

#include <QFileInfo>
#include <QLabel>

void MainWindow::load_game_dir()
{
    show_game_dir(m_game_dir->load(), true);
    connect(m_game_dir, &GameDirService::steam_searched, this, [this](const QString &status, bool adopted) {
        if (!status.isEmpty())
            show_game_dir(status, adopted);
    });
    m_game_dir->search_steam(GameDirService::SteamSearchCause::start);
}

void MainWindow::detect_by_process()
{
    const GameDirService::Detection found = m_game_dir->detect(list_processes());
    if (found.no_game)
        m_game_dir->search_steam(GameDirService::SteamSearchCause::click);
    else
        show_game_dir(found.status, found.adopted);
}

void MainWindow::show_game_dir(const QString &status, bool changed)
{
    m_dir_status = status;
    m_dir_label->setText(status);
    if (!changed || m_game_dir->game_dir().isEmpty())
        return;
    // The cards on screen install into the folder now in use; their covers
    // come afresh.
    m_grid->set_game_dir(m_game_dir->game_dir());
    m_grid->refresh_covers();
}

void MainWindow::open_skin_dir()
{
    const QString game_dir = m_game_dir->game_dir();
    if (game_dir.isEmpty()) {
        message(QStringLiteral("提示"), QStringLiteral("请先检测游戏目录"), QStringLiteral("info"));
        return;
    }
    const QString folder = gamedir::mod_folder(game_dir);
    if (!QFileInfo(folder).isDir()) {
        message(QStringLiteral("提示"), QStringLiteral("皮肤目录不存在，请先下载皮肤"), QStringLiteral("info"));
        return;
    }
    const QString failure = open_folder(folder);
    if (!failure.isEmpty())
        message(QStringLiteral("打开失败"), QStringLiteral("无法打开皮肤目录：") + failure, QStringLiteral("critical"));
}
