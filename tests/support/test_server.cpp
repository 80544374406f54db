#include "support/test_server.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTimer>

TestServer::TestServer() = default;

TestServer::~TestServer() { stop(); }

bool TestServer::start(bool demo_data, const QStringList &extra_args)
{
    const QString tools = QStringLiteral(FURLANE_SOURCE_DIR "/tools");
    if (demo_data) {
        QProcess gen;
        gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        gen.start(QStringLiteral("python3"), {tools + QStringLiteral("/make_demo_data.py"), m_data.path()});
        if (!gen.waitForFinished(180000) || gen.exitCode() != 0)
            return false;
    }
    m_tls = extra_args.contains(QStringLiteral("--tls-cert"));
    QStringList args{tools + QStringLiteral("/catalog_server.py"), QStringLiteral("--data"), m_data.path(),
                     QStringLiteral("--port"), QStringLiteral("0")};
    args += extra_args;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), args);
    if (!m_process.waitForStarted(10000))
        return false;
    QByteArray line;
    while (!line.contains('\n')) {
        if (!m_process.waitForReadyRead(15000))
            return false;
        line += m_process.readAllStandardOutput();
    }
    for (const QByteArray &l : line.split('\n')) {
        if (l.startsWith("PORT "))
            m_port = l.mid(5).trimmed().toInt();
    }
    return m_port > 0;
}

void TestServer::stop()
{
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
