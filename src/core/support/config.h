#pragma once

#include <QString>

// Process-wide configuration: fixed addresses and paths and the cover cache
// folder. The resolved endpoints are no part of it: they are a value
// (ServerEndpoints) handed to the services that build requests.
namespace config {

// Mod folder and package folder below the game folder, as the game lays them
// out (Windows separators, as written).
extern const QString MOD_SUBDIR;
extern const QString PAK_DIR;

// Dynamic-address endpoint and the fallback base address.
QString BASE_API_URL();
QString BACKUP_BASE_URL();
// Version-information endpoint of the self-update.
QString VERSION_API_URL();
// scheme://host[:port] of the catalogue server in use.
QString server();

// Cover image cache folder (home/.cache/Furlane).
QString CACHE_DIR();

// Sets up the configuration before the application object exists: creates
// CACHE_DIR (with missing parents). Returns false when it cannot be created.
bool init_configuration();

// Hands the unit another server (scheme://host[:port]) and another `name`
// value; used by tests before a MainWindow is built. An empty name keeps the
// compiled-in one.
void use_server_for_tests(const QString &server, const QString &address_name = QString());

} // namespace config
