#include "app/config.h"
#include "app/log.h"
#include "app/main_window.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    applog::install();
    if (!config::init_configuration()) {
        applog::error(QStringLiteral("无法创建缓存目录: ") + config::CACHE_DIR());
        return 1;
    }
#ifdef Q_OS_WIN
    // Players start the program from Explorer, with nowhere to see standard
    // error: the log also goes to a file they can send with a bug report.
    applog::open_log_file(QDir(config::CACHE_DIR()).filePath(QStringLiteral("furlane.log")));
#endif

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
