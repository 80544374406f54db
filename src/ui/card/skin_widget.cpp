#include "ui/card/skin_widget.h"

#include "core/install/install_states.h"

#include "ui/card/button_styles.h"
#include "core/covers/cover_cache.h"
#include "core/covers/cover_store.h"
#include "ui/card/magnifier.h"
#include "core/download/download_manager.h"
#include "core/install/file_ops.h"
#include "core/install/install_store.h"
#include "core/install/installed_skins.h"
#include "core/install/skin_files.h"
#include "core/install/uninstall.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "ui/widgets/elided_label.h"
#include "ui/widgets/image_preview_dialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char *const CARD_STYLE = R"(
SkinWidget {
    background-color: #FFFFFF;
    border-radius: 12px;
    border: none;
}
)";

const char *const COVER_STYLE = R"(
QLabel {
    border: 1px solid #e8e8e8;
    border-radius: 8px;
    background-color: #f8f9fa;
}
)";

const char *const NAME_LABEL_STYLE = R"(
QLabel {
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 rgba(0, 0, 0, 0.8), stop: 1 rgba(0, 0, 0, 0));
    color: white;
    padding: 8px 12px;
    font: 500 14px 'Microsoft YaHei';
}
)";

const char *const ZOOM_BUTTON_STYLE = R"(
QPushButton {
    background-color: rgba(255, 255, 255, 0.92);
    border: none;
    border-radius: 16px;
    min-width: 32px;
    max-width: 32px;
    min-height: 32px;
    max-height: 32px;
    padding: 0px;
    margin: 0px;
    font-size: 16px;%1
}
QPushButton:hover {
    background-color: rgba(255, 255, 255, 0.98);
}
QPushButton:pressed {
    background-color: rgba(245, 245, 245, 0.98);
}
)";

// "文件损坏" over the cover's top left corner.
const char *const DAMAGE_LABEL_STYLE =
    "background-color: rgba(220, 38, 38, 0.92); color: white; border-radius: 6px;"
    " padding: 3px 8px; font: bold 12px 'Microsoft YaHei';";

// The tall rounded look of the action button before the installed check
// picks its real one, and of the cancel button.
QString pill_button_style(const char *background, const char *hover, const char *pressed,
                          int min_width)
{
    return QStringLiteral(R"(
QPushButton {
    background-color: %1;
    color: white;
    border: none;
    border-radius: 18px;
    font: 500 13px 'Microsoft YaHei';
    padding: 8px 16px;
    min-width: %4px;
}
QPushButton:hover {
    background-color: %2;
}
QPushButton:pressed {
    background-color: %3;
}
)").arg(QLatin1String(background), QLatin1String(hover), QLatin1String(pressed))
        .arg(min_width);
}

// The action button's look as first built; an uninstall puts it back.
QString first_action_button_style()
{
    return pill_button_style("#4CAF50", "#45a049", "#3d8b40", 80);
}

const char *const SUCCESS_DIALOG_STYLE = R"(
QDialog {
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #4CAF50, stop: 1 #45a049);
    border-radius: 15px;
    border: 2px solid #2E7D32;
}
QLabel {
    color: white;
    font-weight: bold;
    font-size: 16px;
    background: transparent;
    border: none;
}
QPushButton {
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #FFFFFF, stop: 1 #F0F0F0);
    border: 2px solid #2E7D32;
    border-radius: 10px;
    padding: 8px 16px;
    font-weight: bold;
    font-size: 14px;
    color: #2E7D32;
    min-width: 80px;
}
QPushButton:hover {
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #E8F5E8, stop: 1 #D0E8D0);
    border: 2px solid #1B5E20;
}
QPushButton:pressed {
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #C8E6C9, stop: 1 #A5D6A7);
}
)";

const char *const SUCCESS_ICON_STYLE =
    "font-size: 48px; color: white; background: transparent; border: none;";

const QStringList REQUIRED_KEYS = {
    QStringLiteral("name"), QStringLiteral("MainCategory"), QStringLiteral("subcategory"),
    QStringLiteral("pak_original"), QStringLiteral("sig_original"),
};

const QString INSTALLED_TEXT = QStringLiteral("卸载");
const QString NOT_INSTALLED_TEXT = QStringLiteral("安装");

