#include "core/download/download_worker.h"

#include "core/support/log.h"
#include "core/net/http_client.h"
#include "core/net/resumable_get.h"
#include "core/install/file_ops.h"
#include "core/install/install_journal.h"
#include "core/install/install_store.h"
#include "core/install/installed_skins.h"
#include "core/install/skin_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

int download_percent(qint64 downloaded, qint64 total)
{
    // Without any measured size there is nothing to divide by; the transfer
    // goes on and reports 0 until it ends.
    if (total <= 0)
        return 0;
    // A body longer than its measured size would run past 100, and far
    // enough past it the conversion to int is undefined.
    const double percent = static_cast<double>(downloaded) / static_cast<double>(total) * 100.0;
    return static_cast<int>(qBound(0.0, percent, 100.0));
}

DownloadWorker::DownloadWorker(const DownloadTask &task, HttpClient &client, const ServerEndpoints &endpoints,
                               QObject *parent)
    : QObject(parent), m_task(task), m_client(client), m_endpoints(endpoints)
{
}

void DownloadWorker::set_timeouts(int head_seconds, int get_seconds)
{
    m_head_timeout_seconds = head_seconds;
    m_get_timeout_seconds = get_seconds;
}

void DownloadWorker::cancel()
{
    m_is_cancelled.store(true);
}

QStringList DownloadWorker::temp_paths() const
{
    QStringList paths;
    for (const DownloadFileInfo &file : m_files)
        paths << file.temp_path;
    return paths;
}

void DownloadWorker::run()
{
    const QString skin_name = m_task.skin_data.value(QStringLiteral("name")).toString();
    QString error_text;
    switch (download_files(skin_name, error_text)) {
    case Outcome::Done:
        emit installed(m_record);
        emit finished(skin_name);
        break;
    case Outcome::Cancelled:
        // The manager reports the cancellation itself.
        break;
    case Outcome::Failed:
        remove_temp_files();
        applog::error(QStringLiteral("下载失败: ") + skin_name + QStringLiteral(" - ") + error_text);
        emit error(skin_name, error_text);
        break;
    }
}

void DownloadWorker::remove_temp_files()
{
    for (const DownloadFileInfo &file : m_files)
        safe_remove(file.temp_path);
}

DownloadWorker::Outcome DownloadWorker::download_files(const QString &skin_name, QString &error_text)
{
    const QString install_dir = mod_folder_path(m_task.game_dir);
    const QString pak_original = m_task.skin_data.value(QStringLiteral("pak_original")).toString();
    const QString sig_original = m_task.skin_data.value(QStringLiteral("sig_original")).toString();

    // The names come from the server: keep only the last path component and
    // refuse, before anything is written, one that is no plain file name.
    for (const QString &original : {pak_original, sig_original}) {
        if (!is_safe_file_name(skin_file_name(original))) {
            error_text = QStringLiteral("文件名无效: ") + original;
            return Outcome::Failed;
        }
    }

    if (!QDir().mkpath(install_dir)) {
        error_text = QStringLiteral("无法创建目录: ") + QDir::toNativeSeparators(install_dir);
        return Outcome::Failed;
    }
    applog::info(QStringLiteral("已创建或确认目录存在: ") + QDir::toNativeSeparators(install_dir));

    const QList<QPair<QString, QString>> wanted = {
        {skin_package_url(m_endpoints, m_task.skin_data), skin_file_name(pak_original)},
        {skin_signature_url(m_endpoints, m_task.skin_data), skin_file_name(sig_original)},
    };

    m_total_size = 0;
    for (const auto &entry : wanted) {
        // Asked as the GET will ask, so the size is that of the bytes it gets.
        const HttpResult head = m_client.head(url_from_text(entry.first), m_head_timeout_seconds,
                                              &m_is_cancelled, file_request_headers());
        if (head.cancelled)
            return Outcome::Cancelled;
        if (!head.ok) {
            error_text = head.error_text();
            return Outcome::Failed;
        }
        DownloadFileInfo file;
        file.url = entry.first;
        file.filename = entry.second;
        file.final_path = install_dir + QLatin1Char('/') + file.filename;
        file.temp_path = file.final_path + QStringLiteral(".tmp");
        file.measured_size = head.content_length;
        m_total_size += qMax<qint64>(head.content_length, 0);
        m_files.append(file);
    }

    m_downloaded = 0;
    for (DownloadFileInfo &file : m_files) {
        if (m_is_cancelled.load())
            break;
        const Outcome outcome = transfer(file, skin_name, error_text);
        if (outcome == Outcome::Failed)
            return outcome;
        if (outcome == Outcome::Cancelled)
            break;
    }
    // Nothing is moved before both files are whole, so a cancelled or failed
    // download leaves the mod folder as it found it.
    if (m_is_cancelled.load()) {
        remove_temp_files();
        return Outcome::Cancelled;
    }
    return move_into_place(error_text);
}

