// The mandatory version check and the self-update of MainWindow: the check
// runs on the GUI thread; the download and the replacement run on the update
// thread, while the reply handlers, the progress texts and every exit happen
// on the GUI thread.
#include "app/config.h"
#include "app/log.h"
#include "app/main_window.h"
#include "net/http_client.h"
#include "update/elevated_launch.h"
#include "update/update_logic.h"
#include "update/update_worker.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const QString VERSION_KEY = QStringLiteral("Furlane代理版本");
const QString DOWNLOAD_KEY = QStringLiteral("Furlane代理下载地址");
const int VERSION_TIMEOUT_MS = 5000;

double now_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool on_gui_thread(const MainWindow *window)
{
    return QThread::currentThread() == window->thread();
}

// A progress text for dir_label, from whichever thread the update runs on.
void report_progress(MainWindow *window, const QString &message)
{
    if (on_gui_thread(window))
        window->_show_update_progress(message);
    else if (window->update_worker)
        emit window->update_worker->update_progress(message);
    else
        QMetaObject::invokeMethod(window, [window, message] { window->_show_update_progress(message); });
}

// Ends the application with `message` through the "程序错误" box on the GUI
// thread. From the update thread it only hands the text over and returns.
void end_update(MainWindow *window, const QString &message)
{
    if (on_gui_thread(window))
        window->_force_close_program(message);
    if (window->update_worker)
        emit window->update_worker->update_error(message);
    else
        QMetaObject::invokeMethod(window, [window, message] { window->_force_close_program(message); });
}

QString json_text(const QJsonValue &value)
{
    QString text = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    return text.mid(1, text.size() - 2);
}

bool holds_nothing(const QJsonValue &value)
{
    return value.isNull() || (value.isBool() && !value.toBool()) || (value.isArray() && value.toArray().isEmpty())
        || (value.isObject() && value.toObject().isEmpty());
}

} // namespace

// --- version check ----------------------------------------------------------

std::optional<QJsonObject> MainWindow::_get_latest_info()
{
    // Its own manager: no retries and no pooled connections of the shared client.
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(config::VERSION_API_URL())};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = manager.get(request);

    // The time-out bounds the connection and every wait for more data.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::downloadProgress, &timer, [&timer] { timer.start(VERSION_TIMEOUT_MS); });
    timer.start(VERSION_TIMEOUT_MS);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    const QString failure = QStringLiteral("获取版本信息异常: ");
    if (!reply->isFinished()) {
        reply->abort();
        _force_close_program(failure + QStringLiteral("请求超时 (") + QString::number(VERSION_TIMEOUT_MS / 1000)
                             + QStringLiteral(" 秒): ") + reply->url().toString());
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0)
        _force_close_program(failure + reply->errorString());
    if (status != 200)
        _force_close_program(QStringLiteral("获取版本信息失败，状态码: ") + QString::number(status));
    if (reply->error() != QNetworkReply::NoError)
        _force_close_program(failure + reply->errorString());

    QJsonParseError parse_error;
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parse_error);
    if (parse_error.error != QJsonParseError::NoError)
        _force_close_program(failure + QStringLiteral("响应不是有效的JSON: ") + parse_error.errorString()
                             + QStringLiteral(" (位置 ") + QString::number(parse_error.offset) + QLatin1Char(')'));
    const QJsonObject info = document.object();
    if (!document.isObject() || !info.contains(VERSION_KEY) || !info.contains(DOWNLOAD_KEY))
        _force_close_program(QStringLiteral("服务器响应错误"));
    return info;
}

void MainWindow::_silent_check_update()
{
    const std::optional<QJsonObject> info = _get_latest_info();
    if (!info)
        _force_close_program(QStringLiteral("检查更新失败，请重启软件重试"));

    // A value that holds nothing (null, false, [], {}) publishes no version,
    // like an empty text: nothing newer. Any other value that is not text (a
    // number, true, a filled array or object) cannot be compared with one.
    const QJsonValue version = info->value(VERSION_KEY);
    if (!version.isString() && !holds_nothing(version))
        _force_close_program(QStringLiteral("检查更新异常: 版本号不是文本: ") + json_text(version));
    const QString latest_version = version.toString();

    if (selfupdate::is_newer_version(latest_version)) {
        _start_update_thread(*info);
        QMessageBox::information(this, QStringLiteral("发现新版本"),
                                 QStringLiteral("发现新版本 ") + latest_version + QStringLiteral("，正在自动更新..."));
    } else {
        applog::info(QStringLiteral("当前已是最新版本"));
    }
}

