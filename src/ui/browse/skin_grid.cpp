#include "ui/browse/skin_grid.h"

#include "ui/card/skin_widget.h"
#include "core/catalog/catalog_model.h"
#include "core/covers/cover_cache.h"
#include "core/covers/cover_store.h"
#include "core/support/log.h"
#include "ui/widgets/flow_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

// Tells the listeners once the card area has changed, on every way out.
struct Announce {
    SkinGrid *grid;
    ~Announce() { emit grid->contents_changed(); }
};

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

const char *const INSTRUCTIONS_LABEL_STYLE = R"(
QLabel {
    font-size: 16px;
    color: #666;
    padding: 40px;
    line-height: 1.6;
}
)";

const char *const FLOW_CONTAINER_STYLE = R"(
QWidget {
    background-color: #FFFFFF;
    border-radius: 4px;
    border: 1px solid #E5E7EB;
}
)";

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

// A list shown as it is: every object, in its order.
PageRecords list_records(const QJsonArray &list)
{
    PageRecords out;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).isObject())
            out.complete.push_back(i);
    }
    out.any_selected = !out.complete.empty();
    return out;
}

} // namespace

SkinGrid::SkinGrid(DownloadManager &downloads, const InstallStates &states, CoverStore &covers, QWidget *parent)
    : QWidget(parent), m_downloads(downloads), m_states(states), m_covers(covers)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    m_card_area = new QWidget;
    m_card_area->setObjectName(QStringLiteral("card_area"));
    m_card_area->setStyleSheet(QString::fromUtf8(FLOW_CONTAINER_STYLE));
    m_cards = new FlowLayout;
    m_cards->setMaxColumns(3);
    m_cards->setContentsMargins(9, 0, 9, 0);
    m_cards->setVerticalSpacing(8);
    m_card_area->setLayout(m_cards);
    // Two whole rows of cards, always: a window lower than that scrolls
    // them rather than cut them.
    m_card_area->setMinimumHeight(m_cards->contentsMargins().top() + 2 * SkinWidget::CARD_HEIGHT
                                  + m_cards->verticalSpacing() + m_cards->contentsMargins().bottom());

    layout->addWidget(m_card_area, 1);
    layout->addWidget(create_pager(), 0);
}

QWidget *SkinGrid::create_pager()
{
    auto *pager = new QWidget;
    auto *layout = new QHBoxLayout(pager);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(8);

    m_prev = new QPushButton(QStringLiteral("上一页"));
    m_prev->setObjectName(QStringLiteral("prev_btn"));
    m_prev->setFixedSize(70, 28);
    connect(m_prev, &QPushButton::clicked, this, &SkinGrid::show_previous_page);

    m_next = new QPushButton(QStringLiteral("下一页"));
    m_next->setObjectName(QStringLiteral("next_btn"));
    m_next->setFixedSize(70, 28);
    connect(m_next, &QPushButton::clicked, this, &SkinGrid::show_next_page);

    m_page_label = new QLabel(QStringLiteral("第 1 页 / 共 1 页"));
    m_page_label->setObjectName(QStringLiteral("page_label"));

    auto *refresh = new QPushButton(QStringLiteral("刷新页面"));
    refresh->setObjectName(QStringLiteral("refresh_btn"));
    refresh->setFixedSize(70, 28);
    connect(refresh, &QPushButton::clicked, this, &SkinGrid::refresh_covers);

    const QString button_style = QString::fromUtf8(PAGER_BUTTON_STYLE);
    m_prev->setStyleSheet(button_style);
    m_next->setStyleSheet(button_style);
    refresh->setStyleSheet(button_style);
    m_page_label->setStyleSheet(QString::fromUtf8(PAGE_LABEL_STYLE));

    layout->addStretch(1);
    layout->addWidget(m_prev);
    layout->addWidget(m_page_label);
    layout->addWidget(m_next);
    layout->addSpacing(25);
    layout->addWidget(refresh);
    layout->addStretch(1);
    return pager;
}

void SkinGrid::select(const QString &main_category, const std::optional<QString> &subcategory)
{
    m_list.reset();
    m_main_category = main_category;
    m_subcategory = subcategory;
}

void SkinGrid::set_records(const QJsonArray &records)
{
    m_records = records;
}

