// Loading the catalogue: the instructions text, the category tree and the
// skins of the selected category.
#include "app/config.h"
#include "app/log.h"
#include "app/main_window.h"
#include "catalog/catalog_model.h"
#include "net/http_client.h"
#include "widgets/flow_layout.h"

#include <QLabel>
#include <QPushButton>

#include <utility>

namespace {

const int REQUEST_TIMEOUT_S = 10;

const char *const INSTRUCTIONS_LABEL_STYLE = R"(
QLabel {
    font-size: 16px;
    color: #666;
    padding: 40px;
    line-height: 1.6;
}
)";

QString default_instructions()
{
    return QStringLiteral("欢迎使用Furlane！\n\n请选择主分类和子分类来浏览皮肤。");
}

} // namespace

void MainWindow::_load_instructions()
{
    const HttpResult result = HttpClient::instance().get(config::Instructions_API(), REQUEST_TIMEOUT_S);
    if (!result.ok) {
        instructions_content = default_instructions();
        applog::error(QStringLiteral("加载Instructions_API失败: ") + result.error_text());
        return;
    }
    if (result.status == 200) {
        instructions_content = catalog::decode_text_body(result.body, result.content_type);
        applog::info(QStringLiteral("Instructions_API内容加载成功"));
    } else {
        instructions_content = default_instructions();
        applog::warning(QStringLiteral("Instructions_API加载失败，使用默认内容"));
    }
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
    _reset_pager();
}

void MainWindow::load_categories()
{
    _load_instructions();

    const HttpResult result = HttpClient::instance().get(config::BASE_API(), REQUEST_TIMEOUT_S);
    QString error;
    if (result.ok && result.status != 200) {
        show_message(QStringLiteral("分类加载失败"), QStringLiteral("无法加载皮肤分类，请检查网络连接"),
                     QStringLiteral("critical"));
        return;
    }
    std::optional<catalog::Categories> derived;
    if (!result.ok)
        error = result.error_text();
    else
        derived = catalog::categories_from_body(result.body, &error);
    if (!derived) {
        // The tree shown so far stays as it was: nothing half-derived is kept.
        applog::error(QStringLiteral("加载分类失败: ") + error);
        show_message(QStringLiteral("分类加载失败"), QStringLiteral("加载皮肤分类失败，请检查网络连接"),
                     QStringLiteral("critical"));
        return;
    }

    main_categories = std::move(derived->main_categories);
    subcategories = std::move(derived->subcategories);
    _update_category_ui();
    _show_instructions_content();
}

void MainWindow::_load_skins()
{
    if (current_category_name.isEmpty())
        return;

    const HttpResult result = HttpClient::instance().get(config::BASE_API(), REQUEST_TIMEOUT_S);
    if (result.ok && result.status != 200) {
        show_message(QStringLiteral("错误"), QStringLiteral("加载皮肤列表失败，请检查网络连接"),
                     QStringLiteral("critical"));
        return;
    }
    QString error;
    std::optional<QJsonArray> ordered;
    if (!result.ok)
        error = result.error_text();
    else
        ordered = catalog::selection_from_body(result.body, current_category_name, current_subcategory_name, &error);
    if (ordered) {
        skins = std::move(*ordered);
        current_page = 0;
        if (show_current_page(&error))
            return;
    }
    applog::error(QStringLiteral("加载皮肤列表失败: ") + error);
    show_message(QStringLiteral("错误"), QStringLiteral("加载皮肤列表失败: ") + error, QStringLiteral("critical"));
}
