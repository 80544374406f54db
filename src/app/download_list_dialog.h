#pragma once

#include <QDialog>
#include <QString>

class QScrollArea;
class QTimer;
class QVBoxLayout;
class QWidget;

// Shows the running download and the waiting ones, each with its own cancel
// button. Rebuilt from the download manager once a second while open.
class DownloadListDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadListDialog)

public:
    explicit DownloadListDialog(QWidget *parent = nullptr);

    void update_list();
    void _cancel_task(const QString &skin_id);

    QScrollArea *scroll_area = nullptr;
    QWidget *scroll_widget = nullptr;
    QVBoxLayout *scroll_layout = nullptr;
    QTimer *timer = nullptr;

private:
    void _add_task_row(const QString &text, const QString &style, const QString &skin_id);
};
