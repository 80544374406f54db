#pragma once

namespace platform {

// What the display the window opens on (the primary one) tells before any
// window exists.
struct DisplayMetrics {
    // The desktop's DPI setting; 96 is 100 %. 0 when it cannot be read.
    int dpi = 0;
    // Size of the area a window may take (the screen less task bars), in
    // device pixels. 0 when it cannot be read.
    int available_width = 0;
    int available_height = 0;
};

// Reads the metrics of the primary display. On Windows it first makes the
// process aware of each monitor's DPI (as Qt would right after): an unaware
// process is told 96 DPI and a shrunken work area. Elsewhere it asks the X
// server named by DISPLAY, unless Qt is told to use another platform.
DisplayMetrics primary_display_metrics();

} // namespace platform
