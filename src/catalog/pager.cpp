#include "app/main_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

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

// The paged grid fills these in; until then the pager buttons do nothing.
void MainWindow::_prev_page() {}
void MainWindow::_next_page() {}
void MainWindow::_refresh_skins() {}
