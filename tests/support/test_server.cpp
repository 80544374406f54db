#include "support/test_server.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTimer>

namespace {

quint16 relay_port() { return quint16(qEnvironmentVariableIntValue("FURLANE_TOOL_RELAY")); }

// Asks the relay to start `tool` (a file name in tools/) with `args`.
bool start_through_relay(QTcpSocket &socket, const QString &tool, const QStringList &args)
{
    socket.connectToHost(QHostAddress::LocalHost, relay_port());
    if (!socket.waitForConnected(10000))
        return false;
    const QJsonObject request{{QStringLiteral("tool"), tool}, {QStringLiteral("args"), QJsonArray::fromStringList(args)}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    return socket.waitForBytesWritten(10000);
}

// Runs tools/make_demo_data.py into `dir` and waits for it to succeed.
bool write_demo_data(const QString &dir)
{
    if (relay_port() == 0) {
        QProcess gen;
        gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        gen.start(QStringLiteral("python3"), {QStringLiteral(FURLANE_SOURCE_DIR "/tools/make_demo_data.py"), dir});
        return gen.waitForFinished(180000) && gen.exitCode() == 0;
    }
    QTcpSocket socket;
    if (!start_through_relay(socket, QStringLiteral("make_demo_data.py"), {dir}))
        return false;
    QByteArray output;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(180000))
        output += socket.readAll();
    output += socket.readAll();
    return output.endsWith("\nEXIT 0\n") || output == "EXIT 0\n";
}

} // namespace

TestServer::TestServer() = default;

TestServer::~TestServer() { stop(); }

bool TestServer::start(bool demo_data, const QStringList &extra_args)
{
    if (demo_data && !write_demo_data(m_data.path()))
        return false;
    m_tls = extra_args.contains(QStringLiteral("--tls-cert"));
    QStringList args{QStringLiteral("--data"), m_data.path(), QStringLiteral("--port"), QStringLiteral("0")};
    args += extra_args;
    QIODevice *output = &m_process;
    if (relay_port() != 0) {
        if (!start_through_relay(m_relay, QStringLiteral("catalog_server.py"), args))
            return false;
        output = &m_relay;
    } else {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("python3"), QStringList{QStringLiteral(FURLANE_SOURCE_DIR "/tools/catalog_server.py")} + args);
        if (!m_process.waitForStarted(10000))
            return false;
    }
    QByteArray line;
    while (!line.contains('\n')) {
        if (!output->waitForReadyRead(15000))
            return false;
        line += output->readAll();
    }
    for (const QByteArray &l : line.split('\n')) {
        if (l.startsWith("PORT "))
            m_port = l.mid(5).trimmed().toInt();
    }
    return m_port > 0;
}

void TestServer::stop()
{
    // The relay stops the server when the connection closes.
    m_relay.abort();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QString TestServer::base() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_port);
}

void TestServer::write_file(const QString &relative_path, const QByteArray &content) const
{
    const QString path = m_data.filePath(relative_path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QByteArray TestServer::control(const QByteArray &verb, const QString &path, const QByteArray &body)
{
    // A private manager: control traffic must not touch the client's cookies.
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(base() + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (m_tls) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        request.setSslConfiguration(ssl);
    }
    QNetworkReply *reply = manager.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray answer = reply->isFinished() ? reply->readAll() : QByteArray();
    reply->abort();
    reply->deleteLater();
    return answer;
}

bool TestServer::set_faults(const QJsonArray &rules)
{
    control("POST", QStringLiteral("/__control/faults"), QJsonDocument(rules).toJson(QJsonDocument::Compact));
    return true;
}

bool TestServer::reset()
{
    control("POST", QStringLiteral("/__control/reset"));
    return true;
}

QString TestServer::request_header(const QJsonObject &request, const QString &name)
{
    const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return QString();
}

QJsonArray TestServer::requests()
{
    return QJsonDocument::fromJson(control("GET", QStringLiteral("/__control/requests"))).array();
}

int TestServer::closed_port()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}