void MainWindow::_start_update_thread(const QJsonObject &info)
{
    update_thread = new QThread;
    update_worker = new UpdateWorker(info, this);
    update_worker->moveToThread(update_thread);

    connect(update_worker, &UpdateWorker::update_progress, this, &MainWindow::_show_update_progress);
    connect(update_worker, &UpdateWorker::update_finished, this, &MainWindow::_on_update_finished);
    connect(update_worker, &UpdateWorker::update_error, this, &MainWindow::_on_update_error);
    connect(update_thread, &QThread::started, update_worker, &UpdateWorker::run);
    connect(update_worker, &UpdateWorker::update_finished, update_thread, &QThread::quit);
    connect(update_worker, &UpdateWorker::update_error, update_thread, &QThread::quit);
    connect(update_thread, &QThread::finished, update_thread, &QObject::deleteLater);
    connect(update_thread, &QObject::destroyed, this, [this] { update_thread = nullptr; });

    // The update thread works on this window: if the window closes first, end
    // here rather than let the thread outlive it while the process tears down.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (update_thread && update_thread->isRunning()) {
            applog::warning(QStringLiteral("窗口已关闭，自动更新未完成"));
            _end_process(0);
        }
    });

    update_thread->start();
}

void MainWindow::_on_update_finished()
{
    applog::info(QStringLiteral("更新完成"));
}

void MainWindow::_on_update_error(const QString &error_msg)
{
    _force_close_program(error_msg);
}

// --- download and replacement -----------------------------------------------

bool MainWindow::_start_update_process(const QJsonObject &info)
{
    const QString url = info.value(DOWNLOAD_KEY).toString();
    if (url.isEmpty()) {
        end_update(this, QStringLiteral("服务器响应错误"));
        return false;
    }

    // The name comes from the server: refuse any that would not stay a plain
    // file of the program's folder, before anything is deleted or written.
    QString reason;
    const QString new_exe = selfupdate::safe_file_name_from_url(url, &reason);
    if (new_exe.isEmpty()) {
        applog::error(QStringLiteral("下载新版本失败: ") + reason);
        end_update(this, QStringLiteral("下载更新文件失败"));
        return false;
    }

    // The new version goes beside the program, wherever the program was
    // started from; it must not take the running program's own place.
    const QString new_exe_path =
        selfupdate::update_target_path(QCoreApplication::applicationFilePath(), new_exe, &reason);
    if (new_exe_path.isEmpty()) {
        applog::error(QStringLiteral("下载新版本失败: ") + reason);
        end_update(this, QStringLiteral("下载更新文件失败"));
        return false;
    }

    if (QFileInfo::exists(new_exe_path) && !QFile::remove(new_exe_path))
        applog::warning(QStringLiteral("无法删除旧的更新文件: ") + QDir::toNativeSeparators(new_exe_path));

    report_progress(this, QStringLiteral("开始下载更新文件..."));
    if (!_download_new_version(url, new_exe_path)) {
        end_update(this, QStringLiteral("下载更新文件失败"));
        return false;
    }

    report_progress(this, QStringLiteral("下载完成，准备安装更新..."));
    QString launch_error;
    if (!_update_exe(new_exe_path, &launch_error)) {
        end_update(this, launch_error.isEmpty() ? QStringLiteral("自动更新安装失败")
                                                : QStringLiteral("更新启动失败: ") + launch_error);
        return false;
    }
    return true;
}

