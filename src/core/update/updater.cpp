#include "core/update/updater.h"

#include "core/net/http_client.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "core/update/elevated_launch.h"
#include "core/update/update_logic.h"
#include "core/update/update_worker.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QThread>
#include <QTimer>

#include <optional>

namespace {

const QString VERSION_KEY = QStringLiteral("Furlane代理版本");
const QString DOWNLOAD_KEY = QStringLiteral("Furlane代理下载地址");
const int VERSION_TIMEOUT_S = 5;
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

Updater::Updater(HttpClient &http, QObject *parent)
    : QObject(parent), m_http(http)
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
    if (m_checking)
        return;
    m_checking = true;
    // One attempt: a version server that cannot be reached ends the program
    // at once, as it always has.
    HttpClient::RequestOptions options;
    options.timeout_seconds = VERSION_TIMEOUT_S;
    options.retries = 0;
    m_http.send_async("GET", url_from_text(config::VERSION_API_URL()), options, this,
                      [this](const HttpResult &answer) {
                          // Queued: the outcome may open a modal box, which
                          // must not run inside the reply's own signal.
                          QMetaObject::invokeMethod(
                              this, [this, answer] { on_version_answer(answer); }, Qt::QueuedConnection);
                      });
}

std::optional<QJsonObject> Updater::read_version_record(const HttpResult &answer, QString *error) const
{
    if (answer.timed_out) {
        *error = CHECK_FAILURE + QStringLiteral("请求超时 (") + QString::number(VERSION_TIMEOUT_S)
            + QStringLiteral(" 秒): ") + answer.url.toString();
        return std::nullopt;
    }
    if (answer.status == 0) {
        *error = CHECK_FAILURE + answer.error;
        return std::nullopt;
    }
    if (answer.status != 200) {
        *error = QStringLiteral("获取版本信息失败，状态码: ") + QString::number(answer.status);
        return std::nullopt;
    }
    if (!answer.ok) {
        *error = CHECK_FAILURE + answer.error;
        return std::nullopt;
    }

    QJsonParseError parse_error;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body, &parse_error);
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

void Updater::on_version_answer(const HttpResult &answer)
{
    m_checking = false;
    QString error;
    const std::optional<QJsonObject> info = read_version_record(answer, &error);
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

    if (!selfupdate::is_newer_version(latest_version)) {
        applog::info(QStringLiteral("当前已是最新版本"));
        emit up_to_date();
        return;
    }
    // Nothing is fetched that could not replace the program.
    if (!platform::can_launch_elevated()) {
        applog::warning(QStringLiteral("发现新版本，此平台无法自动更新: ") + latest_version);
        emit manual_update_needed(latest_version);
        return;
    }
    start_update(*info);
    emit newer_version_found(latest_version);
}

// --- download and replacement -----------------------------------------------

void Updater::start_update(const QJsonObject &info)
{
    if (m_thread)
        return;
    m_thread = new QThread;
    m_stop = std::make_shared<std::atomic<bool>>(false);
    auto *worker = new UpdateWorker(m_http, info, m_stall_limit_ms, m_stop);
    worker->moveToThread(m_thread);
    // The whole download has its own limit; the worker, waiting on its
    // thread, sees the flag within moments.
    QTimer::singleShot(m_download_limit_ms, this, [stop = m_stop] { stop->store(true); });

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
            m_stop->store(true);
            applog::warning(QStringLiteral("窗口已关闭，自动更新未完成"));
            emit exit_requested();
        }
    });

    m_thread->start();
}
