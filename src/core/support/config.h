#pragma once

#include <QString>

// Process-wide configuration: fixed addresses and paths, the cover cache
// folder and the five endpoint variables that the endpoint resolution writes
// once at start-up.
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

// Resolved endpoints; empty until set_endpoints has run.
QString BASE_URL();
QString Instructions_API();
QString BASE_API();
QString SKIN_DOWNLOAD_API();
QString IMAGE_DOWNLOAD_API();

// Writes BASE_URL and derives the four service endpoints from it by plain
// concatenation. Only the first call takes effect; later calls return false
// and change nothing.
bool set_endpoints(const QString &base_url);

// Sets up the configuration before the application object exists: creates
// CACHE_DIR (with missing parents). Returns false when it cannot be created.
bool init_configuration();

// Hands the unit another server (scheme://host[:port]) and another `name`
// value; used by tests before a MainWindow is built. An empty name keeps the
// compiled-in one.
void use_server_for_tests(const QString &server, const QString &address_name = QString());
// Forgets the resolved endpoints so that a test can resolve them again.
void reset_endpoints_for_tests();

} // namespace config
