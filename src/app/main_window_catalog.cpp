// The catalogue in the window: the instructions text, the category tree and
// the skins of the selected category, as the catalogue service answers.
#include "app/main_window.h"
#include "catalog/catalog_model.h"
#include "catalog/catalog_service.h"
#include "support/config.h"
#include "support/log.h"
#include "widgets/flow_layout.h"

#include <QLabel>
#include <QPushButton>

namespace {

const char *const INSTRUCTIONS_LABEL_STYLE = R"(
QLabel {
    font-size: 16px;
    color: #666;
    padding: 40px;
    line-height: 1.6;
}
)";

} // namespace

void MainWindow::_connect_catalog()
{
    connect(m_catalog, &CatalogService::endpoints_ready, this, &MainWindow::load_categories);
    connect(m_catalog, &CatalogService::instructions_ready, this, [this](const QString &text) {
        instructions_content = text;
        m_instructions_arrived = true;
        // Shown once the categories are there, or in place of an older text.
        if (m_instructions_label && !m_instructions_label->isHidden())
            m_instructions_label->setText(text);
        else if (m_categories_arrived && current_category_name.isEmpty())
            _show_instructions_content();
        _start_up_step_done();
    });
    connect(m_catalog, &CatalogService::categories_ready, this, [this](const catalog::Categories &derived) {
        main_categories = derived.main_categories;
        subcategories = derived.subcategories;
        m_categories_arrived = true;
        _update_category_ui();
        if (m_instructions_arrived)
            _show_instructions_content();
        _start_up_step_done();
    });
    connect(m_catalog, &CatalogService::categories_failed, this, [this](const QString &message) {
        // The tree shown so far stays as it was: nothing half-derived is kept.
        show_message(QStringLiteral("分类加载失败"), message, QStringLiteral("critical"));
        _start_up_step_done();
    });
    connect(m_catalog, &CatalogService::skins_ready, this, [this](int, const QJsonArray &records) {
        skins = records;
        current_page = 0;
        QString error;
        if (!show_current_page(&error)) {
            applog::error(QStringLiteral("加载皮肤列表失败: ") + error);
            show_message(QStringLiteral("错误"), QStringLiteral("加载皮肤列表失败: ") + error,
                         QStringLiteral("critical"));
        }
        emit skins_loaded();
    });
    connect(m_catalog, &CatalogService::skins_failed, this, [this](int, const QString &message) {
        show_message(QStringLiteral("错误"), message, QStringLiteral("critical"));
        emit skins_loaded();
    });
}

void MainWindow::_setup_api_urls()
{
    m_catalog->resolve_endpoints();
}

void MainWindow::_start_up_step_done()
{
    if (++m_start_up_answers == 2)
        emit catalog_loaded();
}

void MainWindow::_reset_pager()
{
    page_label->setText(QStringLiteral("第 1 页 / 共 1 页"));
    prev_btn->setEnabled(false);
    next_btn->setEnabled(false);
}

void MainWindow::_show_instructions_content()
{
    _clear_layout(flow_layout);
    auto *instructions_label = new QLabel(instructions_content);
    instructions_label->setAlignment(Qt::AlignCenter);
    instructions_label->setWordWrap(true);
    instructions_label->setStyleSheet(QString::fromUtf8(INSTRUCTIONS_LABEL_STYLE));
    flow_layout->addWidget(instructions_label);
    m_instructions_label = instructions_label;
    _reset_pager();
}

void MainWindow::load_categories()
{
    // Side by side: neither answer waits for the other.
    m_start_up_answers = 0;
    m_instructions_arrived = m_categories_arrived = false;
    m_catalog->load_instructions();
    m_catalog->load_categories();
}

void MainWindow::_load_skins()
{
    if (current_category_name.isEmpty())
        return;
    m_catalog->load_skins(current_category_name, current_subcategory_name);
}