// The zoom button shows the magnifier emoji in the one font that has it, or
// the drawn magnifier (see card/magnifier.h).
void show_magnifier(QPushButton *button)
{
    const QString family = magnifier_emoji_family();
    if (family.isEmpty()) {
        button->setStyleSheet(QString::fromUtf8(ZOOM_BUTTON_STYLE).arg(QString()));
        button->setIcon(drawn_magnifier_icon(18));
        button->setIconSize(QSize(18, 18));
        return;
    }
    QFont font(family);
    font.setStyleStrategy(QFont::NoFontMerging);
    button->setFont(font);
    button->setStyleSheet(QString::fromUtf8(ZOOM_BUTTON_STYLE)
                              .arg(QStringLiteral("\n    font-family: \"%1\";").arg(family)));
    button->setText(QString::fromUcs4(&MAGNIFIER_EMOJI, 1));
}

} // namespace

SkinWidget *SkinWidget::create(const QJsonObject &skin_data, const QString &game_dir, DownloadManager &downloads,
                               const InstallStates &states, CoverStore &covers, QString *invalid_record_error)
{
    // A pair of files no record names: checked as carefully as a server
    // record, since its uninstall deletes exactly what it names.
    if (skin_data.contains(QStringLiteral("file_pair"))) {
        if (!file_pair_of(skin_data, QString())) {
            if (invalid_record_error)
                *invalid_record_error = QStringLiteral("皮肤数据缺少file_pair字段");
            return nullptr;
        }
        return new SkinWidget(skin_data, game_dir, downloads, states, covers);
    }
    for (const QString &key : REQUIRED_KEYS) {
        if (!skin_data.contains(key)) {
            if (invalid_record_error)
                *invalid_record_error = QStringLiteral("皮肤数据缺少") + key + QStringLiteral("字段");
            return nullptr;
        }
    }
    return new SkinWidget(skin_data, game_dir, downloads, states, covers);
}

SkinWidget::SkinWidget(const QJsonObject &data, const QString &folder, DownloadManager &downloads,
                       const InstallStates &states, CoverStore &covers)
    : QWidget(nullptr), m_skin_data(data), m_game_dir(folder), m_downloads(&downloads), m_states(&states),
      m_covers(&covers),
      m_file_pair(data.contains(QStringLiteral("file_pair")))
{
    init_ui();
    load_cover();
    check_installation_status();
    // A file pair has no cover to enlarge and nothing to download.
    if (m_file_pair) {
        m_zoom_button->hide();
        return;
    }

    connect(m_downloads, &DownloadManager::task_started,
            this, &SkinWidget::on_download_started);
    connect(m_downloads, &DownloadManager::progress_updated,
            this, &SkinWidget::on_download_progress);
    connect(m_downloads, &DownloadManager::task_completed,
            this, &SkinWidget::on_download_completed);
    connect(m_downloads, &DownloadManager::task_failed,
            this, &SkinWidget::on_download_failed);
    connect(m_downloads, &DownloadManager::task_cancelled,
            this, &SkinWidget::on_download_cancelled);
    connect(&m_downloads->installs(), &InstallStore::skin_changed, this, [this](const QString &skin_id) {
        if (is_mine(skin_id))
            draw_state();
    });
    connect(m_states, &InstallStates::listing_changed, this, [this] {
        // A card that shows a download keeps showing it.
        if (state().phase != SkinPhase::Downloading)
            check_installation_status();
    });
    connect(m_refresh_button, &QPushButton::clicked, this, &SkinWidget::start_download);
}

SkinWidget::~SkinWidget() = default;

