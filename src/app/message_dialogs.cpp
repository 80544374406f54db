#include "app/main_window.h"
#include "download/download_manager.h"

#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

namespace {

const char *const MESSAGE_BOX_STYLE = R"(
QMessageBox {
    background-color: #2b2b2b;
    color: #ffffff;
    border: 1px solid #555555;
    border-radius: 12px;
    font-size: 13px;
    font-family: "Microsoft YaHei";
}
QMessageBox QLabel {
    color: #ffffff;
    font-size: 13px;
    font-family: "Microsoft YaHei";
    min-width: 350px;
    max-width: 450px;
    padding: 20px;
    qproperty-alignment: AlignCenter;
    line-height: 1.5;
}
QMessageBox QPushButton {
    background-color: #4CAF50;
    color: white;
    border: none;
    border-radius: 8px;
    font-weight: 500;
    font-size: 14px;
    font-family: "Microsoft YaHei";
    padding: 10px 25px;
    min-width: 100px;
    margin: 5px;
}
QMessageBox QPushButton:hover {
    background-color: #45a049;
    border: 1px solid #4CAF50;
}
QMessageBox QPushButton:pressed {
    background-color: #3d8b40;
    border: 1px solid #45a049;
}
QMessageBox QDialogButtonBox {
    qproperty-centerButtons: true;
}
)";

} // namespace

void MainWindow::show_message(const QString &title, const QString &message, const QString &message_type)
{
    // Every kind looks the same; the kind is kept for the callers' sake.
    Q_UNUSED(message_type)
    QMessageBox box(this);
    box.setWindowTitle(title);
    box.setText(message);
    box.setStyleSheet(QString::fromUtf8(MESSAGE_BOX_STYLE));
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

void MainWindow::_force_close_program(const QString &message)
{
    show_message(QStringLiteral("程序错误"), message, QStringLiteral("critical"));
    _end_process(1);
}

void MainWindow::_end_process(int status)
{
    // No close handling and no sweep; only the downloads stop first, so
    // the mod folder holds whole skins or the old ones.
    DownloadManager::instance()->shutdown();
    std::fflush(nullptr);
    std::_Exit(status);
}
