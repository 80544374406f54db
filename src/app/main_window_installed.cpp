// The installed view in the window: its button beside the search field and
// the installed skins in the grid.
#include "app/main_window.h"

#include "core/catalog/catalog_service.h"
#include "core/download/download_manager.h"
#include "core/gamedir/game_dir_service.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/installed_button.h"
#include "ui/browse/search_field.h"
#include "ui/browse/skin_grid.h"

#include <QMetaObject>

namespace {

const QString EMPTY_TEXT = QStringLiteral("没有已安装的皮肤");

} // namespace

void MainWindow::connect_installed()
{
    m_installed = new InstalledButton;
    m_category_bar->add_to_title_row(m_installed);
    connect(m_installed, &QPushButton::clicked, this, &MainWindow::show_installed);

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
    m_installed->scan(m_game_dir->game_dir());
    const QJsonArray *shown = m_grid->shown_list();
    if (!shown || *shown != m_installed_shown || m_installed->view_records() == m_installed_shown)
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
    // Files may have come or gone outside the program since the last scan.
    m_installed->scan(m_game_dir->game_dir());
    m_installed_shown = m_installed->view_records();
    m_grid->show_list(m_installed_shown, EMPTY_TEXT);
}
