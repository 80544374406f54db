// The window's side of the self-update: it shows what the updater reports
// and performs the exits it asks for, on the GUI thread.
#include "app/main_window.h"

#include "app/message_dialogs.h"
#include "core/update/updater.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>

void MainWindow::start_self_update(HttpClient &http)
{
    m_updater = new Updater(http, this);
    connect(m_updater, &Updater::progress, this, [this](const QString &message) {
        const QString text = QStringLiteral("📥 ") + message;
        m_dir_label->setText(text);
        emit update_progress_shown(text);
    });
    connect(m_updater, &Updater::fatal, this, [this](const QString &text) { force_close_program(this, m_downloads, text); });
    connect(m_updater, &Updater::exit_requested, this, [this] { end_process(m_downloads, 0); });
    connect(m_updater, &Updater::newer_version_found, this, [this](const QString &version) {
        QMessageBox::information(this, QStringLiteral("发现新版本"),
                                 QStringLiteral("发现新版本 ") + version + QStringLiteral("，正在自动更新..."));
    });

    // This build cannot replace itself: the player is told which version to
    // fetch, and the old one does not go on.
    connect(m_updater, &Updater::manual_update_needed, this, [this](const QString &version) {
        QMessageBox::information(this, QStringLiteral("发现新版本"),
                                 QStringLiteral("发现新版本 ") + version
                                     + QStringLiteral("。此版本无法自动更新，请手动下载并安装新版本。"));
        end_process(m_downloads, 0);
    });

    // The mandatory update check, a second after the start-up's catalogue
    // answers have been handled and any box they opened is closed: its
    // fatal box never comes over theirs, nor ends the program under them.
    auto *once = new QObject(this);
    connect(this, &MainWindow::catalog_loaded, once, [this, once] {
        delete once;
        QTimer::singleShot(1000, m_updater, &Updater::check);
    });
}
