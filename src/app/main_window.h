#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class CatalogService;
class FlowLayout;
struct ProcessListing;
class QCloseEvent;
class QLabel;
class QLayout;
class QPushButton;
class Updater;
class QVBoxLayout;
class QWidget;

// The one window of the application. Its named operations are grouped by the
// folder that implements them; members are public so that each subsystem and
// its tests can reach the state they share.
class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    MainWindow();
    ~MainWindow() override;

    // --- state (constructor order) ---------------------------------------
    QJsonArray categories;
    QJsonArray skins;
    std::optional<QString> current_category_id;
    std::optional<QString> current_subcategory_id;
    std::optional<QString> current_subcategory_name;
    int current_page = 0;
    int items_per_page = 6;
    QString game_dir;
    QString instructions_content;
    QSettings settings{QStringLiteral("orvex"), QStringLiteral("DreadHunger")};

    // --- frame (src/app/main_window.cpp) ----------------------------------
    QVBoxLayout *main_layout = nullptr;
    QLabel *dir_label = nullptr;
    QWidget *flow_container = nullptr;
    FlowLayout *flow_layout = nullptr;
    QWidget *pagination_widget = nullptr;

    void init_ui();
    QString get_icon_path() const;
    void _clear_layout(QLayout *layout);

    // --- message dialogs (src/app/message_dialogs.cpp) --------------------
    void show_message(const QString &title, const QString &message,
                      const QString &message_type = QStringLiteral("info"));
    [[noreturn]] void _force_close_program(const QString &message);
    // Ends the process with `status` at once, without the close handling,
    // once the download queue has stopped (as closing the window stops it):
    // an install is never cut between its moves. GUI thread only.
    [[noreturn]] static void _end_process(int status);

    // --- endpoints (src/app/main_window_catalog.cpp) ------------------------
    // Resolves the endpoints in the background; the instructions and the
    // categories are asked for once they are set.
    void _setup_api_urls();

    // --- navigation bar and pager builders (navigation.cpp, pager.cpp) ----
    QWidget *main_category_container = nullptr;
    FlowLayout *main_category_layout = nullptr;
    QWidget *subcategory_container = nullptr;
    FlowLayout *subcategory_layout = nullptr;
    QString current_category_name;

    QPushButton *prev_btn = nullptr;
    QPushButton *next_btn = nullptr;
    QPushButton *refresh_btn = nullptr;
    QLabel *page_label = nullptr;

    QVBoxLayout *_create_category_navigation();
    QWidget *_create_pagination_widget();

    // --- catalogue browsing (pager.cpp, refresh.cpp) -----------------------
    void _prev_page();
    void _next_page();
    void _refresh_skins();

    // --- game folder (src/app/main_window_gamedir.cpp) ----------------------
    void _detect_by_process();
    void _open_skin_dir();

    // --- close handling (src/app/close_handling.cpp) ------------------------
    void _show_download_queue();
    void closeEvent(QCloseEvent *event) override;

    // --- self-update (src/app/main_window_updater.cpp) ----------------------
signals:
    // Each text shown in dir_label for the update's progress, for observers.
    void update_progress_shown(const QString &text);

private:
    Updater *m_updater = nullptr;
    // Creates the updater, shows what it reports and starts its check.
    void start_self_update();

    // --- catalogue browsing: categories, skin list, grid --------------------
public:
    // The category tree derived from the catalogue; each subcategory list is
    // in display order.
    QStringList main_categories;
    QMap<QString, QStringList> subcategories;

    // Asks for the instructions and the category tree side by side.
    void load_categories();
    void _show_instructions_content();

    void _update_category_ui();
    void _select_main_category(const QString &category_name);
    void _update_subcategory_ui();
    void _select_subcategory(const std::optional<QString> &subcategory_name);

    // Asks for the selection's skin list; the page is built when it comes.
    void _load_skins();
    // Rebuilds the card area for current_page. False (with the reason in
    // `error`) when the page could not be built; the callers report it.
    bool show_current_page(QString *error = nullptr);
    void _refresh_current_page_images();

signals:
    // The start-up's instructions and category answers are both handled.
    void catalog_loaded();
    // A skin list answer is handled: its first page shown, or its failure reported.
    void skins_loaded();

private:
    void _connect_catalog();
    void _start_up_step_done();
    CatalogService *m_catalog = nullptr;
    QPointer<QLabel> m_instructions_label;
    bool m_instructions_arrived = false;
    bool m_categories_arrived = false;
    int m_start_up_answers = 0;

    void _show_empty_state();
    void _reset_pager();
    void _report_page_failure(int previous_page, const QString &error);

    // --- game folder, settings and clean-up (main_window_gamedir.cpp) -------
public:
    // Detection on a given process listing; _detect_by_process hands it the
    // live one, tests any table.
    void _detect_from_processes(const ProcessListing &listing);
    QStringList _validate_game_dir(const QString &path);
    void _load_settings();
    // Writes game_dir and flushes at once: a fatal exit skips destructors.
    void _save_settings();
    // Points the cards on screen at game_dir once it has changed.
    void _hand_game_dir_to_cards();
    // Deletes download leftovers in the mod folder; run when closing.
    void _cleanup_temp_files();
};