QList<SkinWidget *> SkinGrid::cards() const
{
    QList<SkinWidget *> out;
    for (int i = 0; i < m_cards->count(); ++i) {
        if (auto *card = qobject_cast<SkinWidget *>(m_cards->itemAt(i)->widget()))
            out.append(card);
    }
    return out;
}

void SkinGrid::reset_pager()
{
    m_page_label->setText(QStringLiteral("第 1 页 / 共 1 页"));
    m_prev->setEnabled(false);
    m_next->setEnabled(false);
}

void SkinGrid::show_text(const QString &text)
{
    const Announce announce{this};
    m_list.reset();
    clear_layout(m_cards);
    auto *label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setStyleSheet(QString::fromUtf8(INSTRUCTIONS_LABEL_STYLE));
    m_cards->addWidget(label);
    m_text = label;
    reset_pager();
}

bool SkinGrid::replace_text(const QString &text)
{
    if (!m_text || m_text->isHidden())
        return false;
    m_text->setText(text);
    return true;
}

void SkinGrid::show_list(const QJsonArray &records, const QString &empty_text)
{
    if (!m_list) {
        // What to come back to: the text on screen, or the category's page.
        m_before_list.text = m_text && !m_text->isHidden() ? std::optional<QString>(m_text->text()) : std::nullopt;
        m_before_list.page = m_page;
    }
    m_list = records;
    m_list_empty_text = empty_text;
    QString error;
    if (!show_page(0, &error))
        report_page_failure(0, error);
}

void SkinGrid::leave_list()
{
    if (!m_list)
        return;
    m_list.reset();
    if (m_before_list.text) {
        show_text(*m_before_list.text);
        return;
    }
    QString error;
    if (!show_page(m_before_list.page, &error))
        report_page_failure(m_before_list.page, error);
}

void SkinGrid::show_empty_state()
{
    auto *empty_label = new QLabel(m_list ? m_list_empty_text : QStringLiteral("当前分类下没有皮肤"));
    empty_label->setAlignment(Qt::AlignCenter);
    empty_label->setStyleSheet(QString::fromUtf8(EMPTY_LABEL_STYLE));
    m_cards->addWidget(empty_label);
    reset_pager();
}

bool SkinGrid::show_page(int page, QString *error)
{
    const Announce announce{this};
    m_page = page;
    clear_layout(m_cards);

    const QJsonArray &source = m_list ? *m_list : m_records;
    const std::optional<PageRecords> records =
        m_list ? list_records(*m_list) : page_records(m_records, m_main_category, m_subcategory, true, error);
    if (!records)
        return false;
    if (!records->any_selected) {
        show_empty_state();
        return true;
    }

    const int start_idx = m_page * ITEMS_PER_PAGE;
    const std::vector<int> &valid_skins = records->complete;
    const int end_idx = std::min(start_idx + ITEMS_PER_PAGE, static_cast<int>(valid_skins.size()));
    // The page's cached covers are decoded together up front; each card then
    // finds its cover ready instead of decoding it in turn.
    QList<QJsonObject> shown;
    for (int i = std::max(start_idx, 0); i < end_idx; ++i)
        shown.append(source.at(valid_skins[static_cast<size_t>(i)]).toObject());
    // Marked as used first: that renews the files' times, and a prefetched
    // cover is handed out only while its file's time is the one it was
    // decoded at, so marking them after would make every card decode again.
    QStringList shown_covers;
    for (const QJsonObject &record : qAsConst(shown))
        shown_covers << cover_url(m_covers.endpoints(), record);
    m_covers.set_shown(shown_covers);
    prefetch_covers(m_covers.endpoints(), shown, cover_pixel_size(m_card_area->devicePixelRatioF()));

    int valid_skins_count = 0;
    for (const QJsonObject &record : qAsConst(shown)) {
        QString invalid_record_error;
        SkinWidget *skin_widget = SkinWidget::create(record, m_game_dir, m_downloads, m_states, m_covers, &invalid_record_error);
        if (!skin_widget) {
            applog::warning(QStringLiteral("创建皮肤组件失败: ") + invalid_record_error);
            continue;
        }
        // Queued: the box opens from the event loop, never inside the card's
        // own call, which a page rebuilt while the box shows would delete.
        connect(skin_widget, &SkinWidget::show_message_signal, this, &SkinGrid::message_requested,
                Qt::QueuedConnection);
        // Direct: a fresh look at the folder is asked for before an older one
        // still on its way is taken, which would show the files as still there.
        connect(skin_widget, &SkinWidget::uninstalled, this, &SkinGrid::skin_uninstalled);
        skin_widget->set_viewer_icon_path(m_viewer_icon_path);
        m_cards->addWidget(skin_widget);
        skin_widget->check_installation_status();
        ++valid_skins_count;
    }
    if (valid_skins_count == 0) {
        show_empty_state();
        return true;
    }

    const int total_pages = catalog::page_count(static_cast<int>(valid_skins.size()), ITEMS_PER_PAGE);
    m_page_label->setText(QStringLiteral("第 %1 页 / 共 %2 页").arg(m_page + 1).arg(total_pages));
    m_prev->setEnabled(m_page > 0);
    m_next->setEnabled(m_page < total_pages - 1);
    return true;
}

