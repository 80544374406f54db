#include "app/main_window.h"
#include "catalog/catalog_service.h"
#include "widgets/flow_layout.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSizePolicy>
#include <QVBoxLayout>

namespace {

const char *const NAV_TITLE_STYLE = R"(
QLabel {
    font-weight: bold;
    font-size: 14px;
    font-family: "Microsoft YaHei";
    color: #374151;
    padding: 2px 0px;
    margin: 0px;
}
)";

// Main-category and subcategory buttons differ only in height, font size and
// padding; the selector is the button's object name.
QString category_button_style(const char *object_name, int font_px, const char *padding)
{
    return QStringLiteral(R"(
QPushButton#%1 {
    font-size: %2px;
    font-family: "Microsoft YaHei";
    padding: %3;
    background-color: #FFFFFF;
    color: #374151;
    border: 1px solid #D1D5DB;
    border-radius: 4px;
}
QPushButton#%1:hover {
    background-color: #F3F4F6;
    border: 1px solid #9CA3AF;
}
QPushButton#%1:pressed {
    background-color: #E5E7EB;
    border: 1px solid #6B7280;
}
QPushButton#%1:checked {
    background-color: #3B82F6;
    color: #FFFFFF;
    border: 1px solid #2563EB;
}
)")
        .arg(QLatin1String(object_name))
        .arg(font_px)
        .arg(QLatin1String(padding));
}

QPushButton *make_category_button(const QString &text, bool main_category)
{
    auto *button = new QPushButton(text);
    const char *object_name = main_category ? "main_category_btn" : "sub_category_tag";
    button->setObjectName(QLatin1String(object_name));
    button->setCheckable(true);
    button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    button->setFixedHeight(main_category ? 32 : 28);
    button->setStyleSheet(main_category ? category_button_style(object_name, 12, "6px 12px")
                                        : category_button_style(object_name, 11, "4px 8px"));
    return button;
}

// Exclusive selection without a button group: uncheck all, then check the
// first button that `matches`, so a re-clicked button stays checked.
template <typename Match>
void check_first(QLayout *layout, Match matches)
{
    for (int i = 0; i < layout->count(); ++i) {
        if (auto *button = qobject_cast<QPushButton *>(layout->itemAt(i)->widget()))
            button->setChecked(false);
    }
    for (int i = 0; i < layout->count(); ++i) {
        auto *button = qobject_cast<QPushButton *>(layout->itemAt(i)->widget());
        if (button && matches(button->text())) {
            button->setChecked(true);
            return;
        }
    }
}

QScrollArea *make_strip()
{
    auto *area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setFixedHeight(85);
    return area;
}

} // namespace

QVBoxLayout *MainWindow::_create_category_navigation()
{
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto *main_title = new QLabel(QStringLiteral("主分类"));
    main_title->setStyleSheet(QString::fromUtf8(NAV_TITLE_STYLE));
    QScrollArea *main_scroll_area = make_strip();
    main_category_container = new QWidget;
    main_category_layout = new FlowLayout;
    main_category_container->setLayout(main_category_layout);
    main_scroll_area->setWidget(main_category_container);

    auto *sub_title = new QLabel(QStringLiteral("子分类"));
    sub_title->setStyleSheet(QString::fromUtf8(NAV_TITLE_STYLE));
    QScrollArea *sub_scroll_area = make_strip();
    subcategory_container = new QWidget;
    subcategory_layout = new FlowLayout;
    subcategory_container->setLayout(subcategory_layout);
    sub_scroll_area->setWidget(subcategory_container);

    layout->addWidget(main_title);
    layout->addWidget(main_scroll_area);
    layout->addWidget(sub_title);
    layout->addWidget(sub_scroll_area);
    return layout;
}

void MainWindow::_update_category_ui()
{
    _clear_layout(main_category_layout);
    _clear_layout(subcategory_layout);
    for (const QString &name : main_categories) {
        QPushButton *main_btn = make_category_button(name, true);
        connect(main_btn, &QPushButton::clicked, this, [this, name] { _select_main_category(name); });
        main_category_layout->addWidget(main_btn);
    }
}

void MainWindow::_select_main_category(const QString &category_name)
{
    check_first(main_category_layout, [&](const QString &text) { return text == category_name; });
    current_category_name = category_name;
    current_subcategory_name.reset();
    // A skin list still on its way belongs to the earlier choice.
    m_catalog->drop_pending_skins();
    _update_subcategory_ui();
    _show_instructions_content();
}

void MainWindow::_update_subcategory_ui()
{
    _clear_layout(subcategory_layout);
    const auto entry = subcategories.constFind(current_category_name);
    if (entry == subcategories.constEnd())
        return;

    QPushButton *all_tag = make_category_button(QStringLiteral("全部"), false);
    connect(all_tag, &QPushButton::clicked, this, [this] { _select_subcategory(std::nullopt); });
    subcategory_layout->addWidget(all_tag);

    for (const QString &subcategory : entry.value()) {
        QPushButton *tag = make_category_button(subcategory, false);
        auto *tag_shadow = new QGraphicsDropShadowEffect(tag);
        tag_shadow->setBlurRadius(4);
        tag_shadow->setColor(QColor(0, 0, 0, 30));
        tag_shadow->setOffset(0, 1);
        tag->setGraphicsEffect(tag_shadow);
        connect(tag, &QPushButton::clicked, this, [this, subcategory] { _select_subcategory(subcategory); });
        subcategory_layout->addWidget(tag);
    }
}

void MainWindow::_select_subcategory(const std::optional<QString> &subcategory_name)
{
    const QString all = QStringLiteral("全部");
    // A subcategory literally named "全部" matches neither rule, so it loads
    // without any button checked.
    check_first(subcategory_layout, [&](const QString &text) {
        return text == all ? !subcategory_name.has_value() : (subcategory_name && text == *subcategory_name);
    });
    current_subcategory_name = subcategory_name;
    _load_skins();
}
