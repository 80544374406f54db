#pragma once

#include <QString>

// Shows a folder in the desktop's file browser. Returns an empty text on
// success, otherwise what went wrong.
QString open_folder(const QString &path);
