#include "ui/browse/category_bar.h"

#include "ui/widgets/flow_layout.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
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

namespace {

QList<QPushButton *> buttons_of(QLayout *layout)
{
    QList<QPushButton *> out;
    for (int i = 0; i < layout->count(); ++i) {
        if (auto *button = qobject_cast<QPushButton *>(layout->itemAt(i)->widget()))
            out.append(button);
    }
    return out;
}

// One titled strip; `container` is the widget the buttons are laid out in.
// The title's row is handed back in `title_row` when asked for.
FlowLayout *add_strip(QVBoxLayout *layout, const QString &title, const QString &container_name,
                      QHBoxLayout **title_row = nullptr)
{
    auto *title_label = new QLabel(title);
    title_label->setStyleSheet(QString::fromUtf8(NAV_TITLE_STYLE));
    QScrollArea *area = make_strip();
    auto *container = new QWidget;
    container->setObjectName(container_name);
    auto *buttons = new FlowLayout;
    container->setLayout(buttons);
    area->setWidget(container);
    if (title_row) {
        *title_row = new QHBoxLayout;
        (*title_row)->setContentsMargins(0, 0, 0, 0);
        (*title_row)->setSpacing(6);
        (*title_row)->addWidget(title_label);
        (*title_row)->addStretch(1);
        layout->addLayout(*title_row);
    } else {
        layout->addWidget(title_label);
    }
    layout->addWidget(area);
    return buttons;
}

} // namespace

CategoryBar::CategoryBar(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_main_layout = add_strip(layout, QStringLiteral("主分类"), QStringLiteral("main_category_container"),
                              &m_title_row);
    m_sub_layout = add_strip(layout, QStringLiteral("子分类"), QStringLiteral("subcategory_container"));
}

void CategoryBar::add_to_title_row(QWidget *widget)
{
    m_title_row->addWidget(widget);
}

QList<QPushButton *> CategoryBar::main_buttons() const
{
    return buttons_of(m_main_layout);
}

QList<QPushButton *> CategoryBar::subcategory_buttons() const
{
    return buttons_of(m_sub_layout);
}

void CategoryBar::set_categories(const catalog::Categories &categories)
{
    m_categories = categories;
    m_main_category.clear();
    m_subcategory.reset();
    clear_layout(m_main_layout);
    clear_layout(m_sub_layout);
    for (const QString &name : qAsConst(m_categories.main_categories)) {
        QPushButton *main_btn = make_category_button(name, true);
        connect(main_btn, &QPushButton::clicked, this, [this, name] { choose_main_category(name); });
        m_main_layout->addWidget(main_btn);
    }
}

void CategoryBar::choose_main_category(const QString &name)
{
    check_first(m_main_layout, [&](const QString &text) { return text == name; });
    m_main_category = name;
    m_subcategory.reset();
    build_subcategory_strip();
    emit main_category_chosen(name);
}

void CategoryBar::build_subcategory_strip()
{
    clear_layout(m_sub_layout);
    const auto entry = m_categories.subcategories.constFind(m_main_category);
    if (entry == m_categories.subcategories.constEnd())
        return;

    QPushButton *all_tag = make_category_button(QStringLiteral("全部"), false);
    connect(all_tag, &QPushButton::clicked, this, [this] { choose_subcategory(std::nullopt); });
    m_sub_layout->addWidget(all_tag);

    for (const QString &subcategory : entry.value()) {
        QPushButton *tag = make_category_button(subcategory, false);
        auto *tag_shadow = new QGraphicsDropShadowEffect(tag);
        tag_shadow->setBlurRadius(4);
        tag_shadow->setColor(QColor(0, 0, 0, 30));
        tag_shadow->setOffset(0, 1);
        tag->setGraphicsEffect(tag_shadow);
        connect(tag, &QPushButton::clicked, this, [this, subcategory] { choose_subcategory(subcategory); });
        m_sub_layout->addWidget(tag);
    }
}

void CategoryBar::choose_subcategory(const std::optional<QString> &name)
{
    check_subcategory(name);
    emit subcategory_chosen(m_main_category, name);
}

void CategoryBar::check_subcategory(const std::optional<QString> &name)
{
    const QString all = QStringLiteral("全部");
    // A subcategory literally named "全部" matches neither rule, so it loads
    // without any button checked.
    check_first(m_sub_layout, [&](const QString &text) {
        return text == all ? !name.has_value() : (name && text == *name);
    });
    m_subcategory = name;
}

void CategoryBar::check_no_subcategory()
{
    check_first(m_sub_layout, [](const QString &) { return false; });
    m_subcategory.reset();
}
