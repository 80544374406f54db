#include "core/update/updater.h"

#include "core/support/config.h"
#include "core/support/log.h"
#include "core/update/update_logic.h"
#include "core/update/update_worker.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <optional>

namespace {

const QString VERSION_KEY = QStringLiteral("Furlane代理版本");
const QString DOWNLOAD_KEY = QStringLiteral("Furlane代理下载地址");
const int VERSION_TIMEOUT_MS = 5000;
const QString CHECK_FAILURE = QStringLiteral("获取版本信息异常: ");

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

Updater::Updater(QObject *parent)
    : QObject(parent)
{
}

// A running update thread is left to end on its own: the worker holds
// nothing of this object, and the thread deletes itself once finished.
Updater::~Updater() = default;

bool Updater::is_updating() const
{
    return m_thread != nullptr;
}

// --- version check ----------------------------------------------------------

void Updater::check()
{
    if (m_reply)
        return;
    // Its own manager: no retries and no pooled connections of the shared client.
    m_manager = new QNetworkAccessManager(this);
    QNetworkRequest request{QUrl(config::VERSION_API_URL())};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_manager->get(request);

    // The time-out bounds the connection and every wait for more data.
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, &Updater::on_version_timeout);
    connect(m_reply, &QNetworkReply::downloadProgress, m_timeout,
            [timeout = m_timeout] { timeout->start(VERSION_TIMEOUT_MS); });
    // Queued: the outcome may open a modal box, which must not run inside
    // the reply's own signal.
    connect(m_reply, &QNetworkReply::finished, this, &Updater::on_version_answer, Qt::QueuedConnection);
    m_timeout->start(VERSION_TIMEOUT_MS);
}

void Updater::finish_check()
{
    m_timeout->stop();
    m_timeout->deleteLater();
    m_timeout = nullptr;
    m_reply->deleteLater();
    m_reply = nullptr;
    m_manager->deleteLater();
    m_manager = nullptr;
}

void Updater::on_version_timeout()
{
    // A reply that has finished is handled by its queued answer.
    if (!m_reply || m_reply->isFinished())
        return;
    const QString url = m_reply->url().toString();
    disconnect(m_reply, nullptr, this, nullptr);
    m_reply->abort();
    finish_check();
    emit fatal(CHECK_FAILURE + QStringLiteral("请求超时 (") + QString::number(VERSION_TIMEOUT_MS / 1000)
               + QStringLiteral(" 秒): ") + url);
}

std::optional<QJsonObject> Updater::read_version_record(QNetworkReply *reply, QString *error) const
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        *error = CHECK_FAILURE + reply->errorString();
        return std::nullopt;
    }
    if (status != 200) {
        *error = QStringLiteral("获取版本信息失败，状态码: ") + QString::number(status);
        return std::nullopt;
    }
    if (reply->error() != QNetworkReply::NoError) {
        *error = CHECK_FAILURE + reply->errorString();
        return std::nullopt;
    }

    QJsonParseError parse_error;
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parse_error);
    if (parse_error.error != QJsonParseError::NoError) {
        *error = CHECK_FAILURE + QStringLiteral("响应不是有效的JSON: ") + parse_error.errorString()
            + QStringLiteral(" (位置 ") + QString::number(parse_error.offset) + QLatin1Char(')');
        return std::nullopt;
    }
    const QJsonObject info = document.object();
    if (!document.isObject() || !info.contains(VERSION_KEY) || !info.contains(DOWNLOAD_KEY)) {
        *error = QStringLiteral("服务器响应错误");
        return std::nullopt;
    }
    return info;
}

void Updater::on_version_answer()
{
    if (!m_reply)
        return;
    QString error;
    const std::optional<QJsonObject> info = read_version_record(m_reply, &error);
    finish_check();
    if (!info) {
        emit fatal(error.isEmpty() ? QStringLiteral("检查更新失败，请重启软件重试") : error);
        return;
    }

    // A value that holds nothing (null, false, [], {}) publishes no version,
    // like an empty text: nothing newer. Any other value that is not text (a
    // number, true, a filled array or object) cannot be compared with one.
    const QJsonValue version = info->value(VERSION_KEY);
    if (!version.isString() && !holds_nothing(version)) {
        emit fatal(QStringLiteral("检查更新异常: 版本号不是文本: ") + json_text(version));
        return;
    }
    const QString latest_version = version.toString();

    if (selfupdate::is_newer_version(latest_version)) {
        start_update(*info);
        emit newer_version_found(latest_version);
    } else {
        applog::info(QStringLiteral("当前已是最新版本"));
        emit up_to_date();
    }
}

// --- download and replacement -----------------------------------------------

void Updater::start_update(const QJsonObject &info)
{
    if (m_thread)
        return;
    m_thread = new QThread;
    auto *worker = new UpdateWorker(info, m_download_limit_ms, m_stall_limit_ms);
    worker->moveToThread(m_thread);

    connect(worker, &UpdateWorker::progress, this, &Updater::progress);
    connect(worker, &UpdateWorker::failed, this, &Updater::fatal);
    connect(worker, &UpdateWorker::launched, this, &Updater::exit_requested);
    connect(m_thread, &QThread::started, worker, &UpdateWorker::run);
    connect(worker, &UpdateWorker::failed, m_thread, &QThread::quit);
    connect(worker, &UpdateWorker::launched, m_thread, &QThread::quit);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    connect(m_thread, &QObject::destroyed, this, [this] { m_thread = nullptr; });

    // The update thread must not outlive the application: if the window
    // closes first, the program ends here instead.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (m_thread && m_thread->isRunning()) {
            applog::warning(QStringLiteral("窗口已关闭，自动更新未完成"));
            emit exit_requested();
        }
    });

    m_thread->start();
}
