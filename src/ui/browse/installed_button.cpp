#include "ui/browse/installed_button.h"

#include "core/install/skin_files.h"

namespace {

// Low enough to leave the title's row, and so the card area, as high as it
// is without the button: two full rows of cards must still fit the window.
const char *const INSTALLED_BUTTON_STYLE = R"(
QPushButton {
    background-color: #EDF2F7;
    color: #374151;
    border: none;
    border-radius: 4px;
    padding: 0px 10px;
    font-size: 13px;
    font-family: "Microsoft YaHei";
}
QPushButton:hover {
    background-color: #E2E8F0;
}
QPushButton:pressed {
    background-color: #CBD5E1;
}
)";

} // namespace

InstalledButton::InstalledButton(QWidget *parent)
    : QPushButton(parent)
{
    setObjectName(QStringLiteral("installed_button"));
    apply_title_row_look(this);
    show_scan(InstalledScan());
}

void apply_title_row_look(QPushButton *button)
{
    button->setStyleSheet(QString::fromUtf8(INSTALLED_BUTTON_STYLE));
    button->setFixedHeight(22);
}

void InstalledButton::show_scan(const InstalledScan &scan)
{
    m_game_dir = scan.game_dir;
    m_files = scan.files;
    m_installed = scan.installed;
    m_view_records = scan.view_records;
    setText(QStringLiteral("已安装 (%1)").arg(m_installed.count()));
}
