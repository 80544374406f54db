// Search by name in the window: the field beside the main categories and its
// results in the grid.
#include "app/main_window.h"

void MainWindow::connect_search()
{
}