void SkinWidget::init_ui()
{
    setFixedSize(CARD_WIDTH, CARD_HEIGHT);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // A QWidget subclass paints its style sheet background only when asked.
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QString::fromUtf8(CARD_STYLE));

    auto *main_layout = new QVBoxLayout;
    main_layout->setContentsMargins(12, 12, 12, 12);
    main_layout->setSpacing(10);

    const int cover_width = CARD_WIDTH - 24;
    m_cover_container = new QWidget;
    m_cover_container->setFixedSize(cover_width, COVER_HEIGHT);

    m_cover = new QLabel(m_cover_container);
    m_cover->setGeometry(0, 0, cover_width, COVER_HEIGHT);
    m_cover->setAlignment(Qt::AlignCenter);
    m_cover->setStyleSheet(QString::fromUtf8(COVER_STYLE));

    // A cut name shows whole as the tooltip; a file pair keeps its ".pak" ending.
    m_name_label = new ElidedLabel(record_text(m_skin_data, QStringLiteral("name")),
                                   m_file_pair ? Qt::ElideMiddle : Qt::ElideRight, m_cover_container);
    m_name_label->setGeometry(0, COVER_HEIGHT - 48, cover_width, 48);
    m_name_label->setAlignment(Qt::AlignBottom | Qt::AlignCenter);
    m_name_label->setStyleSheet(QString::fromUtf8(NAME_LABEL_STYLE));

    m_zoom_button = new QPushButton(m_cover_container);
    m_zoom_button->setGeometry(cover_width - 36, 8, 32, 32);
    show_magnifier(m_zoom_button);
    auto *zoom_shadow = new QGraphicsDropShadowEffect(m_zoom_button);
    zoom_shadow->setBlurRadius(8);
    zoom_shadow->setOffset(1, 1);
    zoom_shadow->setColor(QColor(0, 0, 0, 20));
    m_zoom_button->setGraphicsEffect(zoom_shadow);

    m_action_button = new QPushButton(NOT_INSTALLED_TEXT);
    m_action_button->setFixedSize(100, 36);
    m_action_button->setStyleSheet(first_action_button_style());

    m_cancel_button = new QPushButton(QStringLiteral("取消"));
    m_cancel_button->setFixedSize(80, 36);
    m_cancel_button->setStyleSheet(pill_button_style("#f44336", "#da190b", "#c62828", 60));
    m_cancel_button->hide();

    m_refresh_button = new QPushButton;
    m_refresh_button->setFixedSize(80, 36);
    m_refresh_button->hide();

    m_damage_label = new QLabel(QStringLiteral("文件损坏"), m_cover_container);
    m_damage_label->setStyleSheet(QString::fromUtf8(DAMAGE_LABEL_STYLE));
    m_damage_label->adjustSize();
    m_damage_label->move(8, 8);
    m_damage_label->hide();

    auto *button_layout = new QHBoxLayout;
    button_layout->setAlignment(Qt::AlignCenter);
    button_layout->addWidget(m_action_button);
    button_layout->addWidget(m_refresh_button);
    button_layout->addWidget(m_cancel_button);

    main_layout->addWidget(m_cover_container);
    main_layout->addLayout(button_layout);
    setLayout(main_layout);

    setup_shadow();

    connect(m_action_button, &QPushButton::clicked, this, &SkinWidget::handle_action);
    connect(m_cancel_button, &QPushButton::clicked, this, &SkinWidget::handle_cancel);
    connect(m_zoom_button, &QPushButton::clicked, this, &SkinWidget::show_enlarged_image);
}

void SkinWidget::setup_shadow()
{
    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(8);
    shadow->setOffset(0, 2);
    shadow->setColor(QColor(0, 0, 0, 20));
    setGraphicsEffect(shadow);
}

// --- cover ------------------------------------------------------------------

QSize SkinWidget::cover_size_in_pixels() const
{
    return cover_pixel_size(devicePixelRatioF());
}

void SkinWidget::load_cover()
{
    const QString url = cover_url(m_covers->endpoints(), m_skin_data);
    if (url.isEmpty()) {
        set_placeholder_image();
        return;
    }
    const QImage image = take_prefetched_cover(cover_cache_path(url));
    if (image.size() == cover_size_in_pixels()) {
        show_cover(image);
        return;
    }
    // A cached cover replaces the loading look before anything is painted.
    set_loading_look();
    m_covers->fetch(url, cover_size_in_pixels(), this, [this](const QImage &cover) {
        if (cover.isNull())
            set_placeholder_image();
        else
            show_cover(cover);
    });
}

void SkinWidget::set_cover_pixmap(const QPixmap &pixmap)
{
    show_cover(crop_cover(pixmap.toImage(), cover_size_in_pixels()));
}

