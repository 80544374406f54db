#pragma once

#include <QString>

// The two resting looks of a card's action button: green while the skin can
// be installed, red once it is installed and can be removed.
extern const QString INSTALL_BUTTON_STYLE;
extern const QString UNINSTALL_BUTTON_STYLE;
// The button beside it: blue for a newer build, orange for a repair.
extern const QString UPDATE_BUTTON_STYLE;
extern const QString REPAIR_BUTTON_STYLE;
