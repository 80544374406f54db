#include "app/config.h"
#include "app/log.h"
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    applog::install();
    if (!config::init_configuration()) {
        applog::error(QStringLiteral("无法创建缓存目录: ") + config::CACHE_DIR());
        return 1;
    }

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