void SkinWidget::show_cover(const QImage &cropped)
{
    // Made at the screen's pixel size, so shown one pixel for one.
    QPixmap pixmap = QPixmap::fromImage(cropped);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_cover->setPixmap(pixmap);
    set_cover_state(CoverState::Shown);
}

QPixmap SkinWidget::blank_cover() const
{
    QPixmap pixmap(cover_size_in_pixels());
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    pixmap.fill(QColor(245, 245, 245));
    return pixmap;
}

void SkinWidget::set_loading_look()
{
    m_cover->setPixmap(blank_cover());
    set_cover_state(CoverState::Loading);
}

void SkinWidget::set_placeholder_image()
{
    QPixmap pixmap = blank_cover();
    QPainter painter(&pixmap);
    painter.setPen(QColor(180, 180, 180));
    painter.setFont(QFont(QStringLiteral("Microsoft YaHei"), 12));
    // The painter works in logical pixels; the pixmap's own rectangle is in
    // device pixels and would put the text off-centre above 100 %.
    const QRectF area(QPointF(0, 0), QSizeF(pixmap.size()) / pixmap.devicePixelRatioF());
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("暂无封面"));
    painter.end();
    m_cover->setPixmap(pixmap);
    set_cover_state(CoverState::Missing);
}

void SkinWidget::set_cover_state(CoverState state)
{
    m_cover_state = state;
    emit cover_state_changed(state);
}

// --- installed state --------------------------------------------------------

QPair<QString, QString> SkinWidget::file_names(const QJsonObject &skin_data)
{
    const SkinFileNames names = skin_file_names(skin_data);
    return {names.sig, names.pak};
}

void SkinWidget::check_installation_status()
{
    m_on_disk = m_file_pair ? !file_pair_paths().isEmpty() : m_states->on_disk(m_game_dir, skin_file_names(m_skin_data));
    draw_state();
}

SkinState SkinWidget::state() const
{
    const QString skin_id = record_text(m_skin_data, QStringLiteral("name"));
    const SkinState now = m_states->state(skin_id, m_on_disk, m_file_pair);
    // A card built while its skin downloads shows that from the first report it hears.
    if (now.phase == SkinPhase::Downloading && !m_heard)
        return skin_state(m_downloads->installs(), skin_id, m_on_disk, m_file_pair, QueuePhase::None, -1);
    return now;
}

QStringList SkinWidget::file_pair_paths() const
{
    QStringList paths;
    if (m_game_dir.isEmpty())
        return paths;
    if (const std::optional<SkinFilePair> pair = file_pair_of(m_skin_data, mod_folder_path(m_game_dir))) {
        for (const QString &name : {pair->pak, pair->sig}) {
            const QString path = pair->folder + QLatin1Char('/') + name;
            if (QFileInfo(path).isFile())
                paths << path;
        }
    }
    return paths;
}

void SkinWidget::set_game_dir(const QString &folder)
{
    m_game_dir = folder;
    // A card that shows a download keeps showing it; the manager's signals
    // end that state.
    if (state().phase != SkinPhase::Downloading)
        check_installation_status();
}

void SkinWidget::draw_state()
{
    const SkinState now = state();
    const bool downloading = now.phase == SkinPhase::Downloading;
    m_cancel_button->setVisible(downloading && m_saw_start);
    m_damage_label->setVisible(now.phase == SkinPhase::Damaged);
    m_refresh_button->setVisible(now.phase == SkinPhase::Damaged || now.phase == SkinPhase::Updatable);
    if (now.phase == SkinPhase::Damaged) {
        m_refresh_button->setText(QStringLiteral("修复"));
        m_refresh_button->setStyleSheet(REPAIR_BUTTON_STYLE);
    } else if (now.phase == SkinPhase::Updatable) {
        m_refresh_button->setText(QStringLiteral("更新"));
        m_refresh_button->setStyleSheet(UPDATE_BUTTON_STYLE);
    }
    if (downloading) {
        // The button keeps the look it had when the download began.
        m_action_button->setText(now.percent < 0 ? QStringLiteral("下载中...")
                                                 : QStringLiteral("下载中 ") + QString::number(now.percent)
                                                       + QStringLiteral("%"));
        m_action_button->setEnabled(!m_saw_start);
        return;
    }
    m_first_look = m_first_look && !now.removable();
    m_action_button->setText(now.removable() ? INSTALLED_TEXT : NOT_INSTALLED_TEXT);
    m_action_button->setStyleSheet(now.removable() ? UNINSTALL_BUTTON_STYLE
                                   : m_first_look  ? first_action_button_style()
                                                   : INSTALL_BUTTON_STYLE);
    // A file pair's card offers "卸载" only while a file of the pair is there.
    m_action_button->setEnabled(now.phase != SkinPhase::UnknownPair || m_on_disk);
}

