#include "ui/browse/installed_button.h"

#include "core/download/skin_files.h"

InstalledButton::InstalledButton(QWidget *parent)
    : QPushButton(parent)
{
    setObjectName(QStringLiteral("installed_button"));
    scan(QString());
}

void InstalledButton::scan(const QString &game_dir)
{
    m_installed = scan_installed_skins(game_dir, m_catalogue);
    m_view_records = installed_view_records(m_installed, game_dir.isEmpty() ? QString() : mod_folder_path(game_dir));
    setText(QStringLiteral("已安装 (%1)").arg(m_installed.count()));
}
