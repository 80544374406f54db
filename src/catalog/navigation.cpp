#include "app/main_window.h"
#include "widgets/flow_layout.h"

#include <QLabel>
#include <QScrollArea>
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
