#include "app/main_window.h"

#include "app/app_icon.h"
#include "app/display_scale.h"
#include "app/message_dialogs.h"
#include "app/program_services.h"
#include "app/queue_taskbar_progress.h"
#include "ui/browse/category_bar.h"
#include "ui/browse/skin_grid.h"
#include "core/catalog/catalog_service.h"
#include "core/covers/cover_store.h"
#include "core/download/download_manager.h"
#include "core/gamedir/game_dir_service.h"
#include "ui/widgets/elided_label.h"

#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
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

} // namespace

MainWindow::MainWindow(ProgramServices &services)
    : QMainWindow(nullptr),
      m_downloads(services.downloads),
      m_states(services.states),
      m_covers(services.covers)
{
    m_catalog = new CatalogService(services.http, this);
    m_game_dir = new GameDirService(m_downloads, this);
    build_frame();
    load_game_dir();
    connect_catalog();
    m_catalog->resolve_endpoints();
    start_self_update(services.http);
    start_skin_checks(services.http);
}

MainWindow::~MainWindow() = default;

QString MainWindow::icon_path()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("app.ico"));
}

void MainWindow::build_frame()
{
    setWindowTitle(QStringLiteral("Furlane"));
    setFixedSize(MAIN_WINDOW_SIZE);

    setWindowIcon(app_icon());

    setStyleSheet(QString::fromUtf8(WINDOW_STYLE));

    auto *container = new QWidget;
    auto *main_layout = new QVBoxLayout(container);
    main_layout->setContentsMargins(16, 4, 16, 12);
    main_layout->setSpacing(8);

    auto *dir_layout = new QHBoxLayout;
    dir_layout->setSpacing(4);
    // The window is fixed in size: the directory row and the card area give
    // up the style's default layout margins so that two full rows of cards
    // (2 x 260 + the row gap) fit the card area.
    dir_layout->setContentsMargins(0, 0, 0, 0);
    dir_layout->addWidget(new QLabel(QStringLiteral("皮肤目录：")));
    // A long folder keeps its beginning and its end, and shows whole as the tooltip.
    m_dir_label = new ElidedLabel(QStringLiteral("请先启动Dread Hunger游戏后点击检测目录"), Qt::ElideMiddle);
    m_dir_label->setObjectName(QStringLiteral("dir_label"));
    m_dir_label->setStyleSheet(QString::fromUtf8(DIR_LABEL_STYLE));
    dir_layout->addWidget(m_dir_label, 4);

    auto *detect_btn = new QPushButton(QStringLiteral("检测目录"));
    connect(detect_btn, &QPushButton::clicked, this, &MainWindow::detect_by_process);
    dir_layout->addWidget(detect_btn);
    auto *open_btn = new QPushButton(QStringLiteral("打开皮肤目录"));
    connect(open_btn, &QPushButton::clicked, this, &MainWindow::open_skin_dir);
    dir_layout->addWidget(open_btn);
    auto *queue_btn = new QPushButton(QStringLiteral("下载队列"));
    connect(queue_btn, &QPushButton::clicked, this, &MainWindow::show_download_queue);
    dir_layout->addWidget(queue_btn);

    auto *dir_widget = new QWidget;
    dir_widget->setLayout(dir_layout);

    m_category_bar = new CategoryBar;
    m_category_bar->setMinimumHeight(130);
    connect(m_category_bar, &CategoryBar::main_category_chosen, this, &MainWindow::choose_main_category);
    connect(m_category_bar, &CategoryBar::subcategory_chosen, this, &MainWindow::choose_subcategory);

    m_grid = new SkinGrid(m_downloads, m_states, m_covers);
    m_grid->set_viewer_icon_path(app_icon_path());
    connect(m_grid, &SkinGrid::message_requested, this, &MainWindow::message);

    main_layout->addWidget(dir_widget, 0);
    main_layout->addWidget(m_category_bar, 0);
    // A screen lower than the window (1366 x 768 less a task bar) gets a
    // shorter window whose cards and pager scroll; at full size nothing
    // scrolls. The texts keep their size: a smaller scale would not be
    // readable there.
    auto *grid_scroll = new QScrollArea;
    grid_scroll->setObjectName(QStringLiteral("grid_scroll"));
    grid_scroll->setFrameShape(QFrame::NoFrame);
    grid_scroll->setWidgetResizable(true);
    grid_scroll->setWidget(m_grid);
    grid_scroll->viewport()->setAutoFillBackground(false);
    m_grid->setAutoFillBackground(false);
    main_layout->addWidget(grid_scroll, 1);

    setCentralWidget(container);
    new QueueTaskbarProgress(m_downloads, this);
    connect_search();
    connect_installed();
}

void MainWindow::fit_size(const QSize &size)
{
    setFixedSize(size);
}

void MainWindow::message(const QString &title, const QString &text, const QString &kind)
{
    show_message(this, title, text, kind);
}
