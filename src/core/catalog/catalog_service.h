#pragma once

#include "core/catalog/catalog_model.h"
#include "core/net/server_endpoints.h"

#include <QJsonArray>
#include <QObject>
#include <QString>

#include <optional>

class HttpClient;

// The catalogue server as the window sees it: the endpoint resolution, the
// instructions text, the category tree and the skin list of a selection.
// Every request runs in the background and answers through a signal; the
// log lines are written here, the boxes are the window's.
class CatalogService final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CatalogService)

public:
    // `client` sends the requests; it must outlive the service.
    explicit CatalogService(HttpClient &client, QObject *parent = nullptr);

    // Asks the dynamic-address endpoint for the base address (the backup
    // address when it fails), takes the endpoints derived from it and logs
    // them; then endpoints_ready.
    void resolve_endpoints();
    // The endpoints the requests below go to; empty before the resolution.
    const ServerEndpoints &endpoints() const { return m_endpoints; }
    // Another server's endpoints (a test's, or the window's own value).
    void set_endpoints(const ServerEndpoints &endpoints) { m_endpoints = endpoints; }
    // The instructions text, the default text when it cannot be had; then
    // instructions_ready.
    void load_instructions();
    // The last instructions text answered; empty before the first.
    QString instructions() const { return m_instructions; }
    // The category tree; then categories_ready or categories_failed.
    void load_categories();
    // The ordered records of a selection. Returns the request's generation:
    // each call makes every earlier skin list request stale, and a stale
    // answer is dropped without a signal.
    int load_skins(const QString &category_name, const std::optional<QString> &subcategory_name);
    // Makes any skin list on its way stale (a newer click needs none).
    void drop_pending_skins() { ++m_skins_generation; }

signals:
    void endpoints_ready();
    void instructions_ready(const QString &text);
    void categories_ready(const catalog::Categories &categories);
    // `message` is the text of the box; the log line is already written.
    void categories_failed(const QString &message);
    void skins_ready(int generation, const QJsonArray &records);
    // The whole catalogue as the server sent it (every record, unfiltered,
    // unordered): after the category tree and after each skin list.
    void catalogue_changed(const QJsonArray &records);
    // `message` is the text of the box; the log line is already written.
    void skins_failed(int generation, const QString &message);

private:
    HttpClient &m_client;
    ServerEndpoints m_endpoints;
    int m_skins_generation = 0;
    QString m_instructions;
};