void SkinWidget::end_download(bool installed)
{
    m_saw_start = false;
    m_heard = false;
    // An update or repair that did not finish left the old pair in place.
    if (installed) {
        m_on_disk = true;
        draw_state();
    } else {
        check_installation_status();
    }
}

// --- enlarged cover ---------------------------------------------------------

void SkinWidget::show_enlarged_image()
{
    // One viewer per click: a second click while the cover comes is ignored.
    if (m_enlarging)
        return;
    m_enlarging = true;
    m_covers->fetch(cover_url(m_covers->endpoints(), m_skin_data), QSize(), this, [this](const QImage &full) {
        // Opened from the event loop, never inside the click itself.
        QMetaObject::invokeMethod(this, [this, full] {
            m_enlarging = false;
            if (full.isNull()) {
                emit show_message_signal(QStringLiteral("提示"),
                                         QStringLiteral("该皮肤暂无封面图片，将显示默认图片"),
                                         QStringLiteral("info"));
                return;
            }
            QString icon_path = m_viewer_icon_path;
            if (icon_path.isEmpty())
                icon_path = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("icon.ico"));
            // A window of its own, modal but not run in a loop of the card's:
            // a page rebuilt while it shows deletes the card, never the viewer.
            auto *viewer = new ImagePreviewDialog(QPixmap::fromImage(full), icon_path);
            viewer->setAttribute(Qt::WA_DeleteOnClose);
            viewer->setWindowModality(Qt::ApplicationModal);
            viewer->show();
        }, Qt::QueuedConnection);
    });
}

// --- install and download feedback -------------------------------------------

bool SkinWidget::is_mine(const QString &skin_id) const
{
    return skin_id == record_text(m_skin_data, QStringLiteral("name"));
}

void SkinWidget::handle_action()
{
    if (state().removable())
        uninstall_skin();
    else
        start_download();
}

void SkinWidget::start_download()
{
    if (m_game_dir.isEmpty()) {
        emit show_message_signal(QStringLiteral("游戏目录未设置"),
                                 QStringLiteral("请先检测游戏目录才能安装皮肤"),
                                 QStringLiteral("warning"));
        return;
    }
    m_downloads->add_task({record_text(m_skin_data, QStringLiteral("name")), m_skin_data, m_game_dir});
}

