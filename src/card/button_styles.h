#pragma once

// The two resting looks of a card's action button: green while the skin can
// be installed, red once it is installed and can be removed.
extern const char *const INSTALL_BUTTON_STYLE;
extern const char *const UNINSTALL_BUTTON_STYLE;
