#include "ui/card/magnifier.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRawFont>

namespace {

// Colour emoji fonts first, then outline symbol fonts that have it in black.
const char *const EMOJI_FAMILIES[] = {
    "Segoe UI Emoji", "Apple Color Emoji", "Noto Color Emoji", "Twemoji", "Twitter Color Emoji",
    "JoyPixels", "EmojiOne Color", "Segoe UI Symbol", "Noto Emoji", "Symbola",
};

QString find_emoji_family()
{
    const QFontDatabase database;
    const QStringList installed = database.families();
    for (const char *candidate : EMOJI_FAMILIES) {
        const QString family = QString::fromLatin1(candidate);
        if (!installed.contains(family, Qt::CaseInsensitive) || !database.isSmoothlyScalable(family))
            continue;
        QFont font(family);
        font.setStyleStrategy(QFont::NoFontMerging);
        // The family's own glyphs only: QRawFont looks at the primary font,
        // never at a fallback.
        const QRawFont raw = QRawFont::fromFont(font);
        if (raw.isValid() && raw.familyName().compare(family, Qt::CaseInsensitive) == 0
            && raw.supportsCharacter(static_cast<uint>(MAGNIFIER_EMOJI)))
            return family;
    }
    return QString();
}

QPixmap paint_magnifier(int logical_size, qreal ratio)
{
    QPixmap pixmap(QSize(logical_size, logical_size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = logical_size / 16.0;
    const QColor ink(0x4B, 0x55, 0x63);
    // Lens: a ring with a pale glass; handle: a thick rounded stroke.
    painter.setPen(QPen(ink, 1.8 * unit));
    painter.setBrush(QColor(0xDB, 0xEA, 0xFE));
    painter.drawEllipse(QPointF(6.5 * unit, 6.5 * unit), 4.6 * unit, 4.6 * unit);
    painter.setPen(QPen(ink, 2.6 * unit, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(10.2 * unit, 10.2 * unit), QPointF(14.4 * unit, 14.4 * unit));
    painter.end();
    return pixmap;
}

} // namespace

QString magnifier_emoji_family()
{
    static const QString family = find_emoji_family();
    return family;
}

QIcon drawn_magnifier_icon(int logical_size)
{
    QIcon icon;
    // Every ratio a screen may have here: the icon picks the nearest above.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    icon.addPixmap(paint_magnifier(logical_size, 1.0));
    if (ratio > 1.0)
        icon.addPixmap(paint_magnifier(logical_size, ratio));
    return icon;
}
