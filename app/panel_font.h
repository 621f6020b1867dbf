#pragma once
// The digital font of the panel pictures and the edit box: "DS-Digital" when
// installed, else the DSEG fonts (7-segment for digits, 14-segment for
// letters and signs), else the system's monospace font.

#include <QFont>
#include <QString>

namespace quinterra {

// The family used for cells shown with 7-segment (letters false) or
// 16-segment (letters true) glyphs.
QString PanelFontFamily(bool letters);

// Pixels of a font size given in points on a 96 dpi screen (25 -> 33).
int PixelsForPointSize(int points);

QFont PanelFont(int pixel_size, bool letters);

// The horizontal stretch (percent, at most 100) that fits `characters`
// characters of font into width pixels.
int StretchToFit(const QFont& font, int characters, int width);

}  // namespace quinterra
