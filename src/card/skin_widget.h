#pragma once

#include <QJsonObject>
#include <QPair>
#include <QPixmap>
#include <QString>
#include <QWidget>

class DownloadManager;
class QImage;
class QLabel;
class QPushButton;

// One card of the catalogue grid: the cover with the skin's name over its
// lower edge, a zoom button, and the install/uninstall button whose text is
// the card's state ("安装", "卸载", "下载中...").
class SkinWidget final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SkinWidget)

public:
    static constexpr int CARD_WIDTH = 280;
    static constexpr int COVER_HEIGHT = 185;

    // What the cover area shows: a neutral look while the cover is on its
    // way, the cover, or the "暂无封面" placeholder when there is none.
    enum class CoverState { Loading, Shown, Missing };
    CoverState cover_state() const { return m_cover_state; }

    // Builds a card for a skin record. A record lacking one of the keys
    // name, MainCategory, subcategory, pak_original, sig_original makes no
    // card: returns nullptr and, if `invalid_record_error` is given, sets it
    // to "皮肤数据缺少" + key + "字段". The card has no parent; the layout
    // that receives it adopts it.
    static SkinWidget *create(const QJsonObject &skin_data, const QString &game_dir,
                              QString *invalid_record_error = nullptr);
    ~SkinWidget() override;

    QJsonObject skin_data;
    QString game_dir;
    DownloadManager *download_manager = nullptr;

    QWidget *cover_container = nullptr;
    QLabel *cover = nullptr;
    QLabel *name_label = nullptr;
    QPushButton *zoom_button = nullptr;
    QPushButton *action_button = nullptr;
    QPushButton *cancel_button = nullptr;

    void init_ui();
    void setup_shadow();

    // Cover: at once from the cache, else the loading look until the
    // server's answer shows it, or the "暂无封面" placeholder.
    void load_cover();
    // The cover at full size from the cache; null when none is cached.
    QPixmap _load_cover_image();
    void _set_cover_pixmap(const QPixmap &pixmap);
    void _set_placeholder_image();

    // (sig file name, pak file name): last path components of the record's
    // sig_original and pak_original.
    QPair<QString, QString> _get_filenames() const;
    // "卸载" when either file lies anywhere below the mod folder, else "安装".
    void _check_installation_status();
    // Points the card at another game folder and, unless it shows a
    // download, looks afresh whether the skin is installed there.
    void set_game_dir(const QString &folder);

    // Opens the full-size cover in a modal viewer.
    void show_enlarged_image();
    // The viewer's window icon. The main window hands in its own; a card
    // shown anywhere else uses icon.ico beside the program.
    void set_viewer_icon_path(const QString &path) { m_viewer_icon_path = path; }

signals:
    void show_message_signal(const QString &title, const QString &message, const QString &kind);
    void cover_state_changed(SkinWidget::CoverState state);

public slots:
    void _handle_action();
    void _handle_cancel();
    void _handle_download_started(const QString &skin_id);
    void _handle_download_progress(const QString &skin_id, int progress);
    void _handle_download_completed(const QString &skin_id);
    void _handle_download_failed(const QString &skin_id, const QString &error);
    void _handle_download_cancelled(const QString &skin_id);

public:
    void _start_download();
    // Deletes every copy of the skin's two files below the mod folder, then
    // confirms, names the copies that could not be removed, or says where
    // it looked when there was nothing to remove.
    void _uninstall_skin();
    // The green modal confirmation; returns once it is closed.
    void _show_success_dialog(const QString &title, const QString &message);

private:
    SkinWidget(const QJsonObject &skin_data, const QString &game_dir);

    // The cover area in the screen's own pixels.
    QSize _cover_pixel_size() const;
    void _show_cover(const QImage &cropped);
    void _set_loading_look();
    // The cover area's plain background, at the screen's pixel size.
    QPixmap _blank_cover() const;
    // Text and look only; the installed check must not touch the rest.
    void _set_resting_state(bool installed);
    // Leaves the downloading state: button enabled again, cancel hidden.
    void _end_download(bool installed);
    bool _is_mine(const QString &skin_id) const;
    void _set_cover_state(CoverState state);
    // Paths of the files below the mod folder named like the skin's sig or
    // pak file; with `first_only` the walk stops at the first one.
    QStringList _find_skin_files(bool first_only) const;

    CoverState m_cover_state = CoverState::Loading;
    bool m_enlarging = false;
    QString m_viewer_icon_path;
};
