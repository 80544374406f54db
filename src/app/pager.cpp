#include "app/main_window.h"
#include "covers/cover_cache.h"
#include "card/skin_widget.h"
#include "catalog/catalog_model.h"
#include "support/log.h"
#include "widgets/flow_layout.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QList>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

const char *const PAGER_BUTTON_STYLE = R"(
QPushButton {
    background-color: #3B82F6;
    color: #FFFFFF;
    border: 1px solid #2563EB;
    border-radius: 4px;
    font-size: 11px;
    font-family: "Microsoft YaHei";
    padding: 4px 8px;
}
QPushButton:hover {
    background-color: #2563EB;
    border-color: #1D4ED8;
}
QPushButton:pressed {
    background-color: #1D4ED8;
    border-color: #1E40AF;
}
QPushButton:disabled {
    background-color: #93C5FD;
    color: #FFFFFF;
    border-color: #60A5FA;
}
)";

const char *const EMPTY_LABEL_STYLE = R"(
QLabel {
    font-size: 16px;
    color: #666;
    padding: 40px;
}
)";

const char *const PAGE_LABEL_STYLE = R"(
QLabel {
    font-size: 11px;
    font-family: "Microsoft YaHei";
    color: #374151;
    padding: 4px 8px;
}
)";

} // namespace

QWidget *MainWindow::_create_pagination_widget()
{
    pagination_widget = new QWidget;
    auto *layout = new QHBoxLayout(pagination_widget);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(8);

    prev_btn = new QPushButton(QStringLiteral("上一页"));
    prev_btn->setFixedSize(70, 28);
    connect(prev_btn, &QPushButton::clicked, this, &MainWindow::_prev_page);

    next_btn = new QPushButton(QStringLiteral("下一页"));
    next_btn->setFixedSize(70, 28);
    connect(next_btn, &QPushButton::clicked, this, &MainWindow::_next_page);

    page_label = new QLabel(QStringLiteral("第 1 页 / 共 1 页"));

    refresh_btn = new QPushButton(QStringLiteral("刷新页面"));
    refresh_btn->setFixedSize(70, 28);
    connect(refresh_btn, &QPushButton::clicked, this, &MainWindow::_refresh_skins);

    const QString button_style = QString::fromUtf8(PAGER_BUTTON_STYLE);
    prev_btn->setStyleSheet(button_style);
    next_btn->setStyleSheet(button_style);
    refresh_btn->setStyleSheet(button_style);
    page_label->setStyleSheet(QString::fromUtf8(PAGE_LABEL_STYLE));

    layout->addStretch(1);
    layout->addWidget(prev_btn);
    layout->addWidget(page_label);
    layout->addWidget(next_btn);
    layout->addSpacing(25);
    layout->addWidget(refresh_btn);
    layout->addStretch(1);
    return pagination_widget;
}

namespace {

// The records of the selection that a page can show.
struct PageRecords {
    std::vector<int> complete;  // indices into skins, in display order; the page count rests on these alone
    bool any_selected = false;  // the filter kept something, complete or not
};

// One walk over `skins`: the category filter, then the completeness test.
// `log_skipped` reports each incomplete record once per page build.
std::optional<PageRecords> page_records(const QJsonArray &skins, const QString &category_name,
                                        const std::optional<QString> &subcategory_name, bool log_skipped,
                                        QString *error)
{
    const catalog::CategoryFilter filter(category_name, subcategory_name);
    PageRecords out;
    QStringList skipped;
    for (int i = 0; i < skins.size(); ++i) {
        const QJsonValue element = skins.at(i);
        if (!element.isObject()) {
            if (error)
                *error = QStringLiteral("第 %1 项皮肤数据不是对象").arg(i + 1);
            return std::nullopt;
        }
        const QJsonObject record = element.toObject();
        if (!filter.keeps(record))
            continue;
        out.any_selected = true;
        if (catalog::is_complete(record))
            out.complete.push_back(i);
        else if (log_skipped)
            skipped.append(catalog::skin_id_text(record));
    }
    for (const QString &skin_id : skipped)
        applog::warning(QStringLiteral("跳过不完整的皮肤数据: ") + skin_id);
    return out;
}

} // namespace

