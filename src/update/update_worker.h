#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

class MainWindow;

// Drives the self-update on the update thread. Created without a parent so
// that it can be moved there; its signals reach the window queued.
class UpdateWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateWorker)

public:
    UpdateWorker(const QJsonObject &info, MainWindow *main_window);

    QJsonObject info;
    MainWindow *main_window = nullptr;

signals:
    void update_progress(const QString &message);
    void update_finished();
    void update_error(const QString &error_msg);

public slots:
    // Connected to the thread's started signal: leaves the work to the
    // thread's event loop, so that it runs once run() has returned.
    void run();

public:
    void _start_update();
};
