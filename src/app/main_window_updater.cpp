// The window's side of the self-update: it shows what the updater reports
// and performs the exits it asks for, on the GUI thread.
#include "app/main_window.h"

#include "update/updater.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>

void MainWindow::start_self_update()
{
    m_updater = new Updater(this);
    connect(m_updater, &Updater::progress, this, [this](const QString &message) {
        if (!dir_label)
            return;
        const QString text = QStringLiteral("📥 ") + message;
        dir_label->setText(text);
        emit update_progress_shown(text);
    });
    connect(m_updater, &Updater::fatal, this, &MainWindow::_force_close_program);
    connect(m_updater, &Updater::exit_requested, this, [] { _end_process(0); });
    connect(m_updater, &Updater::newer_version_found, this, [this](const QString &version) {
        QMessageBox::information(this, QStringLiteral("发现新版本"),
                                 QStringLiteral("发现新版本 ") + version + QStringLiteral("，正在自动更新..."));
    });

    // The mandatory update check, about a second after the window shows.
    QTimer::singleShot(1000, m_updater, &Updater::check);
}
