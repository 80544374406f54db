#include "app/display_scale.h"

#include "core/platform/display_metrics.h"

#include <QCoreApplication>
#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace {

// A scale this close to an integer (191 DPI, say) is that integer.
constexpr double INTEGER_TOLERANCE = 0.02;

bool fits(double factor, double display_scale, const QSize &available, const QSize &window)
{
    if (available.isEmpty())
        return true;
    const double width = window.width() * factor + WINDOW_FRAME_ALLOWANCE.width() * display_scale;
    const double height = window.height() * factor + WINDOW_FRAME_ALLOWANCE.height() * display_scale;
    return width <= available.width() && height <= available.height();
}

// A scale factor from Qt's variables: QT_SCALE_FACTOR, or the first value
// of QT_SCREEN_SCALE_FACTORS ("2", "2;1" or "HDMI-1=2;DP-1=1"); 1 when unset
// or not a positive number.
double variable_factor(const char *name)
{
    QByteArray text = qgetenv(name).trimmed();
    text = text.left(text.indexOf(';') < 0 ? text.size() : text.indexOf(';'));
    text = text.mid(text.lastIndexOf('=') + 1);
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value > 0 && std::isfinite(value) ? value : 1.0;
}

} // namespace

double choose_scale_factor(double display_scale, const QSize &available, const QSize &window)
{
    if (!(display_scale > 1.0 + INTEGER_TOLERANCE) || !std::isfinite(display_scale))
        return 1.0;
    const double nearest = std::round(display_scale);
    double whole = std::floor(display_scale);
    if (std::abs(display_scale - nearest) <= INTEGER_TOLERANCE) {
        display_scale = nearest;
        whole = nearest;
    } else if (fits(display_scale, display_scale, available, window)) {
        return display_scale;
    }
    for (; whole > 1.0; whole -= 1.0) {
        if (fits(whole, display_scale, available, window))
            return whole;
    }
    return 1.0;
}

QSize fitted_window_size(double factor, double display_scale, const QSize &available, const QSize &window)
{
    if (available.isEmpty() || !(factor > 0))
        return window;
    // Whole pixels only: a fraction over would push the frame off the area.
    const auto room = [&](int area, int frame, int wanted, int least) {
        const int fits = int(std::floor((area - frame * display_scale) / factor + 1e-9));
        return std::max(std::min(wanted, fits), std::min(wanted, least));
    };
    return QSize(room(available.width(), WINDOW_FRAME_ALLOWANCE.width(), window.width(), MINIMUM_WINDOW_SIZE.width()),
                 room(available.height(), WINDOW_FRAME_ALLOWANCE.height(), window.height(), MINIMUM_WINDOW_SIZE.height()));
}

DisplayScaleSetup::DisplayScaleSetup()
{
    const platform::DisplayMetrics metrics = platform::primary_display_metrics();
    m_display_scale = (metrics.dpi > 0 ? metrics.dpi / 96.0 : 1.0)
        * variable_factor("QT_SCALE_FACTOR") * variable_factor("QT_SCREEN_SCALE_FACTORS");
    m_available = QSize(metrics.available_width, metrics.available_height);
    m_factor = choose_scale_factor(m_display_scale, m_available);

    // One factor for everything, ours; not Qt's per-screen one, which
    // rounds fractional scales its own way and lets point sizes grow apart.
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    set_variable("QT_SCALE_FACTOR", QByteArray::number(m_factor, 'g', 6));
    unset_variable("QT_SCREEN_SCALE_FACTORS");
    set_variable("QT_FONT_DPI", "96");
}

QSize DisplayScaleSetup::window_size() const
{
    return fitted_window_size(m_factor, m_display_scale, m_available);
}

void DisplayScaleSetup::set_variable(const char *name, const QByteArray &value)
{
    m_saved.push_back({name, {qgetenv(name), qEnvironmentVariableIsSet(name)}});
    qputenv(name, value);
}

void DisplayScaleSetup::unset_variable(const char *name)
{
    m_saved.push_back({name, {qgetenv(name), qEnvironmentVariableIsSet(name)}});
    qunsetenv(name);
}

void DisplayScaleSetup::restore_environment()
{
    for (const auto &[name, before] : m_saved) {
        if (before.second)
            qputenv(name, before.first);
        else
            qunsetenv(name);
    }
    m_saved.clear();
}
