#include "core/gamedir/game_dir_service.h"

#include "core/download/download_manager.h"
#include "core/install/install_journal.h"
#include "core/install/skin_files.h"
#include "core/gamedir/game_folder.h"
#include "core/gamedir/steam_library.h"
#include "core/gamedir/temp_cleanup.h"
#include "core/support/folder_identity.h"
#include "core/support/log.h"

#include <QDir>
#include <QThread>

#include <exception>
#include <memory>
#include <optional>

namespace {

const QString SETTINGS_KEY = QStringLiteral("game_dir");
const QString NOT_DETECTED_TEXT = QStringLiteral("✗ 未检测到Dread Hunger进程 (请先启动Dread Hunger)");

} // namespace

GameDirService::GameDirService(DownloadManager &downloads, QObject *parent)
    : QObject(parent), m_downloads(downloads)
{
}

QString GameDirService::load()
{
    m_game_dir = QDir::fromNativeSeparators(m_settings.value(SETTINGS_KEY, QString()).toString());
    if (m_game_dir.isEmpty())
        return QStringLiteral("请先启动Dread Hunger游戏后点击检测目录");
    recover_unfinished_install();
    return QStringLiteral("✓ 皮肤目录已加载");
}

GameDirService::Detection GameDirService::detect(const ProcessListing &listing)
{
    try {
        if (!listing.ok)
            return {QStringLiteral("✗ 进程检测失败: ") + listing.error};
        const QString exe = gamedir::find_game_exe(listing.processes);
        const QString root = exe.isEmpty() ? QString() : gamedir::game_root_from_exe(exe);
        ++m_generation;
        if (root.isEmpty())
            return {NOT_DETECTED_TEXT, false, true};
        const QString shown_root = QDir::toNativeSeparators(root);
        const QStringList problems = gamedir::validate_game_dir(root);
        if (!problems.isEmpty()) {
            // The status names the folder only; the reasons go to the log.
            for (const QString &problem : problems)
                applog::warning(problem);
            return {QStringLiteral("✗ 检测到游戏但皮肤目录验证失败: ") + shown_root};
        }
        return adopt(root);
    } catch (const std::exception &failure) {
        return {QStringLiteral("✗ 进程检测失败: ") + QString::fromLocal8Bit(failure.what())};
    }
}

GameDirService::Detection GameDirService::adopt(const QString &root)
{
    // The folder in use found again under another spelling (a process, the
    // registry and Steam's list each write it their own way) keeps the one
    // it has: the install records name their folder by it.
    if (!same_folder(root, m_game_dir))
        m_game_dir = root;
    const QString status = QStringLiteral("✓ 检测成功: ") + QDir::toNativeSeparators(m_game_dir);
    // The folder the skins will go to, for bug reports.
    applog::info(status);
    save();
    recover_unfinished_install();
    emit game_dir_changed(m_game_dir);
    return {status, true};
}

void GameDirService::search_steam(SteamSearchCause cause)
{
    const quint64 generation = ++m_generation;
    const QString stored = cause == SteamSearchCause::start ? m_game_dir : QString();
    auto answer = std::make_shared<std::optional<gamedir::SteamSearch>>();
    QThread *worker = QThread::create([stored, answer] {
        // A stored folder that still passes the checks needs no search; one
        // that is gone is not made again by the write check.
        if (!stored.isEmpty() && gamedir::missing_base_package(stored).isEmpty()
            && gamedir::validate_game_dir(stored).isEmpty())
            return;
        *answer = gamedir::search_steam(gamedir::steam_roots());
    });
    // Bound to this service: an answer after its end goes nowhere.
    connect(worker, &QThread::finished, this, [this, cause, generation, answer] {
        if (generation != m_generation)
            return;
        if (!answer->has_value()) {
            emit steam_searched(QString(), false);
            return;
        }
        const gamedir::SteamSearch &search = **answer;
        for (const gamedir::RejectedFolder &rejected : search.rejected) {
            applog::warning(QStringLiteral("Steam库中的游戏目录验证失败: ") + QDir::toNativeSeparators(rejected.folder));
            for (const QString &problem : rejected.problems)
                applog::warning(problem);
        }
        if (search.found.size() == 1) {
            const Detection taken = adopt(search.found.first());
            emit steam_searched(taken.status, true);
            return;
        }
        if (search.found.isEmpty()) {
            applog::info(search.libraries.isEmpty() ? QStringLiteral("未找到Steam库")
                                                     : QStringLiteral("Steam库中未找到可用的Dread Hunger目录"));
        } else {
            QStringList shown;
            for (const QString &folder : search.found)
                shown << QDir::toNativeSeparators(folder);
            applog::info(QStringLiteral("Steam库中找到多个Dread Hunger目录，未自动选择: ") + shown.join(QStringLiteral("; ")));
        }
        emit steam_searched(cause == SteamSearchCause::click ? NOT_DETECTED_TEXT : QString(), false);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void GameDirService::save()
{
    m_settings.setValue(SETTINGS_KEY, m_game_dir);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        applog::error(QStringLiteral("保存设置失败: ") + QDir::toNativeSeparators(m_settings.fileName()));
}

void GameDirService::recover_unfinished_install()
{
    // Not while a download runs: its own moves may be under way (it
    // recovers the folder itself before them).
    if (m_game_dir.isEmpty() || m_downloads.has_active_tasks())
        return;
    const install_journal::Hold hold(false);
    if (hold.held())
        install_journal::recover(mod_folder_path(m_game_dir), nullptr, m_downloads.installs().taker());
}

void GameDirService::cleanup_temp_files() const
{
    gamedir::cleanup_temp_files(m_game_dir, m_downloads.installs().taker());
}
