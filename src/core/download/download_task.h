#pragma once

#include <QJsonObject>
#include <QString>

// One unit of work for the download queue, built by a skin card: the skin's
// identity, its catalogue record as received, and the game folder at the time
// the task was made.
struct DownloadTask {
    QString skin_id;
    QJsonObject skin_data;
    QString game_dir;
};