void MainWindow::_show_empty_state()
{
    auto *empty_label = new QLabel(QStringLiteral("当前分类下没有皮肤"));
    empty_label->setAlignment(Qt::AlignCenter);
    empty_label->setStyleSheet(QString::fromUtf8(EMPTY_LABEL_STYLE));
    flow_layout->addWidget(empty_label);
    _reset_pager();
}

bool MainWindow::show_current_page(QString *error)
{
    _clear_layout(flow_layout);

    const std::optional<PageRecords> records =
        page_records(skins, current_category_name, current_subcategory_name, true, error);
    if (!records)
        return false;
    if (!records->any_selected) {
        _show_empty_state();
        return true;
    }

    const int start_idx = current_page * items_per_page;
    const std::vector<int> &valid_skins = records->complete;
    const int end_idx = std::min(start_idx + items_per_page, static_cast<int>(valid_skins.size()));
    // The page's cached covers are decoded together up front; each card then
    // finds its cover ready instead of decoding it in turn.
    QList<QJsonObject> page;
    for (int i = std::max(start_idx, 0); i < end_idx; ++i)
        page.append(skins.at(valid_skins[static_cast<size_t>(i)]).toObject());
    prefetch_covers(page, cover_pixel_size(flow_container->devicePixelRatioF()));

    int valid_skins_count = 0;
    for (const QJsonObject &record : qAsConst(page)) {
        QString invalid_record_error;
        SkinWidget *skin_widget = SkinWidget::create(record, game_dir, &invalid_record_error);
        if (!skin_widget) {
            applog::warning(QStringLiteral("创建皮肤组件失败: ") + invalid_record_error);
            continue;
        }
        connect(skin_widget, &SkinWidget::show_message_signal, this, &MainWindow::show_message);
        skin_widget->set_viewer_icon_path(get_icon_path());
        flow_layout->addWidget(skin_widget);
        skin_widget->_check_installation_status();
        ++valid_skins_count;
    }
    if (valid_skins_count == 0) {
        _show_empty_state();
        return true;
    }

    const int total_pages = catalog::page_count(static_cast<int>(valid_skins.size()), items_per_page);
    page_label->setText(QStringLiteral("第 %1 页 / 共 %2 页").arg(current_page + 1).arg(total_pages));
    prev_btn->setEnabled(current_page > 0);
    next_btn->setEnabled(current_page < total_pages - 1);
    return true;
}

void MainWindow::_prev_page()
{
    if (current_page <= 0)
        return;
    const int previous = current_page;
    --current_page;
    QString error;
    if (!show_current_page(&error))
        _report_page_failure(previous, error);
}

void MainWindow::_next_page()
{
    QString error;
    const std::optional<PageRecords> records =
        page_records(skins, current_category_name, current_subcategory_name, false, &error);
    if (!records) {
        _report_page_failure(current_page, error);
        return;
    }
    const int total_pages = catalog::page_count(static_cast<int>(records->complete.size()), items_per_page);
    if (current_page >= total_pages - 1)
        return;
    const int previous = current_page;
    ++current_page;
    if (!show_current_page(&error))
        _report_page_failure(previous, error);
}

// A page that cannot be built from the page buttons must not take the window
// with it: the page number goes back to the one the pager still shows, the
// user is told, and choosing a category again starts afresh.
void MainWindow::_report_page_failure(int previous_page, const QString &error)
{
    current_page = previous_page;
    applog::error(QStringLiteral("显示皮肤页面失败: ") + error);
    show_message(QStringLiteral("错误"), QStringLiteral("显示皮肤页面失败: ") + error, QStringLiteral("critical"));
}
