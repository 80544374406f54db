#include "app/main_window.h"

#include "app/download_list_dialog.h"
#include "download/download_manager.h"

#include <QCloseEvent>
#include <QMessageBox>

void MainWindow::_show_download_queue()
{
    DownloadListDialog dialog(*DownloadManager::instance(), this);
    dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (DownloadManager::instance()->has_active_tasks()) {
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
    DownloadManager::instance()->shutdown();
    _cleanup_temp_files();
    event->accept();
}