bool MainWindow::_download_new_version(const QString &url, const QString &path)
{
    QNetworkAccessManager manager;
    download_reply = nullptr;
    delete download_file;
    download_file = nullptr;
    download_url = url;
    save_path = path;
    total_size = 0;
    downloaded = 0;
    last_update = 0;
    download_success = false;
    download_completed = false;
    download_resume = DownloadResume();

    auto close_file = [this] {
        if (download_file && download_file->isOpen())
            download_file->close();
    };

    // Unbuffered, so that a failed write shows at once in the handler.
    download_file = new QFile(path);
    if (!download_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        applog::error(QStringLiteral("下载新版本失败: ") + download_file->errorString() + QStringLiteral(": ")
                      + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        return false;
    }

    // The handlers belong to the window and run on the GUI thread. Blocking
    // connections keep this thread still while they touch the reply, which
    // lives here and is not safe to use from two threads at once.
    const Qt::ConnectionType type = on_gui_thread(this) ? Qt::DirectConnection : Qt::BlockingQueuedConnection;
    QElapsedTimer last_data;

    // Asks for the file, or for its rest once a transfer broke off. A
    // download address that redirects (a mirror) is followed; the answer
    // must then still be a success (checked when it finishes). The body comes
    // uncompressed, so that its length can be held against Content-Length
    // and ranges count stored bytes.
    auto send = [&] {
        QNetworkRequest request{QUrl(url)};
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setRawHeader("Accept-Encoding", "identity");
        const qint64 on_disk = download_file->size();
        DownloadResume &resume = download_resume;
        resume.ranged = on_disk > 0;
        if (resume.ranged) {
            for (const auto &header : resume.rules.range_headers(on_disk))
                request.setRawHeader(header.first, header.second);
        }
        resume.checked = resume.accepted = resume.refetch = resume.broke = resume.stalled = false;
        resume.refused.clear();
        download_completed = false;
        download_reply = manager.get(request);
        connect(download_reply, &QNetworkReply::downloadProgress, this, &MainWindow::_on_download_progress, type);
        connect(download_reply, &QNetworkReply::readyRead, this, &MainWindow::_on_ready_read, type);
        connect(download_reply, &QNetworkReply::finished, this, &MainWindow::_on_download_finished, type);
        connect(download_reply, &QNetworkReply::downloadProgress, &manager, [&last_data] { last_data.restart(); });
        last_data.start();
    };

    QElapsedTimer started;
    started.start();
    auto give_up = [&] {
        applog::error(QStringLiteral("下载超时"));
        close_file();
        if (download_reply) {
            disconnect(download_reply, nullptr, this, nullptr);
            download_reply->abort();
            download_reply = nullptr;
        }
        return false;
    };

    send();
    for (;;) {
        while (!download_completed) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (download_completed)
                break;
            if (started.elapsed() > update_download_limit_ms)
                return give_up();
            // Silent too long once the file (or its rest) began to come: end
            // this transfer, and the handler may resume it. A first request
            // that gets no answer at all waits for the overall limit.
            const bool under_way = download_resume.accepted || download_resume.ranged;
            if (download_reply && under_way && last_data.elapsed() > update_stall_limit_ms) {
                download_resume.stalled = true;
                download_reply->abort();
                continue;
            }
            QThread::msleep(10);
        }
        if (!download_resume.broke)
            return download_success;
        if (!download_resume.refetch) {
            const int k = download_resume.rules.next_resume();
            // Without a validator a ranged answer could belong to another
            // version: this attempt asks for the whole file.
            if (download_resume.rules.can_ask_for_range())
                applog::warning(ResumeRules::resume_text(download_file->size(), k, QFileInfo(path).fileName()));
            else
                _restart_update_file();
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < ResumeRules::pause_ms(k)) {
                if (started.elapsed() > update_download_limit_ms)
                    return give_up();
                QThread::msleep(10);
            }
        }
        send();
    }
}

void MainWindow::_check_download_answer()
{
    DownloadResume &resume = download_resume;
    if (resume.checked || !download_reply || !download_file)
        return;
    const HttpResult head = answer_head(download_reply);
    if (!head.ok)
        return;   // no status line yet, or none at all
    resume.checked = true;
    if (!resume.ranged) {
        resume.accepted = head.status >= 200 && head.status < 300;
        if (resume.accepted)
            resume.rules.begin(head, -1);
        resume.offset = 0;
        return;
    }
    const ResumeRules::Judgement judgement = resume.rules.judge(head, download_file->size());
    switch (judgement.verdict) {
    case ResumeRules::Verdict::Append:
        resume.accepted = true;
        resume.offset = download_file->size();
        return;
    case ResumeRules::Verdict::Restart:
    case ResumeRules::Verdict::Refetch:
        _restart_update_file();
        resume.accepted = judgement.verdict == ResumeRules::Verdict::Restart;
        resume.refetch = !resume.accepted;
        break;
    case ResumeRules::Verdict::Fail:
        resume.refused = judgement.error;
        break;
    }
    // Stopped on its own thread, as a failed write is.
    if (!resume.accepted)
        QMetaObject::invokeMethod(download_reply, &QNetworkReply::abort, Qt::QueuedConnection);
}

void MainWindow::_restart_update_file()
{
    applog::warning(ResumeRules::restart_text(QFileInfo(save_path).fileName()));
    download_file->resize(0);
    download_file->seek(0);
    download_resume.offset = 0;
}

void MainWindow::_on_download_progress(qint64 bytes_received, qint64 bytes_total)
{
    if (bytes_total <= 0)
        return;
    // Without a Content-Length the network layer still reports received as
    // total once at the end; the size was never known, so nothing is shown.
    if (download_reply && !download_reply->header(QNetworkRequest::ContentLengthHeader).isValid())
        return;
    _check_download_answer();
    if (!download_resume.accepted)
        return;
    // A resumed answer counts from where it goes on, towards the whole file.
    const qint64 received = download_resume.offset + bytes_received;
    const qint64 total = download_resume.rules.total() > 0 ? download_resume.rules.total()
                                                           : download_resume.offset + bytes_total;
    total_size = total;
    downloaded = received;
    const double now = now_seconds();
    if (selfupdate::should_show_progress(received, total, now, last_update)) {
        _show_update_progress(selfupdate::progress_text(received, total));
        last_update = now;
    }
}

