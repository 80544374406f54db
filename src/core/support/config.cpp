#include "core/support/config.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

#ifndef FURLANE_SERVER
#define FURLANE_SERVER "http://127.0.0.1:8765"
#endif
#ifndef FURLANE_ADDRESS_NAME
#define FURLANE_ADDRESS_NAME "furlane"
#endif

namespace config {

const QString MOD_SUBDIR = QStringLiteral("DreadHunger\\Content\\Paks\\orvexs");
const QString PAK_DIR = QStringLiteral("DreadHunger\\Content\\Paks");

namespace {

struct State {
    QMutex mutex;
    QString server = QStringLiteral(FURLANE_SERVER);
    QString address_name = QStringLiteral(FURLANE_ADDRESS_NAME);
};

State &state()
{
    static State s;
    return s;
}

QString read(QString State::*field)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.*field;
}

QString strip_trailing_slashes(QString text)
{
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

} // namespace

QString server() { return read(&State::server); }

QString BASE_API_URL()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.server + QStringLiteral("/2/皮肤.php?name=") + s.address_name;
}

QString BACKUP_BASE_URL() { return server() + QStringLiteral("/2/皮肤.php"); }

QString VERSION_API_URL() { return server() + QStringLiteral("/api1/"); }

QString CACHE_DIR() { return QDir::homePath() + QStringLiteral("/.cache/Furlane"); }

bool init_configuration()
{
    return QDir().mkpath(CACHE_DIR());
}

void use_server_for_tests(const QString &server_url, const QString &address_name)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.server = strip_trailing_slashes(server_url);
    if (!address_name.isEmpty())
        s.address_name = address_name;
}

} // namespace config
