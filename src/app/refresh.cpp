// "刷新页面": fetch the covers of the cards on the current page afresh.
#include "app/main_window.h"
#include "covers/cover_cache.h"
#include "card/skin_widget.h"
#include "support/log.h"
#include "widgets/flow_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPointer>

void MainWindow::_refresh_skins()
{
    // Before a main category is picked (always so at start-up) no card exists.
    if (current_category_name.isEmpty())
        return;
    _refresh_current_page_images();
}

void MainWindow::_refresh_current_page_images()
{
    // A card whose cover is cached shows it (and may change the page's
    // cards through its signals) before load_cover returns: hold them weakly.
    QList<QPointer<SkinWidget>> skin_widgets;
    for (int i = 0; i < flow_layout->count(); ++i) {
        if (auto *card = qobject_cast<SkinWidget *>(flow_layout->itemAt(i)->widget()))
            skin_widgets.append(card);
    }
    if (skin_widgets.isEmpty()) {
        applog::info(QStringLiteral("当前页面没有皮肤组件需要刷新"));
        return;
    }

    int refreshed_count = 0;
    for (const QPointer<SkinWidget> &skin_widget : skin_widgets) {
        if (!skin_widget)
            continue;
        // The same address and cache file the card's own loader uses; a card
        // without cover, main category or subcategory has nothing to refresh.
        const QString url = cover_url(skin_widget->skin_data);
        if (url.isEmpty())
            continue;
        const QString cache_path = cover_cache_path(url);
        if (QFileInfo::exists(cache_path)) {
            QFile cached(cache_path);
            const QString shown = QDir::toNativeSeparators(cache_path);
            if (cached.remove())
                applog::info(QStringLiteral("已清理图片缓存: ") + shown);
            else
                applog::warning(QStringLiteral("清理缓存失败: ") + shown + QStringLiteral(" - ") + cached.errorString());
        }
        skin_widget->load_cover();
        if (skin_widget)
            ++refreshed_count;
    }
    applog::info(QStringLiteral("已刷新 %1 个皮肤的图片缓存").arg(refreshed_count));
}