void SkinGrid::show_previous_page()
{
    if (m_page <= 0)
        return;
    const int previous = m_page;
    QString error;
    if (!show_page(previous - 1, &error))
        report_page_failure(previous, error);
}

void SkinGrid::show_next_page()
{
    QString error;
    const std::optional<PageRecords> records =
        m_list ? list_records(*m_list) : page_records(m_records, m_main_category, m_subcategory, false, &error);
    if (!records) {
        report_page_failure(m_page, error);
        return;
    }
    const int total_pages = catalog::page_count(static_cast<int>(records->complete.size()), ITEMS_PER_PAGE);
    if (m_page >= total_pages - 1)
        return;
    const int previous = m_page;
    if (!show_page(previous + 1, &error))
        report_page_failure(previous, error);
}

// A page that cannot be built from the page buttons must not take the window
// with it: the page number goes back to the one the pager still shows, the
// user is told, and choosing a category again starts afresh.
void SkinGrid::report_page_failure(int previous_page, const QString &error)
{
    m_page = previous_page;
    applog::error(QStringLiteral("显示皮肤页面失败: ") + error);
    emit message_requested(QStringLiteral("错误"), QStringLiteral("显示皮肤页面失败: ") + error,
                           QStringLiteral("critical"));
}

void SkinGrid::set_game_dir(const QString &folder)
{
    m_game_dir = folder;
    // The cards on screen install into, and read their state from, the
    // folder now in use; page and category stay as they are.
    for (SkinWidget *card : cards())
        card->set_game_dir(folder);
}

void SkinGrid::refresh_covers()
{
    // Before a main category is picked (always so at start-up) no card exists.
    if (m_main_category.isEmpty())
        return;
    // A card whose cover is cached shows it (and may change the page's
    // cards through its signals) before load_cover returns: hold them weakly.
    QList<QPointer<SkinWidget>> skin_widgets;
    for (SkinWidget *card : cards())
        skin_widgets.append(card);
    if (skin_widgets.isEmpty()) {
        applog::info(QStringLiteral("当前页面没有皮肤组件需要刷新"));
        return;
    }

    int refreshed_count = 0;
    for (const QPointer<SkinWidget> &skin_widget : qAsConst(skin_widgets)) {
        if (!skin_widget)
            continue;
        // The same address and cache file the card's own loader uses; a card
        // without cover, main category or subcategory has nothing to refresh.
        const QString url = cover_url(m_covers.endpoints(), skin_widget->skin_data());
        if (url.isEmpty())
            continue;
        const QString cache_path = cover_cache_path(url);
        if (QFileInfo::exists(cache_path)) {
            QFile cached(cache_path);
            const QString shown = QDir::toNativeSeparators(cache_path);
            if (cached.remove())
                applog::info(QStringLiteral("已清理图片缓存: ") + shown);
            else
                applog::warning(QStringLiteral("清理缓存失败: ") + shown + QStringLiteral(" - ") + cached.errorString());
        }
        skin_widget->load_cover();
        if (skin_widget)
            ++refreshed_count;
    }
    applog::info(QStringLiteral("已刷新 %1 个皮肤的图片缓存").arg(refreshed_count));
}
