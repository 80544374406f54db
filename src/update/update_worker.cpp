#include "update/update_worker.h"

#include "app/main_window.h"

#include <QTimer>

UpdateWorker::UpdateWorker(const QJsonObject &info_, MainWindow *main_window_)
    : QObject(nullptr)
    , info(info_)
    , main_window(main_window_)
{
}

void UpdateWorker::run()
{
    QTimer::singleShot(0, this, &UpdateWorker::_start_update);
}

void UpdateWorker::_start_update()
{
    if (!main_window) {
        emit update_error(QStringLiteral("更新失败: 没有执行更新的主窗口"));
        return;
    }
    // A fatal error has already been handed to the GUI thread when this is false.
    if (main_window->_start_update_process(info))
        emit update_finished();
}
