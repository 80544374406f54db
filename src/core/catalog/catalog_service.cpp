#include "core/catalog/catalog_service.h"

#include "core/net/http_client.h"
#include "core/support/config.h"
#include "core/support/log.h"

namespace {

const int REQUEST_TIMEOUT_S = 10;

QString default_instructions()
{
    return QStringLiteral("欢迎使用Furlane！\n\n请选择主分类和子分类来浏览皮肤。");
}

} // namespace

CatalogService::CatalogService(HttpClient &client, QObject *parent)
    : QObject(parent), m_client(client)
{
}

void CatalogService::resolve_endpoints()
{
    m_client.get_async(config::BASE_API_URL(), REQUEST_TIMEOUT_S, this, [this](const HttpResult &response) {
        QString base_url;
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

        m_endpoints = ServerEndpoints::from_base(base_url);

        applog::info(QStringLiteral("API地址设置完成:"));
        applog::info(QStringLiteral("  Instructions_API: ") + m_endpoints.instructions_api);
        applog::info(QStringLiteral("  BASE_API: ") + m_endpoints.base_api);
        applog::info(QStringLiteral("  SKIN_DOWNLOAD_API: ") + m_endpoints.skin_download_api);
        applog::info(QStringLiteral("  IMAGE_DOWNLOAD_API: ") + m_endpoints.image_download_api);
        emit endpoints_ready();
    });
}

void CatalogService::load_instructions()
{
    m_client.get_async(m_endpoints.instructions_api, REQUEST_TIMEOUT_S, this, [this](const HttpResult &result) {
        const auto answer = [this](const QString &text) {
            m_instructions = text;
            emit instructions_ready(text);
        };
        if (!result.ok) {
            applog::error(QStringLiteral("加载Instructions_API失败: ") + result.error_text());
            answer(default_instructions());
        } else if (result.status == 200) {
            applog::info(QStringLiteral("Instructions_API内容加载成功"));
            answer(catalog::decode_text_body(result.body, result.content_type));
        } else {
            applog::warning(QStringLiteral("Instructions_API加载失败，使用默认内容"));
            answer(default_instructions());
        }
    });
}

void CatalogService::load_categories()
{
    m_client.get_async(m_endpoints.base_api, REQUEST_TIMEOUT_S, this, [this](const HttpResult &result) {
        if (result.ok && result.status != 200) {
            emit categories_failed(QStringLiteral("无法加载皮肤分类，请检查网络连接"));
            return;
        }
        QString error;
        std::optional<QJsonArray> records;
        std::optional<catalog::Categories> derived;
        if (!result.ok)
            error = result.error_text();
        else if ((records = catalog::records_from_body(result.body, &error)))
            derived = catalog::derive_categories(*records, &error);
        if (!derived) {
            applog::error(QStringLiteral("加载分类失败: ") + error);
            emit categories_failed(QStringLiteral("加载皮肤分类失败，请检查网络连接"));
            return;
        }
        emit categories_ready(*derived);
        emit catalogue_changed(*records);
    });
}

int CatalogService::load_skins(const QString &category_name, const std::optional<QString> &subcategory_name)
{
    const int generation = ++m_skins_generation;
    m_client.get_async(
        m_endpoints.base_api, REQUEST_TIMEOUT_S, this,
        [this, generation, category_name, subcategory_name](const HttpResult &result) {
            // A newer click asked for another list meanwhile.
            if (generation != m_skins_generation)
                return;
            if (result.ok && result.status != 200) {
                emit skins_failed(generation, QStringLiteral("加载皮肤列表失败，请检查网络连接"));
                return;
            }
            QString error;
            std::optional<QJsonArray> records;
            std::optional<QJsonArray> ordered;
            if (!result.ok)
                error = result.error_text();
            else if ((records = catalog::records_from_body(result.body, &error)))
                ordered = catalog::selection_from_records(*records, category_name, subcategory_name, &error);
            if (!ordered) {
                applog::error(QStringLiteral("加载皮肤列表失败: ") + error);
                emit skins_failed(generation, QStringLiteral("加载皮肤列表失败: ") + error);
                return;
            }
            emit skins_ready(generation, *ordered);
            emit catalogue_changed(*records);
        });
    return generation;
}
