#include "app/main_window.h"

// Game folder detection and opening arrive with the game-folder work.
void MainWindow::_detect_by_process() {}
void MainWindow::_open_skin_dir() {}
