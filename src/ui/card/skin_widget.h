#pragma once

#include "core/install/skin_state.h"

#include <QJsonObject>
#include <QPair>
#include <QPixmap>
#include <QString>
#include <QWidget>

class CoverStore;
class DownloadManager;
class InstallStates;
class QImage;
class QLabel;
class QPushButton;

// One card of the catalogue grid: the cover with the skin's name over its
// lower edge, a zoom button, and the install/uninstall button that shows the
// skin's state ("安装", "卸载", "下载中..."). An installed skin the server
// has a newer build of shows "更新" beside it; one whose files no longer
// match their install shows "文件损坏" and "修复". Both install again
// through the queue.
class SkinWidget final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SkinWidget)

public:
    static constexpr int CARD_WIDTH = 280;
    static constexpr int CARD_HEIGHT = 260;
    static constexpr int COVER_HEIGHT = 185;

    // What the cover area shows: a neutral look while the cover is on its
    // way, the cover, or the "暂无封面" placeholder when there is none.
    enum class CoverState { Loading, Shown, Missing };
    CoverState cover_state() const { return m_cover_state; }

    // A record holding "file_pair" (see installed_view_records) makes the
    // card of a pair of files no catalogue record names: its .pak's name,
    // the placeholder cover, no zoom, and only "卸载", which deletes exactly
    // those two files; a malformed one makes no card.
    // Builds a card for a skin record, installing through `downloads` and
    // showing covers from `covers`. A record lacking one of the keys
    // name, MainCategory, subcategory, pak_original, sig_original makes no
    // card: returns nullptr and, if `invalid_record_error` is given, sets it
    // to "皮肤数据缺少" + key + "字段". The card has no parent; the layout
    // that receives it adopts it.
    static SkinWidget *create(const QJsonObject &skin_data, const QString &game_dir, DownloadManager &downloads,
                              const InstallStates &states, CoverStore &covers, QString *invalid_record_error = nullptr);
    ~SkinWidget() override;

    const QJsonObject &skin_data() const { return m_skin_data; }
    QString game_dir() const { return m_game_dir; }

    // Parts of the card, for its tests.
    QWidget *cover_container() const { return m_cover_container; }
    QLabel *cover() const { return m_cover; }
    QLabel *name_label() const { return m_name_label; }
    QPushButton *zoom_button() const { return m_zoom_button; }
    QPushButton *action_button() const { return m_action_button; }
    QPushButton *cancel_button() const { return m_cancel_button; }
    // "更新" or "修复" beside "卸载", and "文件损坏" over the cover.
    QPushButton *refresh_button() const { return m_refresh_button; }
    QLabel *damage_label() const { return m_damage_label; }
    // What the card shows: the skin's state, from the folder, the queue and
    // the install store.
    SkinState state() const;

    // Cover: at once from the cache, else the loading look until the
    // server's answer shows it, or the "暂无封面" placeholder.
    void load_cover();
    // Shows `pixmap` cut to the cover area.
    void set_cover_pixmap(const QPixmap &pixmap);

    // (sig file name, pak file name): last path components of the record's
    // sig_original and pak_original.
    static QPair<QString, QString> file_names(const QJsonObject &skin_data);
    // "卸载" when either file lies anywhere below the mod folder, else "安装".
    void check_installation_status();
    // Points the card at another game folder and, unless it shows a
    // download, looks afresh whether the skin is installed there.
    void set_game_dir(const QString &folder);

    // Opens the full-size cover in a modal viewer.
    void show_enlarged_image();
    // The viewer's window icon. The main window hands in its own; a card
    // shown anywhere else uses icon.ico beside the program.
    void set_viewer_icon_path(const QString &path) { m_viewer_icon_path = path; }

    // Deletes every copy of the skin's two files below the mod folder, then
    // confirms, names the copies that could not be removed, or says where
    // it looked when there was nothing to remove. ("卸载" runs it.)
    void uninstall_skin();

signals:
    void show_message_signal(const QString &title, const QString &message, const QString &kind);
    void cover_state_changed(SkinWidget::CoverState state);
    // An uninstall deleted at least one file.
    void uninstalled();

private:
    SkinWidget(const QJsonObject &skin_data, const QString &game_dir, DownloadManager &downloads,
               const InstallStates &states, CoverStore &covers);

    void init_ui();
    void setup_shadow();

    void handle_action();
    void handle_cancel();
    void on_download_started(const QString &skin_id);
    void on_download_progress(const QString &skin_id, int progress);
    void on_download_completed(const QString &skin_id);
    void on_download_failed(const QString &skin_id, const QString &error);
    void on_download_cancelled(const QString &skin_id);
    void start_download();
    // The green modal confirmation; returns once it is closed.
    void show_success_dialog(const QString &title, const QString &message);

    // The cover area in the screen's own pixels.
    QSize cover_size_in_pixels() const;
    void show_cover(const QImage &cropped);
    void set_loading_look();
    void set_placeholder_image();
    // The cover area's plain background, at the screen's pixel size.
    QPixmap blank_cover() const;
    // Leaves the downloading state; the files are there or not.
    void end_download(bool installed);
    // Draws state(): the one place the buttons and labels follow it.
    void draw_state();
    bool is_mine(const QString &skin_id) const;
    void set_cover_state(CoverState state);
    // A file pair card's files that are there.
    QStringList file_pair_paths() const;

    QJsonObject m_skin_data;
    QString m_game_dir;
    DownloadManager *m_downloads = nullptr;
    const InstallStates *m_states = nullptr;
    bool m_heard = false;   // a start or report of this skin's download reached the card
    CoverStore *m_covers = nullptr;

    QWidget *m_cover_container = nullptr;
    QLabel *m_cover = nullptr;
    QLabel *m_name_label = nullptr;
    QPushButton *m_zoom_button = nullptr;
    QPushButton *m_action_button = nullptr;
    QPushButton *m_cancel_button = nullptr;
    QPushButton *m_refresh_button = nullptr;
    QLabel *m_damage_label = nullptr;

    bool m_file_pair = false;
    // The skin's files as last looked at (for a file pair: either is there).
    bool m_on_disk = false;
    // Just uninstalled by this card: "安装" comes back in the card's first,
    // rounder look until the state moves on.
    bool m_first_look = false;
    // The card saw its download start: only then does it offer "取消" and
    // lock its button (one built later only follows the percent, and its
    // press hands over the task the queue already holds).
    bool m_saw_start = false;
    CoverState m_cover_state = CoverState::Loading;
    bool m_enlarging = false;
    QString m_viewer_icon_path;
};
