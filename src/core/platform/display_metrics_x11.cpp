#include "core/platform/display_metrics.h"

#include <cstdlib>
#include <cstring>
#include <string>

#ifdef FURLANE_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace platform {

#ifdef FURLANE_HAVE_XCB

namespace {

// The value of "Xft.dpi" in the X resources (the desktop's font DPI, which
// Qt reads as well); 0 when absent.
int xft_dpi(const std::string &resources)
{
    const std::string key = "Xft.dpi:";
    size_t at = 0;
    while ((at = resources.find(key, at)) != std::string::npos) {
        if (at == 0 || resources[at - 1] == '\n') {
            const double value = std::strtod(resources.c_str() + at + key.size(), nullptr);
            return value > 0 && value < 10000 ? static_cast<int>(value + 0.5) : 0;
        }
        at += key.size();
    }
    return 0;
}

// Property `property` of `window`, read whole; empty when it is not set.
std::string property_bytes(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property,
                           xcb_atom_t type, int unit_size)
{
    std::string bytes;
    const xcb_get_property_cookie_t cookie
        = xcb_get_property(connection, 0, window, property, type, 0, 1u << 20);
    if (xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr)) {
        if (reply->format == unit_size * 8) {
            const int length = xcb_get_property_value_length(reply);
            bytes.assign(static_cast<const char *>(xcb_get_property_value(reply)), static_cast<size_t>(length));
        }
        std::free(reply);
    }
    return bytes;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie
        = xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_atom_t result = XCB_ATOM_NONE;
    if (xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr)) {
        result = reply->atom;
        std::free(reply);
    }
    return result;
}

} // namespace

DisplayMetrics primary_display_metrics()
{
    DisplayMetrics metrics;
    const char *qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && *qpa && std::strncmp(qpa, "xcb", 3) != 0)
        return metrics;
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        return metrics;

    int screen_number = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen_number);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return metrics;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen_number && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem > 0) {
        const xcb_screen_t *screen = screens.data;
        metrics.available_width = screen->width_in_pixels;
        metrics.available_height = screen->height_in_pixels;
        // A window manager publishes the area its panels leave free.
        const xcb_atom_t workarea = atom(connection, "_NET_WORKAREA");
        if (workarea != XCB_ATOM_NONE) {
            const std::string area = property_bytes(connection, screen->root, workarea, XCB_ATOM_CARDINAL, 4);
            if (area.size() >= 4 * sizeof(uint32_t)) {
                uint32_t values[4];
                std::memcpy(values, area.data(), sizeof values);
                if (values[2] > 0 && values[3] > 0) {
                    metrics.available_width = static_cast<int>(values[2]);
                    metrics.available_height = static_cast<int>(values[3]);
                }
            }
        }
        metrics.dpi = xft_dpi(property_bytes(connection, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                                             XCB_ATOM_STRING, 1));
    }
    xcb_disconnect(connection);
    return metrics;
}

#else

DisplayMetrics primary_display_metrics()
{
    return {};
}

#endif

} // namespace platform
