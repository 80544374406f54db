#include "app/main_window.h"

#include "card/skin_widget.h"
#include "download/download_manager.h"
#include "download/install_journal.h"
#include "download/skin_files.h"
#include "gamedir/game_folder.h"
#include "gamedir/temp_cleanup.h"
#include "platform/open_folder.h"
#include "platform/process_list.h"
#include "support/log.h"
#include "widgets/flow_layout.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>

#include <exception>

namespace {

const QString SETTINGS_KEY = QStringLiteral("game_dir");
const QString NOT_DETECTED_TEXT = QStringLiteral("✗ 未检测到Dread Hunger进程 (请先启动Dread Hunger)");

} // namespace

void MainWindow::_detect_by_process()
{
    _detect_from_processes(list_processes());
}

void MainWindow::_detect_from_processes(const ProcessListing &listing)
{
    try {
        if (!listing.ok) {
            dir_label->setText(QStringLiteral("✗ 进程检测失败: ") + listing.error);
            return;
        }
        const QString exe = gamedir::find_game_exe(listing.processes);
        const QString root = exe.isEmpty() ? QString() : gamedir::game_root_from_exe(exe);
        if (root.isEmpty()) {
            dir_label->setText(NOT_DETECTED_TEXT);
            return;
        }
        const QString shown_root = QDir::toNativeSeparators(root);
        const QStringList problems = _validate_game_dir(root);
        if (!problems.isEmpty()) {
            // The label names the folder only; the reasons go to the log.
            for (const QString &problem : problems)
                applog::warning(problem);
            dir_label->setText(QStringLiteral("✗ 检测到游戏但皮肤目录验证失败: ") + shown_root);
            return;
        }
        game_dir = root;
        dir_label->setText(QStringLiteral("✓ 检测成功: ") + shown_root);
        // The folder the skins will go to, for bug reports.
        applog::info(dir_label->text());
        _save_settings();
        _hand_game_dir_to_cards();
        _refresh_skins();
    } catch (const std::exception &failure) {
        dir_label->setText(QStringLiteral("✗ 进程检测失败: ") + QString::fromLocal8Bit(failure.what()));
    }
}

QStringList MainWindow::_validate_game_dir(const QString &path)
{
    return gamedir::validate_game_dir(path);
}

void MainWindow::_open_skin_dir()
{
    if (game_dir.isEmpty()) {
        show_message(QStringLiteral("提示"), QStringLiteral("请先检测游戏目录"), QStringLiteral("info"));
        return;
    }
    const QString folder = gamedir::mod_folder(game_dir);
    if (!QFileInfo(folder).isDir()) {
        show_message(QStringLiteral("提示"), QStringLiteral("皮肤目录不存在，请先下载皮肤"), QStringLiteral("info"));
        return;
    }
    const QString failure = open_folder(folder);
    if (!failure.isEmpty())
        show_message(QStringLiteral("打开失败"), QStringLiteral("无法打开皮肤目录：") + failure, QStringLiteral("critical"));
}

void MainWindow::_load_settings()
{
    game_dir = QDir::fromNativeSeparators(settings.value(SETTINGS_KEY, QString()).toString());
    if (!game_dir.isEmpty()) {
        dir_label->setText(QStringLiteral("✓ 皮肤目录已加载"));
        _hand_game_dir_to_cards();
        _refresh_skins();
    } else {
        dir_label->setText(QStringLiteral("请先启动Dread Hunger游戏后点击检测目录"));
    }
}

void MainWindow::_save_settings()
{
    settings.setValue(SETTINGS_KEY, game_dir);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        applog::error(QStringLiteral("保存设置失败: ") + QDir::toNativeSeparators(settings.fileName()));
}

void MainWindow::_hand_game_dir_to_cards()
{
    // An install there that the program's end cut short is undone before
    // any card reads what is installed. Not while a download runs: its own
    // moves may be under way (it recovers the folder itself before them).
    if (!game_dir.isEmpty() && !DownloadManager::instance()->has_active_tasks())
        install_journal::recover(mod_folder_path(game_dir));
    // The cards on screen install into, and read their state from, the
    // folder now in use; page and category stay as they are.
    for (int i = 0; i < flow_layout->count(); ++i) {
        if (auto *card = qobject_cast<SkinWidget *>(flow_layout->itemAt(i)->widget()))
            card->set_game_dir(game_dir);
    }
}

void MainWindow::_cleanup_temp_files()
{
    gamedir::cleanup_temp_files(game_dir);
}
