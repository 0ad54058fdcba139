// Framework-internal: the font a template names, or a stand-in with the same
// dialog units, and the conversion of dialog units to pixels.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

struct DialogFont {
    QFont font;
    QSize baseUnits;  // average character width and height, in pixels

    // Dialog units to pixels, rounded to nearest as the units are defined:
    // x * width / 4, y * height / 8.
    int ToPixelsX(int dialogUnits) const;
    int ToPixelsY(int dialogUnits) const;
    QRect ToPixels(int x, int y, int cx, int cy) const;
};

// The template's font when it is installed. Otherwise a sans-serif stand-in
// sized and stretched so that its base units equal those of the named font
// at 96 dpi ("MS Sans Serif" 8 pt: 6 x 13 pixels), so every control lands
// where the template puts it.
DialogFont ChooseDialogFont(const char* family, int pointSize);

// The base units of `font`: the average width of the 52 Latin letters,
// rounded, and the line height.
QSize MeasureBaseUnits(const QFont& font);
