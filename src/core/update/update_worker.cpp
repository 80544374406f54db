#include "core/update/update_worker.h"

#include "core/net/http_client.h"
#include "core/support/log.h"
#include "core/update/code_signature.h"
#include "core/update/elevated_launch.h"
#include "core/update/update_logic.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace {

const QString DOWNLOAD_KEY = QStringLiteral("Furlane代理下载地址");

double now_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

UpdateWorker::UpdateWorker(const QJsonObject &info, int download_limit_ms, int stall_limit_ms)
    : QObject(nullptr)
    , m_info(info)
    , m_download_limit_ms(download_limit_ms)
    , m_stall_limit_ms(stall_limit_ms)
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
    // This thread's own manager: its replies and their handlers stay here.
    QNetworkAccessManager manager;
    m_manager = &manager;
    m_reply = nullptr;
    m_url = url;
    m_save_path = path;
    m_last_update = 0;
    m_success = false;
    m_completed = false;
    m_resume = Resume();

    // Unbuffered, so that a failed write shows at once in the handler.
    m_file = std::make_unique<QFile>(path);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        applog::error(QStringLiteral("下载新版本失败: ") + m_file->errorString() + QStringLiteral(": ")
                      + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        m_manager = nullptr;
        return false;
    }

    auto give_up = [this] {
        applog::error(QStringLiteral("下载超时"));
        if (m_file->isOpen())
            m_file->close();
        if (m_reply) {
            disconnect(m_reply, nullptr, this, nullptr);
            m_reply->abort();
            m_reply = nullptr;
        }
        m_manager = nullptr;
        return false;
    };

    m_started.start();
    send();
    for (;;) {
        if (!wait_for_reply())
            return give_up();
        if (!m_resume.broke) {
            m_manager = nullptr;
            return m_success;
        }
        if (!m_resume.refetch) {
            const int k = m_resume.rules.next_resume();
            // Without a validator a ranged answer could belong to another
            // version: this attempt asks for the whole file.
            if (m_resume.rules.can_ask_for_range())
                applog::warning(ResumeRules::resume_text(m_file->size(), k, QFileInfo(path).fileName()));
            else
                restart_file();
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < ResumeRules::pause_ms(k)) {
                if (m_started.elapsed() > m_download_limit_ms)
                    return give_up();
                QThread::msleep(10);
            }
        }
        send();
    }
}

// Asks for the file, or for its rest once a transfer broke off. The body
// comes uncompressed, so that its length can be held against Content-Length
// and ranges count stored bytes.
void UpdateWorker::send()
{
    m_request = QNetworkRequest();
    // Redirects are followed here, hop by hop: a reply that follows them
    // itself can keep the redirect's own headers merged into the final
    // answer's (Content-Length "9, 2097152"), and the size, validators and
    // progress must come from the final answer alone.
    m_request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_request.setRawHeader("Accept-Encoding", "identity");
    const qint64 on_disk = m_file->size();
    m_resume.ranged = on_disk > 0;
    if (m_resume.ranged) {
        for (const auto &header : m_resume.rules.range_headers(on_disk))
            m_request.setRawHeader(header.first, header.second);
    }
    m_hops = 0;
    ask(QUrl(m_url));
}

void UpdateWorker::ask(const QUrl &url)
{
    m_resume.checked = m_resume.accepted = m_resume.refetch = m_resume.broke = m_resume.stalled = false;
    m_resume.refused.clear();
    m_completed = false;
    m_request.setUrl(url);
    m_reply = m_manager->get(m_request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &UpdateWorker::on_download_progress);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateWorker::on_ready_read);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateWorker::on_finished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this] { m_last_data.restart(); });
    m_last_data.start();
}

