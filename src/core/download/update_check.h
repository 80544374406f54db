#pragma once

#include "core/install/install_record.h"
#include "core/net/http_client.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>
#include <optional>

// What the server's answer about an installed skin's package means.
enum class PackageVerdict {
    Same,      // the installed package is the server's
    Changed,   // the server has another one: the skin can be updated
    Learned,   // nothing to compare with yet: record the answer's validators, no badge
    Failed,    // no usable answer: the skin's state stays as it was
};

// One skin's check: the verdict and what the answer said of the package.
struct PackageCheck {
    QString skin_id;
    PackageVerdict verdict = PackageVerdict::Failed;
    QByteArray etag;            // strong ETag, empty without (a weak one counts as none)
    QByteArray last_modified;   // empty without
    qint64 size = -1;           // -1 when unknown
    QString error;              // for Failed
    InstallRecord record;       // the record the question was asked for
};

// Headers that let the server answer 304 when the package is the installed
// one: If-None-Match for a strong ETag, If-Modified-Since for a date (both
// when the record has both). None for an unknown revision.
HttpHeaders conditional_headers(const InstallRecord &record);

// Judges the answer to a HEAD of the record's package sent with
// conditional_headers(record). Only a strong ETag counts; without ETags on
// both sides the dates are compared, and without any validator from the
// server the sizes. A 304 keeps the record's own validators and size.
PackageCheck judge_package_answer(const InstallRecord &record, const HttpResult &answer);

// Asks the server, in the background, whether the packages of installed
// skins changed: a conditional HEAD per skin, a few at a time (a GET of the
// first byte where the server refuses HEAD). Failed checks are answered as
// Failed and logged, a skin's same failure once per run. GUI thread.
class SkinUpdateChecker final : public QObject {
    Q_OBJECT
public:
    static constexpr int MAX_IN_FLIGHT = 6;
    static constexpr int DEFAULT_TIMEOUT_SECONDS = 15;
    static constexpr int DEFAULT_INTERVAL_MS = 10 * 60 * 1000;

    explicit SkinUpdateChecker(HttpClient &http, QObject *parent = nullptr);

    // Checks every record's package; answered() per record, then finished().
    // A call while a check runs is kept (the latest one) and runs after it.
    void check(const QVector<InstallRecord> &records);
    bool running() const { return m_running; }

    void set_timeout_seconds(int seconds) { m_timeout_seconds = seconds; }

    // Where the periodic and the immediate checks get the records from.
    void set_supplier(std::function<QVector<InstallRecord>()> supplier) { m_supplier = std::move(supplier); }
    // Checks the supplier's records every `interval_ms` from now on (the
    // first one after a whole interval; check_now() for one at once).
    void start_periodic(int interval_ms = DEFAULT_INTERVAL_MS);
    void stop_periodic() { m_timer.stop(); }
    // Checks the supplier's records at once; a running interval starts again,
    // so checks stay an interval apart.
    void check_now();

signals:
    void answered(const PackageCheck &check);
    void finished();

private:
    void send_next();
    // Sends the check of m_records[index] as `verb` (HEAD, or GET of one byte).
    void ask(int index, const QByteArray &verb);
    void take(const InstallRecord &record, PackageCheck result);

    HttpClient &m_http;
    int m_timeout_seconds = DEFAULT_TIMEOUT_SECONDS;
    QVector<InstallRecord> m_records;
    int m_next = 0;
    int m_in_flight = 0;
    bool m_running = false;
    std::optional<QVector<InstallRecord>> m_queued;
    QHash<QString, QString> m_last_failure;   // by skin id
    std::function<QVector<InstallRecord>()> m_supplier;
    QTimer m_timer;
};

Q_DECLARE_METATYPE(PackageCheck)