void SkinWidget::uninstall_skin()
{
    if (m_game_dir.isEmpty()) {
        emit show_message_signal(QStringLiteral("游戏目录未设置"),
                                 QStringLiteral("请先检测游戏目录才能卸载皮肤"),
                                 QStringLiteral("warning"));
        return;
    }
    QPair<QString, QString> names = file_names(m_skin_data);
    if (m_file_pair) {
        const QJsonObject pair = m_skin_data.value(QStringLiteral("file_pair")).toObject();
        names = {pair.value(QStringLiteral("sig")).toString(), pair.value(QStringLiteral("pak")).toString()};
    }
    const QString mod_folder = mod_folder_path(m_game_dir);
    // All matches are gathered before the first removal, so the walk never
    // runs over entries that vanish under it; every copy goes, not just one.
    // A file pair is exactly its two files.
    const QStringList paths = m_file_pair ? file_pair_paths()
                                          : ModFiles::of_game(m_game_dir).paths_of(skin_file_names(m_skin_data));
    // The files and the record go as one step: all of them, or none.
    const UninstallResult result =
        uninstall_files(mod_folder, paths, m_file_pair ? QString() : record_text(m_skin_data, QStringLiteral("name")),
                        m_downloads->installs());
    for (const QString &file_path : result.removed)
        applog::info(QStringLiteral("已删除文件: ") + QDir::toNativeSeparators(file_path));
    QStringList kept;   // below the mod folder, as shown to the user
    for (const QString &file_path : result.kept) {
        applog::warning(QStringLiteral("删除文件失败: ") + QDir::toNativeSeparators(file_path));
        kept << QDir::toNativeSeparators(QDir(mod_folder).relativeFilePath(file_path));
    }
    const bool deleted = !result.removed.isEmpty();
    if (deleted)
        emit uninstalled();
    if (!kept.isEmpty()) {
        // Some copy is still there (on Windows the running game holds its
        // files open): the skin is not uninstalled, and the card stays so.
        // One name per line keeps each whole in the narrow message box.
        emit show_message_signal(
            QStringLiteral("卸载失败"),
            QStringLiteral("以下皮肤文件无法删除:\n") + kept.join(QLatin1Char('\n'))
                + QStringLiteral("\n\n文件可能正被游戏使用，请关闭游戏后重试"),
            QStringLiteral("warning"));
        return;
    }
    if (deleted) {
        m_on_disk = false;
        m_first_look = true;
        draw_state();
        show_success_dialog(QStringLiteral("卸载成功"), QStringLiteral("皮肤已成功卸载"));
        return;
    }
    // Nothing of it is there any more: the card offers to install it.
    if (!m_file_pair) {
        m_on_disk = false;
        draw_state();
    }
    emit show_message_signal(
        QStringLiteral("卸载提示"),
        QStringLiteral("未找到已安装的皮肤文件\n搜索路径: ")
            + QDir::toNativeSeparators(mod_folder)
            + QStringLiteral("\n目标文件: ") + names.first + QStringLiteral(", ") + names.second
            + QStringLiteral("\n\n可能原因：文件已被删除或未正确安装"),
        QStringLiteral("info"));
}

void SkinWidget::show_success_dialog(const QString &title, const QString &message)
{
    // Owned by the window, and opened without a loop of the card's: a page
    // rebuilt while it shows deletes the card, never the dialog.
    auto *dialog = new QDialog(window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setFixedSize(300, 200);
    dialog->setStyleSheet(QString::fromUtf8(SUCCESS_DIALOG_STYLE));

    auto *layout = new QVBoxLayout(dialog);
    auto *icon_label = new QLabel(QStringLiteral("✓"));
    icon_label->setAlignment(Qt::AlignCenter);
    icon_label->setStyleSheet(QString::fromUtf8(SUCCESS_ICON_STYLE));
    auto *message_label = new QLabel(message);
    message_label->setAlignment(Qt::AlignCenter);
    message_label->setWordWrap(true);
    auto *ok_button = new QPushButton(QStringLiteral("确定"));
    connect(ok_button, &QPushButton::clicked, dialog, &QDialog::accept);

    layout->addWidget(icon_label);
    layout->addWidget(message_label);
    layout->addStretch();
    layout->addWidget(ok_button);
    dialog->open();
}

void SkinWidget::handle_cancel()
{
    if (!m_downloads->cancel_task(record_text(m_skin_data, QStringLiteral("name")))) {
        emit show_message_signal(QStringLiteral("提示"), QStringLiteral("该任务不在下载队列中"),
                                 QStringLiteral("info"));
    }
}

void SkinWidget::on_download_started(const QString &skin_id)
{
    if (!is_mine(skin_id))
        return;
    m_first_look = false;
    m_heard = true;
    m_saw_start = true;
    draw_state();
}

void SkinWidget::on_download_progress(const QString &skin_id, int progress)
{
    if (!is_mine(skin_id))
        return;
    Q_UNUSED(progress)
    m_heard = true;
    draw_state();
}

void SkinWidget::on_download_completed(const QString &skin_id)
{
    if (!is_mine(skin_id))
        return;
    end_download(true);
}

void SkinWidget::on_download_failed(const QString &skin_id, const QString &error)
{
    if (!is_mine(skin_id))
        return;
    end_download(false);
    emit show_message_signal(QStringLiteral("下载失败"),
                             QStringLiteral("皮肤下载失败: ") + error
                                 + QStringLiteral("，请检查网络连接后重试"),
                             QStringLiteral("critical"));
}

void SkinWidget::on_download_cancelled(const QString &skin_id)
{
    if (!is_mine(skin_id))
        return;
    end_download(false);
}