bool UpdateWorker::follow_redirect()
{
    // As many hops as the network layer would follow by itself.
    constexpr int MAX_REDIRECTS = 50;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!is_redirect(status) || m_reply->error() != QNetworkReply::NoError || m_hops >= MAX_REDIRECTS)
        return false;
    const QUrl from = m_reply->url();
    const QUrl to = from.resolved(m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
    // Never from an encrypted address to a plain one; without a usable
    // Location the redirect ends the download as an answer of no use.
    const QString scheme = to.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    const bool less_safe = from.scheme().toLower() == QLatin1String("https") && scheme != QLatin1String("https");
    if (!to.isValid() || to.host().isEmpty() || !web || less_safe)
        return false;
    ++m_hops;
    disconnect(m_reply, nullptr, this, nullptr);
    m_reply->deleteLater();
    ask(to);
    return true;
}

bool UpdateWorker::wait_for_reply()
{
    QEventLoop loop;
    QTimer watch;
    bool in_time = true;
    connect(&watch, &QTimer::timeout, &loop, [&] {
        if (!m_completed && m_started.elapsed() > m_download_limit_ms) {
            in_time = false;
            loop.quit();
            return;
        }
        // Silent too long once the file (or its rest) began to come: end
        // this transfer, and the handler may resume it. A first request
        // that gets no answer at all waits for the overall limit.
        const bool under_way = m_resume.accepted || m_resume.ranged;
        if (!m_completed && m_reply && under_way && m_last_data.elapsed() > m_stall_limit_ms) {
            m_resume.stalled = true;
            m_reply->abort();
        }
        if (m_completed)
            loop.quit();
    });
    watch.start(10);
    if (!m_completed)
        loop.exec();
    return in_time;
}

void UpdateWorker::check_answer()
{
    Resume &resume = m_resume;
    if (resume.checked || !m_reply || !m_file)
        return;
    const HttpResult head = answer_head(m_reply);
    if (!head.ok || is_redirect(head.status))
        return;   // no status line yet, none at all, or only the way to the answer
    resume.checked = true;
    if (!resume.ranged) {
        resume.accepted = head.status >= 200 && head.status < 300;
        if (resume.accepted)
            resume.rules.begin(head, -1);
        resume.offset = 0;
        return;
    }
    const ResumeRules::Judgement judgement = resume.rules.judge(head, m_file->size());
    switch (judgement.verdict) {
    case ResumeRules::Verdict::Append:
        resume.accepted = true;
        resume.offset = m_file->size();
        return;
    case ResumeRules::Verdict::Restart:
    case ResumeRules::Verdict::Refetch:
        restart_file();
        resume.accepted = judgement.verdict == ResumeRules::Verdict::Restart;
        resume.refetch = !resume.accepted;
        break;
    case ResumeRules::Verdict::Fail:
        resume.refused = judgement.error;
        break;
    }
    // Stopped once this handler has returned: aborting here would re-enter
    // the finish handler from inside it.
    if (!resume.accepted)
        QMetaObject::invokeMethod(m_reply, &QNetworkReply::abort, Qt::QueuedConnection);
}

void UpdateWorker::restart_file()
{
    applog::warning(ResumeRules::restart_text(QFileInfo(m_save_path).fileName()));
    m_file->resize(0);
    m_file->seek(0);
    m_resume.offset = 0;
}

void UpdateWorker::on_download_progress(qint64 bytes_received, qint64 bytes_total)
{
    Q_UNUSED(bytes_total)
    check_answer();
    if (!m_resume.accepted)
        return;
    // A resumed answer counts from where it goes on, towards the whole file.
    // The size is the one the answer judged named, never the network layer's
    // total: without a Content-Length that reports what came as the total
    // once at the end, and a size never known is not shown.
    const qint64 received = m_resume.offset + bytes_received;
    const qint64 total = m_resume.rules.total();
    const double now = now_seconds();
    if (selfupdate::should_show_progress(received, total, now, m_last_update)) {
        emit progress(selfupdate::progress_text(received, total));
        m_last_update = now;
    }
}

