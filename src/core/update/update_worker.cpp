#include "core/update/update_worker.h"

#include "core/net/http_client.h"
#include "core/net/resumable_get.h"
#include "core/support/log.h"
#include "core/update/code_signature.h"
#include "core/update/elevated_launch.h"
#include "core/update/update_logic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>

namespace {

const QString DOWNLOAD_KEY = QStringLiteral("Furlane代理下载地址");

double now_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

UpdateWorker::UpdateWorker(HttpClient &http, const QJsonObject &info, int stall_limit_ms,
                           std::shared_ptr<std::atomic<bool>> stop)
    : QObject(nullptr)
    , m_http(http)
    , m_info(info)
    , m_stall_limit_ms(stall_limit_ms)
    , m_stop(std::move(stop))
{
}

UpdateWorker::~UpdateWorker() = default;

void UpdateWorker::run()
{
    const QString url = m_info.value(DOWNLOAD_KEY).toString();
    if (url.isEmpty()) {
        emit failed(QStringLiteral("服务器响应错误"));
        return;
    }

    // The name comes from the server: refuse any that would not stay a plain
    // file of the program's folder, before anything is deleted or written.
    QString reason;
    const QString new_exe = selfupdate::safe_file_name_from_url(url, &reason);
    if (new_exe.isEmpty()) {
        applog::error(QStringLiteral("下载新版本失败: ") + reason);
        emit failed(QStringLiteral("下载更新文件失败"));
        return;
    }

    // The new version goes beside the program, wherever the program was
    // started from; it must not take the running program's own place.
    const QString new_exe_path =
        selfupdate::update_target_path(QCoreApplication::applicationFilePath(), new_exe, &reason);
    if (new_exe_path.isEmpty()) {
        applog::error(QStringLiteral("下载新版本失败: ") + reason);
        emit failed(QStringLiteral("下载更新文件失败"));
        return;
    }

    if (QFileInfo::exists(new_exe_path) && !QFile::remove(new_exe_path))
        applog::warning(QStringLiteral("无法删除旧的更新文件: ") + QDir::toNativeSeparators(new_exe_path));

    emit progress(QStringLiteral("开始下载更新文件..."));
    if (!download(url, new_exe_path)) {
        emit failed(QStringLiteral("下载更新文件失败"));
        return;
    }

    // Only an update from the running program's own publisher is started
    // with administrator rights.
    const QString refusal = check_publisher(new_exe_path);
    if (!refusal.isEmpty()) {
        applog::error(refusal);
        if (!QFile::remove(new_exe_path))
            applog::warning(QStringLiteral("无法删除未通过签名校验的更新文件: ") + QDir::toNativeSeparators(new_exe_path));
        emit failed(refusal);
        return;
    }

    emit progress(QStringLiteral("下载完成，准备安装更新..."));
    QString launch_error;
    if (!install(new_exe_path, &launch_error)) {
        emit failed(launch_error.isEmpty() ? QStringLiteral("自动更新安装失败")
                                           : QStringLiteral("更新启动失败: ") + launch_error);
        return;
    }
    emit launched();
}

QString UpdateWorker::check_publisher(const QString &new_exe_path) const
{
    const auto signature_of = [](const QString &path) {
        return platform::check_code_signature(QDir::toNativeSeparators(path).toStdWString());
    };
    const platform::CodeSignature running = signature_of(QCoreApplication::applicationFilePath());
    // The update is not looked at when there is nothing to compare it with.
    const platform::CodeSignature update =
        running.status == platform::CodeSignature::Status::Valid ? signature_of(new_exe_path) : platform::CodeSignature();
    const selfupdate::SignatureVerdict verdict = selfupdate::judge_update_signature(running, update);
    if (verdict.unverified)
        applog::warning(QStringLiteral("当前程序没有数字签名，更新文件未经签名校验"));
    return verdict.accepted ? QString() : selfupdate::signature_failure_text(verdict.reason);
}

// --- download ---------------------------------------------------------------

bool UpdateWorker::download(const QString &url, const QString &path)
{
    // A place the new version cannot be written to is found before anything
    // is asked of the server.
    QFile target(path);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        applog::error(QStringLiteral("下载新版本失败: ") + target.errorString() + QStringLiteral(": ")
                      + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        return false;
    }
    target.close();

    ResumableGet get(m_http);
    get.url = url_from_text(url);
    get.file_path = path;
    get.file_name = QFileInfo(path).fileName();
    get.timeout_seconds = qMax(1, (m_stall_limit_ms + 999) / 1000);
    get.cancel = m_stop.get();
    qint64 received = 0;
    double last_update = 0;
    get.on_bytes = [&](qint64 delta) {
        received += delta;
        const double now = now_seconds();
        if (selfupdate::should_show_progress(received, get.total(), now, last_update)) {
            emit progress(selfupdate::progress_text(received, get.total()));
            last_update = now;
        }
    };

    QString error;
    const ResumableGet::Result result = get.run(error);
    if (result == ResumableGet::Result::Done) {
        emit progress(QStringLiteral("下载完成"));
        applog::info(QStringLiteral("下载完成"));
        return true;
    }
    if (result == ResumableGet::Result::Cancelled)
        applog::error(QStringLiteral("下载超时"));
    else if (get.failed_on_disk())
        applog::error(QStringLiteral("写入更新文件失败: ") + error);
    else
        applog::error(QStringLiteral("下载失败: ") + error);
    // A part of the new version is of no use to anyone.
    if (QFileInfo::exists(path) && !QFile::remove(path))
        applog::warning(QStringLiteral("无法删除旧的更新文件: ") + QDir::toNativeSeparators(path));
    return false;
}

// --- replacement --------------------------------------------------------------

bool UpdateWorker::install(const QString &new_exe, QString *launch_error)
{
    const QString new_exe_path = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(new_exe);
    // The program's own file, however it was started (through PATH, a
    // relative name), not what the first argument happens to say.
    const QString exe_path = QCoreApplication::applicationFilePath();
    const QString bat_path = QFileInfo(exe_path).absoluteDir().absoluteFilePath(selfupdate::UPDATE_SCRIPT_NAME);

    // The script finds the folder itself; the new version stands beside the program.
    const QString error =
        selfupdate::write_update_script(bat_path, QDir::toNativeSeparators(QFileInfo(exe_path).absolutePath() + '/'),
                                        QFileInfo(exe_path).fileName(), QFileInfo(new_exe_path).fileName());
    if (!error.isEmpty()) {
        applog::error(QStringLiteral("更新exe失败: ") + error);
        return false;
    }

    // A launch that did not happen (elevation refused, shell failure) is a
    // failed update, not a finished one: the script that never ran goes.
    const platform::LaunchResult launched = platform::launch_elevated(QDir::toNativeSeparators(bat_path).toStdWString());
    if (!launched.ok) {
        const QString reason = QString::fromStdWString(launched.error);
        applog::error(QStringLiteral("更新启动失败: ") + reason);
        QFile::remove(bat_path);
        if (launch_error)
            *launch_error = reason;
        return false;
    }
    return true;
}