DownloadWorker::Outcome DownloadWorker::move_into_place(QString &error_text)
{
    const QString folder = mod_folder_path(m_task.game_dir);
    // One step in the folder's journal at a time (an uninstall on the GUI
    // thread takes it too).
    const install_journal::Hold hold(true);
    // An install cut short earlier in this folder is undone before its
    // journal makes way for this one.
    if (!install_journal::recover(folder)) {
        error_text = QStringLiteral("上次未完成的安装无法恢复: ") + QDir::toNativeSeparators(folder);
        return Outcome::Failed;
    }
    QVector<install_journal::Entry> entries;
    for (const DownloadFileInfo &file : qAsConst(m_files))
        entries.append({file.filename, QFileInfo(file.final_path).isFile()});
    // Every other copy of the skin below the mod folder goes in the same
    // step, or the game would load two of them.
    const QStringList copies = other_copies(folder);
    for (const QString &copy : copies)
        entries.append({install_journal::entry_name(folder, copy), true});
    // The record is known before the moves: a rename keeps size and time.
    m_record = install_record();
    install_journal::RecordChange change;
    change.put = m_record;
    if (ended())
        return Outcome::Cancelled;
    const QString journal_error = install_journal::write(folder, entries, change);
    if (!journal_error.isEmpty()) {
        error_text = QStringLiteral("无法写入安装记录: ") + journal_error;
        return Outcome::Failed;
    }

    // An older copy steps aside under a backup name until both new files
    // stand in place. A failed move, or a cancel, undoes the moves as the
    // next start would: by the journal. What cannot be put back is named.
    const auto undo = [&](QString *not_restored) {
        QStringList lost;
        if (install_journal::recover(folder, &lost))
            return true;
        // A journal that cannot be removed names nothing lost: it is undone again next time.
        if (!lost.isEmpty())
            *not_restored = QStringLiteral("\n无法恢复原文件: ") + lost.join(QStringLiteral(", "));
        return false;
    };
    const auto fail = [&](const QString &path) {
        error_text = QStringLiteral("无法移动文件到目标位置: ") + QDir::toNativeSeparators(path);
        QString not_restored;
        if (!undo(&not_restored))
            error_text += not_restored;
        return Outcome::Failed;
    };

    for (const QString &copy : copies) {
        if (ended())
            return Outcome::Cancelled;
        if (!safe_rename(copy, install_journal::backup_path(copy)))
            return fail(copy);
    }
    for (const DownloadFileInfo &file : qAsConst(m_files)) {
        if (QFileInfo(file.final_path).isFile()) {
            if (ended())
                return Outcome::Cancelled;
            if (!safe_rename(file.final_path, install_journal::backup_path(file.final_path)))
                return fail(file.final_path);
        }
        if (ended())
            return Outcome::Cancelled;
        if (!safe_rename(file.temp_path, file.final_path))
            return fail(file.final_path);
    }

    // A cancel that came while the files were being moved still means "not
    // installed": the card will say so.
    if (m_is_cancelled.load()) {
        QString not_restored;
        if (undo(&not_restored))
            return Outcome::Cancelled;
        error_text = QStringLiteral("下载已取消，但安装无法撤销") + not_restored;
        return Outcome::Failed;
    }
    // Both new files stand: the mark makes the install done, whatever comes
    // next. The store takes the record from the journal (the manager, on
    // the GUI thread, or the next start); then the backups are deleted, and
    // the journal last, so no backup outlives the record that says it is
    // done with, and never is the record older than the files.
    if (ended())
        return Outcome::Cancelled;
    const QString commit_error = install_journal::commit(folder);
    if (!commit_error.isEmpty()) {
        error_text = QStringLiteral("无法写入安装记录: ") + commit_error;
        QString not_restored;
        if (!undo(&not_restored))
            error_text += not_restored;
        return Outcome::Failed;
    }
    if (ended())
        return Outcome::Cancelled;
    return Outcome::Done;
}

bool DownloadWorker::ended()
{
    return m_end_after_steps >= 0 && m_steps++ >= m_end_after_steps;
}

QStringList DownloadWorker::other_copies(const QString &folder) const
{
    SkinFileNames names;
    for (const DownloadFileInfo &file : m_files)
        (names.pak.isEmpty() ? names.pak : names.sig) = file.filename;
    QStringList copies;
    for (const QString &path : ModFiles::list(folder).paths_of(names)) {
        const bool own = std::any_of(m_files.cbegin(), m_files.cend(),
                                     [&](const DownloadFileInfo &file) { return file.final_path == path; });
        if (!own && !install_journal::entry_name(folder, path).isEmpty())
            copies << path;
    }
    return copies;
}

InstallRecord DownloadWorker::install_record() const
{
    InstallRecord record;
    record.skin_id = m_task.skin_id;
    record.name = m_task.skin_data.value(QStringLiteral("name")).toString();
    record.mod_folder = mod_folder_path(m_task.game_dir);
    record.installed_at = QDateTime::currentDateTimeUtc();
    for (const DownloadFileInfo &file : m_files) {
        const QFileInfo info(file.temp_path);
        InstalledFile installed;
        installed.path = file.filename;
        installed.url = file.url;
        installed.size = info.size();
        installed.sha256 = file.sha256;
        installed.etag = file.etag;
        installed.last_modified = file.last_modified;
        installed.modified = info.lastModified().toUTC();
        record.files.append(installed);
    }
    return record;
}

DownloadWorker::Outcome DownloadWorker::transfer(DownloadFileInfo &file, const QString &skin_name,
                                                 QString &error_text)
{
    ResumableGet get(m_client);
    get.url = url_from_text(file.url);
    get.file_path = file.temp_path;
    get.file_name = file.filename;
    get.timeout_seconds = m_get_timeout_seconds;
    get.fallback_total = file.measured_size;
    get.cancel = &m_is_cancelled;
    get.on_bytes = [this, &skin_name](qint64 delta) {
        // A file that starts again from zero takes its bytes back; the next
        // chunk shows the lower figure.
        m_downloaded += delta;
        if (delta > 0)
            emit progress(skin_name, download_percent(m_downloaded, m_total_size));
    };
    switch (get.run(error_text)) {
    case ResumableGet::Result::Done:
        file.sha256 = get.sha256_hex();
        file.etag = get.etag();
        file.last_modified = get.last_modified();
        return m_is_cancelled.load() ? Outcome::Cancelled : Outcome::Done;
    case ResumableGet::Result::Cancelled:
        return Outcome::Cancelled;
    case ResumableGet::Result::Failed:
        break;
    }
    return Outcome::Failed;
}
