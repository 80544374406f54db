#pragma once

class QImage;
class QString;
class QTimer;

// What the benchmark programs share.

// Points HOME and the XDG folders at `home`, so that the settings store and
// the cover cache are the program's alone. Call before the application
// object exists.
void use_private_home(const QString &home);

// From now on `watch` looks for a message box every 50 ms and ends the
// program (status 1) with the box's text on standard error: nobody would
// ever click it.
void stop_on_message_box(QTimer *watch);

// Painted-art-like content (gradients, soft shapes, mild grain), 1920 x 1080,
// different for every seed: about 300 KB a file as JPEG at quality 90, the
// size of a typical full-HD cover.
QImage painted_cover(int seed);
