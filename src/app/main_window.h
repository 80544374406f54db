#pragma once

#include "net/resume_rules.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <optional>

class CatalogService;
class FlowLayout;
struct ProcessListing;
class QCloseEvent;
class QLabel;
class QLayout;
class QPushButton;
class QFile;
class QNetworkReply;
class QThread;
class UpdateWorker;
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

    // --- endpoints (src/catalog/main_window_catalog.cpp) --------------------
    // Resolves the endpoints in the background; the instructions and the
    // categories are asked for once they are set.
    void _setup_api_urls();

    // --- navigation bar and pager builders (src/catalog/) ------------------
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

    // --- catalogue browsing (src/catalog/) ---------------------------------
    void _prev_page();
    void _next_page();
    void _refresh_skins();

    // --- game folder (src/gamedir/) ----------------------------------------
    void _detect_by_process();
    void _open_skin_dir();

    // --- close handling (src/app/close_handling.cpp) ------------------------
    void _show_download_queue();
    void closeEvent(QCloseEvent *event) override;

    // --- self-update (src/update/) -----------------------------------------
signals:
    // Each text shown in dir_label by _show_update_progress, for observers.
    void update_progress_shown(const QString &text);

public:
    QThread *update_thread = nullptr;
    UpdateWorker *update_worker = nullptr;

    // The running update download. The reply handlers run on the GUI thread
    // while the update thread waits; they share the two atomic flags.
    QNetworkReply *download_reply = nullptr;
    QFile *download_file = nullptr;
    QString download_url;
    QString save_path;
    qint64 total_size = 0;
    qint64 downloaded = 0;
    double last_update = 0;
    std::atomic<bool> download_success{false};
    std::atomic<bool> download_completed{false};
    // How long the update download may take, and may go without data before
    // the transfer counts as broken off.
    int update_download_limit_ms = 300000;
    int update_stall_limit_ms = 30000;
    // How the update download goes on after a break.
    struct DownloadResume {
        ResumeRules rules;
        bool ranged = false;    // the running request asks for the rest only
        bool checked = false;   // the running answer has been judged
        bool accepted = false;  // ... and its body belongs in the file
        bool refetch = false;   // ... and the whole file must be asked for afresh
        bool broke = false;     // the transfer broke off and may go on
        bool stalled = false;   // ... because no data came for too long
        qint64 offset = 0;      // where the running answer's body starts in the file
        QString refused;        // why the answer cannot be used, when it cannot
    } download_resume;

    void _silent_check_update();
    std::optional<QJsonObject> _get_latest_info();
    void _start_update_thread(const QJsonObject &info);
    void _on_update_finished();
    void _on_update_error(const QString &error_msg);
    // Runs on the update thread. False once a fatal error went to the GUI thread.
    bool _start_update_process(const QJsonObject &info);
    bool _download_new_version(const QString &url, const QString &path);
    void _on_download_progress(qint64 bytes_received, qint64 bytes_total);
    void _on_ready_read();
    void _on_download_finished();
    // Judges the running update answer once: from the start, the rest, or
    // of no use (see DownloadResume). Runs with the reply handlers.
    void _check_download_answer();
    void _restart_update_file();
    // False on failure; when the launch itself failed, `launch_error` holds why.
    bool _update_exe(const QString &new_exe, QString *launch_error = nullptr);
    void _show_update_progress(const QString &message);

    // --- catalogue browsing: categories, skin list, grid (src/catalog/) ------
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

    // --- game folder, settings and clean-up (src/gamedir/) -----------------
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
