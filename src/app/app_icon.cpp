#include "app/app_icon.h"

// The resources live in a static library: nothing would pull them into the
// program unless they are initialised by name.
static void init_icon_resources()
{
    Q_INIT_RESOURCE(furlane);
}

QIcon app_icon()
{
    init_icon_resources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/furlane/furlane-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString app_icon_path()
{
    init_icon_resources();
    return QStringLiteral(":/furlane/furlane-256.png");
}
