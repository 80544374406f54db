#include "app/main_window.h"

#include "app/download_list_dialog.h"
#include "core/download/download_manager.h"
#include "core/gamedir/game_dir_service.h"

#include <QCloseEvent>
#include <QMessageBox>

void MainWindow::show_download_queue()
{
    DownloadListDialog dialog(m_downloads, this);
    dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_downloads.has_active_tasks()) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            this, QStringLiteral("确认关闭"), QStringLiteral("有正在下载的任务，确定要关闭软件吗？"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    // Downloads stop, and remove their own temporary files, before the sweep:
    // a file the worker still holds open cannot be deleted on Windows.
    m_downloads.shutdown();
    m_game_dir->cleanup_temp_files();
    event->accept();
}
