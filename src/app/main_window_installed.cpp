// The installed view in the window: its button beside the search field,
// the installed skins in the grid, and the checks of their files.
#include "app/main_window.h"

#include "core/catalog/catalog_service.h"
#include "core/download/download_manager.h"
#include "core/install/install_check.h"
#include "core/install/install_states.h"
#include "core/install/installed_scan.h"
#include "core/install/skin_files.h"
#include "core/gamedir/game_dir_service.h"
#include "core/support/log.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/installed_button.h"
#include "ui/browse/search_field.h"
#include "ui/browse/skin_grid.h"

#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

namespace {

const QString EMPTY_TEXT = QStringLiteral("没有已安装的皮肤");

} // namespace

void MainWindow::connect_installed()
{
    m_installed = new InstalledButton;
    m_category_bar->add_to_title_row(m_installed);
    connect(m_installed, &QPushButton::clicked, this, &MainWindow::show_installed);

    m_update_all = new QPushButton;
    apply_title_row_look(m_update_all);
    m_update_all->hide();
    m_category_bar->add_to_title_row(m_update_all);
    connect(m_update_all, &QPushButton::clicked, this, &MainWindow::update_all);
    m_verify = new QPushButton(QStringLiteral("校验文件"));
    apply_title_row_look(m_verify);
    m_verify->hide();
    m_category_bar->add_to_title_row(m_verify);
    connect(m_verify, &QPushButton::clicked, this, &MainWindow::verify_installed);
    connect(m_grid, &SkinGrid::contents_changed, this, &MainWindow::grid_contents_changed);
    connect(&m_downloads.installs(), &InstallStore::updatable_count_changed, this,
            &MainWindow::show_installed_tools);

    m_scanner = new InstalledScanner(this);
    connect(m_scanner, &InstalledScanner::scanned, this, &MainWindow::take_installed_scan);

    m_verifier = new InstallVerifier(this);
    connect(m_verifier, &InstallVerifier::progress, this, [this](int percent) {
        m_dir_label->setText(QStringLiteral("校验文件 %1%").arg(percent));
    });
    connect(m_verifier, &InstallVerifier::checked, this, [this](const InstallRecord &record, SkinDamage damage) {
        m_downloads.installs().take_damage(record, damage);
    });
    connect(m_verifier, &InstallVerifier::hashes_found, this,
            [this](const InstallRecord &record, const QList<QByteArray> &hashes) {
                m_downloads.installs().take_hashes(record, hashes);
            });
    connect(m_verifier, &InstallVerifier::finished, this, [this] {
        // What the check found stays in the folder row until its next status.
        const QString game_dir = m_game_dir->game_dir();
        const InstallStore &store = m_downloads.installs();
        int damaged = 0;
        if (!game_dir.isEmpty()) {
            for (const InstallRecord &record : store.records_in(mod_folder_path(game_dir)))
                damaged += store.damage(record.skin_id) != SkinDamage::None ? 1 : 0;
        }
        m_dir_label->setText(damaged == 0 ? QStringLiteral("校验完成，全部完好")
                                          : QStringLiteral("校验完成，%1 个皮肤文件损坏").arg(damaged));
        m_verify->setEnabled(true);
    });

    connect(m_catalog, &CatalogService::catalogue_changed, this, [this](const QJsonArray &records) {
        m_installed->set_catalogue(records);
        rescan_installed();
    });
    connect(m_game_dir, &GameDirService::game_dir_changed, this, &MainWindow::rescan_installed);
    connect(&m_downloads, &DownloadManager::task_completed, this, &MainWindow::rescan_installed);
    connect(m_grid, &SkinGrid::skin_uninstalled, this, &MainWindow::rescan_installed);
    // The stored folder is read after the frame is built.
    QMetaObject::invokeMethod(this, &MainWindow::rescan_installed, Qt::QueuedConnection);
}

