#pragma once

#include <QString>

// The catalogue server's addresses as the start-up resolved them: the base
// address and the four service endpoints derived from it. A value handed to
// whatever builds requests, so a test (or another server) is just another
// value. Empty until built from a base address.
struct ServerEndpoints {
    QString base_url;
    QString instructions_api;
    QString base_api;
    QString skin_download_api;
    QString image_download_api;

    // The endpoints of `base_url` by plain concatenation: no separator is
    // added or removed, so a base ending in "/" gives "//".
    static ServerEndpoints from_base(const QString &base_url)
    {
        ServerEndpoints endpoints;
        endpoints.base_url = base_url;
        endpoints.instructions_api = base_url + QStringLiteral("/Instructions.php");
        endpoints.base_api = base_url + QStringLiteral("/index_skins.php");
        endpoints.skin_download_api = base_url + QStringLiteral("/subcutaneous/index_skin_download.php");
        endpoints.image_download_api = base_url + QStringLiteral("/subcutaneous/index_image_download.php");
        return endpoints;
    }

    bool is_empty() const { return base_url.isEmpty(); }
};
