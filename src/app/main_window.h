#pragma once

#include "core/catalog/search_index.h"

#include <QJsonArray>
#include <QMainWindow>
#include <QString>

#include <optional>

class CatalogService;
class CategoryBar;
class CoverStore;
class DownloadManager;
class GameDirService;
class HttpClient;
class InstallStates;
class InstallVerifier;
class InstalledButton;
class InstalledScanner;
struct InstalledScan;
class QPushButton;
struct ProgramServices;
class QCloseEvent;
class QLabel;
class SearchField;
class SkinGrid;
class Updater;

// The frame of the application: the folder row, the category bar and the
// skin grid. It creates the services and the widgets, hands each widget the
// services it uses and connects them; the state lives in those parts.
class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // The window shows at once; the catalogue fills it as the answers come.
    // `services` must outlive the window.
    explicit MainWindow(ProgramServices &services);
    ~MainWindow() override;

    // The window's fixed size: smaller than the whole window only where the
    // screen cannot hold it; the card area scrolls then.
    void fit_size(const QSize &size);

    // app.ico beside the program: the window's and the cover viewer's icon.
    static QString icon_path();

signals:
    // The start-up's instructions and category answers are both handled.
    void catalog_loaded();
    // A skin list answer is handled: its first page shown, or its failure reported.
    void skins_loaded();
    // Each text shown in the folder row for the update's progress.
    void update_progress_shown(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void build_frame();
    void message(const QString &title, const QString &text, const QString &kind);

    // --- catalogue (main_window_catalog.cpp)
    void connect_catalog();
    // Asks for the instructions and the category tree side by side.
    void load_start_up_content();
    void start_up_step_done();
    void choose_main_category(const QString &name);
    void choose_subcategory(const QString &main_category, const std::optional<QString> &subcategory);

    // --- game folder (main_window_gamedir.cpp)
    // Shows the stored folder; Steam's libraries are searched when it is
    // missing or no longer usable.
    void load_game_dir();
    // The running game first, else Steam's libraries.
    void detect_by_process();
    void open_skin_dir();
    // The folder row's text, and the folder handed to the cards.
    void show_game_dir(const QString &status, bool changed);

    // --- search (main_window_search.cpp)
    void connect_search();

    // --- installed view (main_window_installed.cpp)
    void connect_installed();
    // Asks for a scan of the mod folder off the GUI thread.
    void rescan_installed();
    // The latest scan: counts the installed skins, brings their records in
    // line with it, opens the installed view when that was asked for, and an
    // installed view on screen shows what changed, on the page it was on.
    void take_installed_scan(const InstalledScan &scan);
    // The installed skins as cards, or the box that asks for a game folder.
    void show_installed();
    // The installed view on `records`, from its first page.
    void open_installed_view(const QJsonArray &records);
    // "全部更新 (N)" and "校验文件" show with the installed view only.
    void show_installed_tools();
    // The grid's contents changed: a grid without a list shows a category.
    void grid_contents_changed();
    // Queues every skin the server has a newer build of.
    void update_all();
    // Reads every installed file against its record on a worker thread.
    void verify_installed();

    // --- close handling (close_handling.cpp)
    void show_download_queue();

    // --- self-update (main_window_updater.cpp)
    // Creates the updater, shows what it reports and starts its check.
    void start_self_update(HttpClient &http);

    // --- installed skins against the server (main_window_skin_checks.cpp)
    // Asks after every installed skin's package once the version check
    // found nothing newer, and every ten minutes after.
    void start_skin_checks(HttpClient &http);

    DownloadManager &m_downloads;
    InstallStates &m_states;
    CoverStore &m_covers;
    CatalogService *m_catalog = nullptr;
    GameDirService *m_game_dir = nullptr;
    Updater *m_updater = nullptr;

    QLabel *m_dir_label = nullptr;
    CategoryBar *m_category_bar = nullptr;
    SkinGrid *m_grid = nullptr;

    // What the grid shows: set where the window puts it there.
    enum class View { Category, Search, Installed };
    View m_view = View::Category;

    // --- installed view
    InstalledButton *m_installed = nullptr;
    // The list the installed view last put on the grid.
    QJsonArray m_installed_shown;
    QPushButton *m_update_all = nullptr;
    QPushButton *m_verify = nullptr;
    InstalledScanner *m_scanner = nullptr;
    // "已安装" was pressed: the next scan's quick check is taken, and it opens
    // the view when no scan of this folder was at hand to open it at once.
    bool m_open_installed = false;
    bool m_check_installed = false;
    InstallVerifier *m_verifier = nullptr;
    // The folder row's text while no check shows its progress there.
    QString m_dir_status;

    // The selection whose skin list was asked for last, and whether the grid
    // shows a list (rather than a main category's instructions).
    struct Selection {
        QString main_category;
        std::optional<QString> subcategory;
    };
    Selection m_asked;
    bool m_listed = false;

    // --- search
    // The whole catalogue of the last answer, ready to be searched.
    catalog::SearchIndex m_search_index;
    SearchField *m_search_field = nullptr;

    bool m_instructions_arrived = false;
    bool m_categories_arrived = false;
    int m_start_up_answers = 0;
};
