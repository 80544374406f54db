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
    bool endpoints_set = false;
    QString base_url;
    QString instructions_api;
    QString base_api;
    QString skin_download_api;
    QString image_download_api;
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

QString BASE_URL() { return read(&State::base_url); }
QString Instructions_API() { return read(&State::instructions_api); }
QString BASE_API() { return read(&State::base_api); }
QString SKIN_DOWNLOAD_API() { return read(&State::skin_download_api); }
QString IMAGE_DOWNLOAD_API() { return read(&State::image_download_api); }

bool set_endpoints(const QString &base_url)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    if (s.endpoints_set)
        return false;
    s.endpoints_set = true;
    s.base_url = base_url;
    s.instructions_api = base_url + QStringLiteral("/Instructions.php");
    s.base_api = base_url + QStringLiteral("/index_skins.php");
    s.skin_download_api = base_url + QStringLiteral("/subcutaneous/index_skin_download.php");
    s.image_download_api = base_url + QStringLiteral("/subcutaneous/index_image_download.php");
    return true;
}

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

void reset_endpoints_for_tests()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.endpoints_set = false;
    s.base_url.clear();
    s.instructions_api.clear();
    s.base_api.clear();
    s.skin_download_api.clear();
    s.image_download_api.clear();
}

} // namespace config
