// The catalogue in the window: the instructions text, the category tree and
// the skins of the selected category, as the catalogue service answers.
#include "app/main_window.h"

#include "ui/browse/category_bar.h"
#include "ui/browse/skin_grid.h"
#include "core/catalog/catalog_service.h"
#include "core/covers/cover_store.h"
#include "core/download/download_manager.h"
#include "core/install/installed_scan.h"
#include "core/support/log.h"

void MainWindow::connect_catalog()
{
    connect(m_catalog, &CatalogService::endpoints_ready, this, [this] {
        // Every address the window's parts build names the server resolved
        // now, before the first catalogue answer can make a card.
        const ServerEndpoints &endpoints = m_catalog->endpoints();
        m_covers.set_endpoints(endpoints);
        m_downloads.set_endpoints(endpoints);
        m_downloads.installs().set_endpoints(endpoints);
        m_scanner->set_endpoints(endpoints);
        load_start_up_content();
    });
    connect(m_catalog, &CatalogService::instructions_ready, this, [this](const QString &text) {
        m_instructions_arrived = true;
        // Shown once the categories are there, or in place of an older text.
        if (!m_grid->replace_text(text) && m_categories_arrived && m_category_bar->main_category().isEmpty())
            m_grid->show_text(text);
        start_up_step_done();
    });
    connect(m_catalog, &CatalogService::categories_ready, this, [this](const catalog::Categories &derived) {
        m_categories_arrived = true;
        m_category_bar->set_categories(derived);
        m_grid->select(QString(), std::nullopt);
        if (m_instructions_arrived)
            m_grid->show_text(m_catalog->instructions());
        start_up_step_done();
    });
    connect(m_catalog, &CatalogService::categories_failed, this, [this](const QString &text) {
        // The tree shown so far stays as it was: nothing half-derived is kept.
        message(QStringLiteral("分类加载失败"), text, QStringLiteral("critical"));
        start_up_step_done();
    });
    connect(m_catalog, &CatalogService::skins_ready, this, [this](int, const QJsonArray &records) {
        // The selection and its records change together: until now the
        // pager went on paging the list on screen.
        m_grid->select(m_asked.main_category, m_asked.subcategory);
        m_grid->set_records(records);
        m_listed = true;
        QString error;
        if (!m_grid->show_page(0, &error)) {
            applog::error(QStringLiteral("加载皮肤列表失败: ") + error);
            message(QStringLiteral("错误"), QStringLiteral("加载皮肤列表失败: ") + error, QStringLiteral("critical"));
        }
        emit skins_loaded();
    });
    connect(m_catalog, &CatalogService::skins_failed, this, [this](int, const QString &text) {
        // The cards on screen stay, and so does the choice they belong to.
        if (m_listed)
            m_category_bar->check_subcategory(m_grid->subcategory());
        else
            m_category_bar->check_no_subcategory();
        message(QStringLiteral("错误"), text, QStringLiteral("critical"));
        emit skins_loaded();
    });
}

void MainWindow::start_up_step_done()
{
    if (++m_start_up_answers == 2)
        emit catalog_loaded();
}

void MainWindow::load_start_up_content()
{
    // Side by side: neither answer waits for the other.
    m_start_up_answers = 0;
    m_instructions_arrived = m_categories_arrived = false;
    m_catalog->load_instructions();
    m_catalog->load_categories();
}

void MainWindow::choose_main_category(const QString &name)
{
    // A skin list still on its way belongs to the earlier choice.
    m_catalog->drop_pending_skins();
    m_listed = false;
    m_grid->select(name, std::nullopt);
    m_grid->show_text(m_catalog->instructions());
}

void MainWindow::choose_subcategory(const QString &main_category, const std::optional<QString> &subcategory)
{
    // The grid takes the new selection with its records (or keeps the old
    // one when they cannot be had).
    m_asked = {main_category, subcategory};
    m_catalog->load_skins(main_category, subcategory);
}