void UpdateWorker::on_ready_read()
{
    check_answer();
    if (!m_reply || !m_file || !m_file->isOpen())
        return;
    const QByteArray data = m_reply->readAll();
    // An error page, or an answer of no use, is no part of the file.
    if (!m_resume.accepted)
        return;
    // More than the answer named: the bytes cannot be trusted.
    Resume &resume = m_resume;
    const qint64 end = resume.rules.body_end();
    if (end >= 0 && m_file->size() + data.size() > end) {
        const qint64 received = m_file->size() + data.size();
        const ResumeRules::Judgement judgement = resume.ranged
            ? resume.rules.overrun(received, m_reply->url())
            : ResumeRules::Judgement{ResumeRules::Verdict::Fail,
                                     QStringLiteral("数据长度不符，收到 ") + QString::number(received)
                                         + QStringLiteral(" 字节，应为 ") + QString::number(end) + QStringLiteral(" 字节")};
        resume.accepted = false;
        if (judgement.verdict == ResumeRules::Verdict::Refetch) {
            restart_file();
            resume.refetch = true;
        } else {
            resume.refused = judgement.error;
        }
        QMetaObject::invokeMethod(m_reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    if (m_file->write(data) != data.size()) {
        // A short file must not pass for the new version. The reply is
        // stopped once this handler has returned, as above.
        applog::error(QStringLiteral("写入更新文件失败: ") + m_file->errorString());
        m_file->close();
        QMetaObject::invokeMethod(m_reply, &QNetworkReply::abort, Qt::QueuedConnection);
    }
}

void UpdateWorker::on_finished()
{
    if (!m_reply) {
        applog::error(QStringLiteral("下载完成回调错误: 没有进行中的下载"));
        m_success = false;
        m_completed = true;
        return;
    }
    if (follow_redirect())
        return;
    check_answer();
    Resume &resume = m_resume;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool transport_error = m_reply->error() != QNetworkReply::NoError;
    const QString transport_text = resume.stalled
        ? QStringLiteral("请求超时 (%1 秒内没有数据): %2").arg(m_stall_limit_ms / 1000.0).arg(m_url)
        : m_reply->errorString();
    QString failure;         // logged after "下载失败: "
    QString handler_error;   // logged after "下载完成回调错误: "
    bool may_resume = false;

    if (resume.refetch) {
        resume.broke = true;
    } else if (!resume.refused.isEmpty()) {
        failure = resume.refused;
    } else if (resume.accepted) {
        on_ready_read();
        if (!m_file->isOpen() || !m_file->flush()) {
            handler_error = m_file->errorString();
        } else if (transport_error) {
            failure = transport_text;
            may_resume = true;
        } else if (resume.rules.total() >= 0 && m_file->size() != resume.rules.total()) {
            failure = QStringLiteral("数据不完整，收到 ") + QString::number(m_file->size())
                + QStringLiteral(" 字节，应为 ") + QString::number(resume.rules.total()) + QStringLiteral(" 字节");
            may_resume = m_file->size() < resume.rules.total();
        }
    } else if (transport_error) {
        failure = transport_text;
        // No answer at all (the server down) counts as a try once resuming.
        may_resume = status == 0 && (resume.ranged || resume.rules.resumes() > 0);
    } else {
        failure = QStringLiteral("HTTP ") + QString::number(status) + QStringLiteral(": ") + m_reply->url().toString();
    }

    if (resume.broke) {
        // Asked for afresh by the download loop.
    } else if (failure.isEmpty() && handler_error.isEmpty()) {
        m_file->close();
        m_success = true;
        emit progress(QStringLiteral("下载完成"));
        applog::info(QStringLiteral("下载完成"));
    } else if (may_resume && resume.rules.can_resume() && m_file->isOpen()) {
        resume.broke = true;
    } else {
        if (!handler_error.isEmpty())
            applog::error(QStringLiteral("下载完成回调错误: ") + handler_error);
        else
            applog::error(QStringLiteral("下载失败: ") + failure);
        if (m_file->isOpen())
            m_file->close();
        m_success = false;
    }
    m_reply->deleteLater();
    m_reply = nullptr;
    m_completed = true;
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
