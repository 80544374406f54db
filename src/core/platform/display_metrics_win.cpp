#include "core/platform/display_metrics.h"

#include <windows.h>

namespace platform {

namespace {

// shcore.dll (Windows 8.1 and later), looked up at run time so that older
// systems still start, with the system-wide DPI.
using SetProcessDpiAwarenessFn = HRESULT(WINAPI *)(int);
using GetDpiForMonitorFn = HRESULT(WINAPI *)(HMONITOR, int, UINT *, UINT *);
constexpr int PROCESS_PER_MONITOR_AWARE = 2;
constexpr int EFFECTIVE_DPI = 0;

template <typename Fn>
Fn shcore_function(HMODULE shcore, const char *name)
{
    if (!shcore)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(shcore, name)));
}

} // namespace

DisplayMetrics primary_display_metrics()
{
    // shcore stays loaded: Qt's platform plugin uses it as well.
    const HMODULE shcore = LoadLibraryW(L"shcore.dll");
    if (auto set_awareness = shcore_function<SetProcessDpiAwarenessFn>(shcore, "SetProcessDpiAwareness"))
        set_awareness(PROCESS_PER_MONITOR_AWARE);
    else
        SetProcessDPIAware();

    DisplayMetrics metrics;
    const POINT origin{0, 0};
    const HMONITOR monitor = MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && GetMonitorInfoW(monitor, &info)) {
        metrics.available_width = info.rcWork.right - info.rcWork.left;
        metrics.available_height = info.rcWork.bottom - info.rcWork.top;
    }
    UINT dpi_x = 0;
    UINT dpi_y = 0;
    auto dpi_for_monitor = shcore_function<GetDpiForMonitorFn>(shcore, "GetDpiForMonitor");
    if (monitor && dpi_for_monitor && dpi_for_monitor(monitor, EFFECTIVE_DPI, &dpi_x, &dpi_y) == S_OK && dpi_y > 0) {
        metrics.dpi = static_cast<int>(dpi_y);
    } else if (const HDC screen = GetDC(nullptr)) {
        metrics.dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return metrics;
}

} // namespace platform
