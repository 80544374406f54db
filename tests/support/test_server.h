#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTcpSocket>
#include <QTemporaryDir>

// Runs tools/catalog_server.py on a free loopback port for one test program.
// Data lives in a temporary folder that the test may change at any time.
// When FURLANE_TOOL_RELAY names a port (programs under Wine, which cannot
// start the Linux python3 themselves), tools/tool_relay.py on that port
// starts the tools instead.
class TestServer {
public:
    TestServer();
    ~TestServer();

    // Starts the server; when `demo_data` is set the generated demo data is
    // written first. Extra arguments go to the server (e.g. TLS options).
    bool start(bool demo_data = false, const QStringList &extra_args = {});
    void stop();

    int port() const { return m_port; }
    // scheme://127.0.0.1:port
    QString base() const;
    QString data_dir() const { return m_data.path(); }

    // Writes a file below the data folder (parents created).
    void write_file(const QString &relative_path, const QByteArray &content) const;

    // Fault rules (replacing previous ones), reset, and the request log.
    bool set_faults(const QJsonArray &rules);
    bool reset();
    QJsonArray requests();
    // The value of header `name` (any case) in an entry of requests().
    static QString request_header(const QJsonObject &request, const QString &name);

    // A loopback port on which nothing listens.
    static int closed_port();

private:
    QByteArray control(const QByteArray &verb, const QString &path, const QByteArray &body = {});

    QProcess m_process;
    QTcpSocket m_relay;
    QTemporaryDir m_data;
    int m_port = 0;
    bool m_tls = false;
};
