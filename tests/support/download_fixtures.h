#pragma once

#include "core/download/download_task.h"

#include <QJsonObject>
#include <QString>

namespace download_fixtures {

// A download task for a skin whose two files are "<name>.pak" and
// "<name>.sig" in the given categories.
inline DownloadTask make_task(const QString &name, const QString &game_dir,
                              const QString &main_category, const QString &subcategory)
{
    const QJsonObject record{{QStringLiteral("name"), name},
                             {QStringLiteral("MainCategory"), main_category},
                             {QStringLiteral("subcategory"), subcategory},
                             {QStringLiteral("pak_original"), name + QStringLiteral(".pak")},
                             {QStringLiteral("sig_original"), name + QStringLiteral(".sig")}};
    return DownloadTask{name, record, game_dir};
}

} // namespace download_fixtures
