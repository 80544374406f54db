#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class FlowLayout;
class QCloseEvent;
class QLabel;
class QLayout;
class QPushButton;
class QThread;
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

    // --- endpoints (src/catalog/endpoints.cpp) ----------------------------
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

    // --- close handling (src/app/) -----------------------------------------
    void _show_download_queue();
};
