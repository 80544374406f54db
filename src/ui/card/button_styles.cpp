#include "ui/card/button_styles.h"

namespace {

QString action_button_style(const char *background, const char *hover, const char *pressed)
{
    return QStringLiteral(R"(
QPushButton {
    background-color: %1;
    color: white;
    border: none;
    border-radius: 12px;
    font: 500 13px 'Microsoft YaHei';
    padding: 4px 10px;
    min-width: 60px;
}
QPushButton:hover {
    background-color: %2;
}
QPushButton:pressed {
    background-color: %3;
}
)").arg(QLatin1String(background), QLatin1String(hover), QLatin1String(pressed));
}

} // namespace

const QString INSTALL_BUTTON_STYLE = action_button_style("#4CAF50", "#45a049", "#3d8b40");
const QString UNINSTALL_BUTTON_STYLE = action_button_style("#FF4444", "#E53935", "#C62828");
const QString UPDATE_BUTTON_STYLE = action_button_style("#2563EB", "#1D4ED8", "#1E40AF");
const QString REPAIR_BUTTON_STYLE = action_button_style("#F59E0B", "#D97706", "#B45309");
