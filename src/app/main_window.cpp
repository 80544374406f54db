#include "app/main_window.h"

#include "app/display_scale.h"
#include "catalog/catalog_service.h"
#include "widgets/flow_layout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLayoutItem>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {

const char *const WINDOW_STYLE = R"(
QMainWindow {
    background-color: #F5F7FA;
}
QLineEdit {
    border: 1px solid #D1D5DB;
    border-radius: 6px;
    padding: 8px 12px;
    font-size: 14px;
    font-family: "Microsoft YaHei";
}
QPushButton {
    background-color: #3B82F6;
    color: white;
    border: none;
    border-radius: 6px;
    padding: 8px 16px;
    font-weight: 500;
    font-size: 14px;
    font-family: "Microsoft YaHei";
}
QPushButton#main_category_btn {
    background-color: #EDF2F7;
    color: #666;
}
QPushButton#main_category_btn:checked {
    background-color: #3B82F6;
    color: white;
}
QPushButton#sub_category_btn {
    background-color: #F1F5F9;
    color: #444;
}
QPushButton#sub_category_btn:checked {
    background-color: #3B82F6;
    color: white;
}
QScrollArea {
    background: transparent;
    border: none;
}
)";

const char *const DIR_LABEL_STYLE = R"(
QLabel {
    background-color: #F8F9FA;
    border: 1px solid #E9ECEF;
    border-radius: 4px;
    padding: 8px 12px;
    font-size: 14px;
    font-family: "Microsoft YaHei";
    color: #6C757D;
    min-height: 20px;
}
)";

const char *const FLOW_CONTAINER_STYLE = R"(
QWidget {
    background-color: #FFFFFF;
    border-radius: 4px;
    border: 1px solid #E5E7EB;
}
)";

} // namespace

MainWindow::MainWindow()
    : QMainWindow(nullptr)
{
    init_ui();
    _load_settings();
    // The window shows at once; the catalogue fills it as the answers come.
    m_catalog = new CatalogService(this);
    _connect_catalog();
    _setup_api_urls();
    start_self_update();
}

MainWindow::~MainWindow() = default;

void MainWindow::init_ui()
{
    setWindowTitle(QStringLiteral("Furlane"));
    setFixedSize(MAIN_WINDOW_SIZE);

    const QString icon_path = get_icon_path();
    if (QFileInfo::exists(icon_path))
        setWindowIcon(QIcon(icon_path));

    setStyleSheet(QString::fromUtf8(WINDOW_STYLE));

    auto *container = new QWidget;
    main_layout = new QVBoxLayout(container);
    main_layout->setContentsMargins(16, 4, 16, 12);
    main_layout->setSpacing(8);

    auto *dir_layout = new QHBoxLayout;
    dir_layout->setSpacing(4);
    // The window is fixed in size: the directory row and the card area give
    // up the style's default layout margins so that two full rows of cards
    // (2 x 260 + the row gap) fit the card area.
    dir_layout->setContentsMargins(0, 0, 0, 0);
    dir_layout->addWidget(new QLabel(QStringLiteral("皮肤目录：")));
    dir_label = new QLabel(QStringLiteral("请先启动Dread Hunger游戏后点击检测目录"));
    dir_label->setStyleSheet(QString::fromUtf8(DIR_LABEL_STYLE));
    dir_layout->addWidget(dir_label, 4);

    auto *detect_btn = new QPushButton(QStringLiteral("检测目录"));
    connect(detect_btn, &QPushButton::clicked, this, &MainWindow::_detect_by_process);
    dir_layout->addWidget(detect_btn);
    auto *open_btn = new QPushButton(QStringLiteral("打开皮肤目录"));
    connect(open_btn, &QPushButton::clicked, this, &MainWindow::_open_skin_dir);
    dir_layout->addWidget(open_btn);
    auto *queue_btn = new QPushButton(QStringLiteral("下载队列"));
    connect(queue_btn, &QPushButton::clicked, this, &MainWindow::_show_download_queue);
    dir_layout->addWidget(queue_btn);

    QVBoxLayout *category_navigation = _create_category_navigation();

    flow_container = new QWidget;
    flow_container->setStyleSheet(QString::fromUtf8(FLOW_CONTAINER_STYLE));
    flow_layout = new FlowLayout;
    flow_layout->setMaxColumns(3);
    flow_layout->setContentsMargins(9, 0, 9, 0);
    flow_layout->setVerticalSpacing(8);
    flow_container->setLayout(flow_layout);

    pagination_widget = _create_pagination_widget();

    auto *dir_widget = new QWidget;
    dir_widget->setLayout(dir_layout);
    auto *category_navigation_widget = new QWidget;
    category_navigation_widget->setLayout(category_navigation);

    main_layout->addWidget(dir_widget);
    main_layout->addWidget(category_navigation_widget);
    main_layout->addWidget(flow_container);
    main_layout->addWidget(pagination_widget);

    main_layout->setStretchFactor(dir_widget, 0);
    main_layout->setStretchFactor(category_navigation_widget, 0);
    main_layout->setStretchFactor(flow_container, 1);
    main_layout->setStretchFactor(pagination_widget, 0);

    category_navigation_widget->setMinimumHeight(130);

    setCentralWidget(container);
}

QString MainWindow::get_icon_path() const
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("app.ico"));
}

void MainWindow::_clear_layout(QLayout *layout)
{
    if (!layout)
        return;
    while (layout->count() > 0) {
        QLayoutItem *item = layout->takeAt(0);
        if (!item)
            break;
        // Hidden at once, so that the old widgets are never painted beside
        // their successors and the area under their drop shadows (which
        // reaches past their own rectangle) is repainted: deleted later
        // while still shown, their shadows would stay on screen.
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}
