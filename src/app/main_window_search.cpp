// Search by name in the window: the field beside the main categories and its
// results in the grid.
#include "app/main_window.h"

#include "core/catalog/catalog_service.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/search_field.h"
#include "ui/browse/skin_grid.h"

void MainWindow::connect_search()
{
    m_search_field = new SearchField;
    m_category_bar->add_to_title_row(m_search_field);

    // Every answer carries the whole catalogue: searching needs no request.
    // It is indexed when the player goes to the field (or, already there,
    // types), not in the answer's page build.
    connect(m_catalog, &CatalogService::catalogue_changed, this,
            [this](const QJsonArray &records) { m_search_index.set_catalogue(records); });
    connect(m_search_field, &SearchField::entered, this, [this] { m_search_index.refresh(); });
    connect(m_search_field, &QLineEdit::textEdited, this, [this] { m_search_index.refresh(); });

    connect(m_search_field, &SearchField::search_requested, this, [this](const QString &query) {
        m_view = View::Search;
        m_grid->show_list(m_search_index.find(query), QStringLiteral("没有找到匹配的皮肤"));
    });
    connect(m_search_field, &SearchField::search_left, m_grid, &SkinGrid::leave_list);

    // A category chosen while results show takes the grid (the choice itself
    // leaves the results), so the field only empties, with no leave of its
    // own that would bring back the category shown before the search.
    connect(m_category_bar, &CategoryBar::main_category_chosen, m_search_field, &SearchField::clear_quietly);
    connect(m_category_bar, &CategoryBar::subcategory_chosen, m_search_field, &SearchField::clear_quietly);
    // A list that arrives is on screen now, whatever was typed since its click.
    connect(m_catalog, &CatalogService::skins_ready, m_search_field, &SearchField::clear_quietly);
    // The subcategory clicked from the results could not be loaded: the
    // field is empty by now, so the results would stand without their query.
    // Back to what showed before the search, the choice the bar goes back to.
    connect(m_catalog, &CatalogService::skins_failed, this, [this] {
        if (m_search_field->text().isEmpty())
            m_grid->leave_list();
    });
}