void MainWindow::rescan_installed()
{
    // The store's records go along whole (shared, not copied); the folder's
    // are picked on the scan's thread.
    m_scanner->request(m_game_dir->game_dir(), m_installed->index(), m_downloads.installs().records());
}

void MainWindow::take_installed_scan(const InstalledScan &scan)
{
    // An older look at the folder: a newer one is on its way.
    if (scan.generation != m_scanner->latest())
        return;
    m_installed->show_scan(scan);
    m_states.take_listing(scan.game_dir, scan.files);
    if (!scan.mod_folder.isEmpty())
        m_downloads.installs().reconcile(scan.mod_folder, scan.installed.records, scan.files, scan.adoptable);
    if (m_check_installed) {
        m_check_installed = false;
        // What was installed against what lies there now, by size and time.
        if (!scan.mod_folder.isEmpty())
            take_quick_check(m_downloads.installs(), scan.quick);
    }
    if (m_open_installed) {
        m_open_installed = false;
        if (!scan.mod_folder.isEmpty())
            open_installed_view(scan.view_records);
        return;
    }
    if (m_view != View::Installed || m_installed->view_records() == m_installed_shown)
        return;
    // The cards that went are gone from the view; the page stays where it
    // was, or the last one when fewer are left.
    const int page = m_grid->current_page();
    m_installed_shown = m_installed->view_records();
    m_grid->show_list(m_installed_shown, EMPTY_TEXT);
    const int last_page = (m_installed_shown.size() - 1) / SkinGrid::ITEMS_PER_PAGE;
    if (page > 0 && last_page > 0)
        m_grid->show_page(qMin(page, last_page));
}

void MainWindow::show_installed()
{
    if (m_game_dir->game_dir().isEmpty()) {
        // As an install without a folder says it.
        message(QStringLiteral("游戏目录未设置"), QStringLiteral("请先检测游戏目录才能安装皮肤"),
                QStringLiteral("warning"));
        return;
    }
    // The view replaces any results: the field empties, and Esc there no
    // longer stands for leaving them.
    m_search_field->clear_quietly();
    // Files may have come or gone outside the program since the last scan:
    // a fresh one is asked for, and the view follows what it finds. Until it
    // is back, the view opens from the last one of this folder, so that the
    // click answers at once however many skins lie there.
    m_check_installed = true;
    if (m_installed->scanned_game_dir() == m_game_dir->game_dir())
        open_installed_view(m_installed->view_records());
    else
        m_open_installed = true;
    rescan_installed();
}

void MainWindow::open_installed_view(const QJsonArray &records)
{
    m_installed_shown = records;
    m_view = View::Installed;
    m_grid->show_list(m_installed_shown, EMPTY_TEXT);
}

void MainWindow::grid_contents_changed()
{
    if (!m_grid->showing_list())
        m_view = View::Category;
    show_installed_tools();
}

void MainWindow::show_installed_tools()
{
    const bool shown = m_view == View::Installed;
    const int updatable = m_downloads.installs().updatable_skins().size();
    m_update_all->setText(QStringLiteral("全部更新 (%1)").arg(updatable));
    m_update_all->setVisible(shown && updatable > 0);
    m_verify->setVisible(shown);
}

void MainWindow::update_all()
{
    const QString game_dir = m_game_dir->game_dir();
    if (game_dir.isEmpty())
        return;
    const QStringList wanted = m_downloads.installs().updatable_skins();
    for (const QJsonValue &value : m_installed->installed().records) {
        const QJsonObject record = value.toObject();
        const QString skin_id = record.value(QStringLiteral("name")).toString();
        if (wanted.contains(skin_id))
            m_downloads.add_task({skin_id, record, game_dir});
    }
}

void MainWindow::verify_installed()
{
    const QString game_dir = m_game_dir->game_dir();
    if (game_dir.isEmpty() || !m_verifier->start(m_downloads.installs().records_in(mod_folder_path(game_dir))))
        return;
    m_verify->setEnabled(false);
    m_dir_label->setText(QStringLiteral("校验文件 0%"));
}
