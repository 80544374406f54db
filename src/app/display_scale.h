#pragma once

#include <QByteArray>
#include <QSize>

#include <utility>
#include <vector>

// The main window's size in device-independent pixels, and what a title bar
// and frame add around it at 100 %.
constexpr QSize MAIN_WINDOW_SIZE(970, 870);
constexpr QSize WINDOW_FRAME_ALLOWANCE(16, 40);
// Below this the folder row and the category bar no longer have room.
constexpr QSize MINIMUM_WINDOW_SIZE(640, 480);

// The factor the whole program is drawn at, from the display's scale
// (1.0 = 96 DPI) and the area a window may take on that screen, in device
// pixels (empty when unknown). An integer scale is taken as it is; a
// fractional one when the window scaled by it still fits the area, else the
// next lower integer. Whatever the scale, a factor whose window does not fit
// gives way to the next lower integer, down to 1; a scale below 100 % gives
// 1. `window` is the client size at 100 %; the frame around it is taken at
// the display's own scale.
double choose_scale_factor(double display_scale, const QSize &available,
                           const QSize &window = MAIN_WINDOW_SIZE);

// The window's client size, in device-independent pixels, on a screen whose
// free area (device pixels, empty when unknown) may hold less than the whole
// window at `factor` even at 100 % (1366 x 768 less a task bar): as much of
// `window` as fits beside the frame, taken at the display's own scale, but
// not below MINIMUM_WINDOW_SIZE. Where the whole window fits it is `window`.
QSize fitted_window_size(double factor, double display_scale, const QSize &available,
                         const QSize &window = MAIN_WINDOW_SIZE);

// Decides the scale before the application object exists and sets Qt up to
// draw everything at it: Qt's own per-screen scaling off, the factor as
// Qt's global one, fonts sized in points measured at 96 DPI (so they scale
// with the window, not on their own). The environment variables this needs
// are put back by restore_environment() once the application object is
// built, so that programs started later (the updated program) decide
// afresh.
class DisplayScaleSetup final {
public:
    DisplayScaleSetup();
    void restore_environment();

    double display_scale() const { return m_display_scale; }
    double factor() const { return m_factor; }
    // The window's client size on the display it opens on.
    QSize window_size() const;

private:
    void set_variable(const char *name, const QByteArray &value);
    void unset_variable(const char *name);

    double m_display_scale = 1.0;
    double m_factor = 1.0;
    QSize m_available;
    // (name, value before, whether it was set)
    std::vector<std::pair<const char *, std::pair<QByteArray, bool>>> m_saved;
};
