#include "app/display_scale.h"
#include "app/main_window.h"
#include "app/program_services.h"
#include "core/platform/installed_entry.h"
#include "core/support/config.h"
#include "core/support/log.h"
#include "core/support/single_instance.h"
#include "core/update/update_logic.h"

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
    // One Furlane per user: a later start only brings the running one forward.
    SingleInstance single_instance(config::CACHE_DIR());
    const SingleInstance::Claim claim = single_instance.claim();
    if (claim == SingleInstance::Claim::Failed)
        return 1;
    // Players start the program from Explorer, with nowhere to see standard
    // error: the log also goes to a file they can send with a bug report.
    // It is the lock holder's: a later start would cut it under the holder.
    const auto open_log_file = [] {
#ifdef Q_OS_WIN
        applog::open_log_file(QDir(config::CACHE_DIR()).filePath(QStringLiteral("furlane.log")));
#endif
    };
    if (claim == SingleInstance::Claim::First)
        open_log_file();

    // The scale is Qt's to know from the moment the application object
    // exists, so it is decided before.
    DisplayScaleSetup display_scale;
    QApplication app(argc, argv);
    // Desktops match the window to furlane.desktop, for its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("furlane"));
    display_scale.restore_environment();
    if (claim == SingleInstance::Claim::Running) {
        // One that was closing as this one started has let go of the lock.
        if (single_instance.notify_running() != SingleInstance::Notice::LockTaken)
            return 0;
        open_log_file();
    }
    single_instance.listen();
    // A self-update names the program as published: the installer's
    // Start-menu shortcut and "Apps & features" entry follow it.
    if (platform::refresh_installed_entry(
            QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toStdWString(),
            selfupdate::CURRENT_VERSION.toStdWString()))
        applog::info(QStringLiteral("已更新开始菜单快捷方式和程序列表中的版本: ") + selfupdate::CURRENT_VERSION);

    ProgramServices services;
    MainWindow window(services);
    QObject::connect(&single_instance, &SingleInstance::activation_requested, &window, [&window] {
        if (window.isMinimized())
            window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.fit_size(display_scale.window_size());
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
