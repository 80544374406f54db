#pragma once

#include <QDialog>
#include <QString>

class DownloadManager;
class QVBoxLayout;

// Shows the running download and the waiting ones, each with its own cancel
// button. Rebuilt from the download manager once a second while open.
class DownloadListDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadListDialog)

public:
    explicit DownloadListDialog(DownloadManager &downloads, QWidget *parent = nullptr);

    void update_list();

private:
    void add_task_row(const QString &text, const QString &style, const QString &skin_id);
    void cancel_task(const QString &skin_id);

    DownloadManager &m_downloads;
    QVBoxLayout *m_scroll_layout = nullptr;   // the rows, inside the scroll area
};
