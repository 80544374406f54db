#pragma once

#include <QIcon>
#include <QString>

// Furlane's own icon, built into the program: the window shows it wherever
// the program was started from, with or without app.ico beside it.
QIcon app_icon();

// Its largest picture, for a window that takes an icon by its path.
QString app_icon_path();
