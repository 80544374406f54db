// The installed view in the window: its button beside the search field and
// the installed skins in the grid.
#include "app/main_window.h"

void MainWindow::connect_installed()
{
}