void MainWindow::_on_ready_read()
{
    _check_download_answer();
    if (!download_reply || !download_file || !download_file->isOpen())
        return;
    const QByteArray data = download_reply->readAll();
    // An error page, or an answer of no use, is no part of the file.
    if (!download_resume.accepted)
        return;
    // More than the answer named: the bytes cannot be trusted.
    DownloadResume &resume = download_resume;
    const qint64 end = resume.rules.body_end();
    if (end >= 0 && download_file->size() + data.size() > end) {
        const qint64 received = download_file->size() + data.size();
        const ResumeRules::Judgement judgement = resume.ranged
            ? resume.rules.overrun(received, download_reply->url())
            : ResumeRules::Judgement{ResumeRules::Verdict::Fail,
                                     QStringLiteral("数据长度不符，收到 ") + QString::number(received)
                                         + QStringLiteral(" 字节，应为 ") + QString::number(end) + QStringLiteral(" 字节")};
        resume.accepted = false;
        if (judgement.verdict == ResumeRules::Verdict::Refetch) {
            _restart_update_file();
            resume.refetch = true;
        } else {
            resume.refused = judgement.error;
        }
        QMetaObject::invokeMethod(download_reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    if (download_file->write(data) != data.size()) {
        // A short file must not pass for the new version. The reply is
        // stopped on its own thread: aborting here would re-enter the finish
        // handler across the blocking connection.
        applog::error(QStringLiteral("写入更新文件失败: ") + download_file->errorString());
        download_file->close();
        QMetaObject::invokeMethod(download_reply, &QNetworkReply::abort, Qt::QueuedConnection);
    }
}

void MainWindow::_on_download_finished()
{
    if (!download_reply) {
        applog::error(QStringLiteral("下载完成回调错误: 没有进行中的下载"));
        download_success = false;
        download_completed = true;
        return;
    }
    _check_download_answer();
    DownloadResume &resume = download_resume;
    const int status = download_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool transport_error = download_reply->error() != QNetworkReply::NoError;
    const QString transport_text = resume.stalled
        ? QStringLiteral("请求超时 (%1 秒内没有数据): %2").arg(update_stall_limit_ms / 1000.0).arg(download_url)
        : download_reply->errorString();
    QString failure;         // logged after "下载失败: "
    QString handler_error;   // logged after "下载完成回调错误: "
    bool may_resume = false;

    if (resume.refetch) {
        resume.broke = true;
    } else if (!resume.refused.isEmpty()) {
        failure = resume.refused;
    } else if (resume.accepted) {
        _on_ready_read();
        if (!download_file->isOpen() || !download_file->flush()) {
            handler_error = download_file->errorString();
        } else if (transport_error) {
            failure = transport_text;
            may_resume = true;
        } else if (resume.rules.total() >= 0 && download_file->size() != resume.rules.total()) {
            failure = QStringLiteral("数据不完整，收到 ") + QString::number(download_file->size())
                + QStringLiteral(" 字节，应为 ") + QString::number(resume.rules.total()) + QStringLiteral(" 字节");
            may_resume = download_file->size() < resume.rules.total();
        }
    } else if (transport_error) {
        failure = transport_text;
        // No answer at all (the server down) counts as a try once resuming.
        may_resume = status == 0 && (resume.ranged || resume.rules.resumes() > 0);
    } else {
        failure = QStringLiteral("HTTP ") + QString::number(status) + QStringLiteral(": ") + download_reply->url().toString();
    }

    if (resume.broke) {
        // Asked for afresh by the waiting loop.
    } else if (failure.isEmpty() && handler_error.isEmpty()) {
        download_file->close();
        download_success = true;
        _show_update_progress(QStringLiteral("下载完成"));
        applog::info(QStringLiteral("下载完成"));
    } else if (may_resume && resume.rules.can_resume() && download_file->isOpen()) {
        resume.broke = true;
    } else {
        if (!handler_error.isEmpty())
            applog::error(QStringLiteral("下载完成回调错误: ") + handler_error);
        else
            applog::error(QStringLiteral("下载失败: ") + failure);
        if (download_file->isOpen())
            download_file->close();
        download_success = false;
    }
    download_reply->deleteLater();
    download_reply = nullptr;
    // After the success flag: the waiting loop must never see a stale one.
    download_completed = true;
}

bool MainWindow::_update_exe(const QString &new_exe, QString *launch_error)
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

    // The exit itself happens on the GUI thread; this thread waits for it.
    if (!on_gui_thread(this))
        QMetaObject::invokeMethod(this, [] { _end_process(0); }, Qt::BlockingQueuedConnection);
    _end_process(0);
}

void MainWindow::_show_update_progress(const QString &message)
{
    if (!dir_label)
        return;
    const QString text = QStringLiteral("📥 ") + message;
    dir_label->setText(text);
    emit update_progress_shown(text);
}
