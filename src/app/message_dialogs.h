#pragma once

#include <QString>

class DownloadManager;
class QWidget;

// The application's message box: one look for every kind, the whole text
// selectable. Returns once it is closed.
void show_message(QWidget *parent, const QString &title, const QString &message,
                  const QString &message_type = QStringLiteral("info"));

// Ends the process with `status` at once, without the close handling, once
// the download queue has stopped (as closing the window stops it): an
// install is never cut between its moves. GUI thread only.
[[noreturn]] void end_process(DownloadManager &downloads, int status);

// The "程序错误" box with `message`, then the end with status 1.
[[noreturn]] void force_close_program(QWidget *parent, DownloadManager &downloads, const QString &message);
