#pragma once

#include <QIcon>
#include <QString>

// The zoom button's magnifier: the emoji U+1F50D where an outline font on
// this system holds it, otherwise an icon the program draws.
//
// The emoji is drawn only in such a font, named outright and without
// falling back to others: Qt's fallback for a missing glyph may land on a
// bitmap-only colour emoji font (Noto Color Emoji, which Wine lists as a
// raster font without outline metrics), where Qt's Windows font engine
// crashes or draws nothing.

constexpr char32_t MAGNIFIER_EMOJI = U'\U0001F50D';

// Family of an outline font that holds the emoji; empty when none does.
// Looked up once.
QString magnifier_emoji_family();

// The drawn magnifier, `logical_size` pixels square, sharp at any device
// pixel ratio.
QIcon drawn_magnifier_icon(int logical_size);
