#include "app/display_scale.h"
#include "app/main_window.h"
#include "app/program_services.h"
#include "support/config.h"
#include "support/log.h"

#include <QApplication>
#include <QDir>
#include <QScreen>

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

    // The scale is Qt's to know from the moment the application object
    // exists, so it is decided before.
    DisplayScaleSetup display_scale;
    QApplication app(argc, argv);
    display_scale.restore_environment();

    ProgramServices services;
    MainWindow window(services);
    // Whole on the screen it opens on, frame included, as far as it fits.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize outer = window.size() + WINDOW_FRAME_ALLOWANCE * display_scale.display_scale() / display_scale.factor();
        window.move(qMax(area.left(), area.center().x() - outer.width() / 2),
                    qMax(area.top(), area.center().y() - outer.height() / 2));
    }
    window.show();
    return app.exec();
}
