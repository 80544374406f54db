#include "app/config.h"
#include "app/log.h"
#include "app/main_window.h"
#include "net/http_client.h"

void MainWindow::_setup_api_urls()
{
    QString base_url;
    const HttpResult response = HttpClient::instance().get(config::BASE_API_URL(), 10);
    if (response.failed()) {
        applog::warning(QStringLiteral("获取动态API地址失败: ") + response.error_text()
                        + QStringLiteral("，使用备用地址"));
        base_url = config::BACKUP_BASE_URL();
    } else {
        const QString dynamic_base_url = QString::fromUtf8(response.body).trimmed();
        if (!dynamic_base_url.isEmpty() && dynamic_base_url.startsWith(QStringLiteral("http"))) {
            base_url = dynamic_base_url;
            applog::info(QStringLiteral("成功获取动态API地址: ") + base_url);
        } else {
            applog::warning(QStringLiteral("动态API地址无效，使用备用地址"));
            base_url = config::BACKUP_BASE_URL();
        }
    }

    config::set_endpoints(base_url);

    applog::info(QStringLiteral("API地址设置完成:"));
    applog::info(QStringLiteral("  Instructions_API: ") + config::Instructions_API());
    applog::info(QStringLiteral("  BASE_API: ") + config::BASE_API());
    applog::info(QStringLiteral("  SKIN_DOWNLOAD_API: ") + config::SKIN_DOWNLOAD_API());
    applog::info(QStringLiteral("  IMAGE_DOWNLOAD_API: ") + config::IMAGE_DOWNLOAD_API());
}
