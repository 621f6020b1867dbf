#include "app/panel_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>
#include <algorithm>

namespace quinterra {

namespace {

bool Installed(const QString& family) {
  return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

}  // namespace

QString PanelFontFamily(bool letters) {
  static const bool has_ds_digital = Installed("DS-Digital");
  static const bool has_dseg7 = Installed("DSEG7 Classic");
  static const bool has_dseg14 = Installed("DSEG14 Classic");
  if (has_ds_digital) return "DS-Digital";
  if (letters && has_dseg14) return "DSEG14 Classic";
  if (!letters && has_dseg7) return "DSEG7 Classic";
  if (has_dseg14) return "DSEG14 Classic";
  return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

int PixelsForPointSize(int points) { return points * 96 / 72; }

QFont PanelFont(int pixel_size, bool letters) {
  QFont font(PanelFontFamily(letters));
  font.setPixelSize(pixel_size);
  // Grey pictures must stay grey: no coloured subpixel fringes.
  font.setStyleStrategy(QFont::NoSubpixelAntialias);
  return font;
}

int StretchToFit(const QFont& font, int characters, int width) {
  if (characters <= 0) return 100;
  const int needed = QFontMetrics(font).horizontalAdvance(QString(characters, QChar('8')));
  if (needed <= width || needed <= 0) return 100;
  return std::max(1, width * 100 / needed);
}

}  // namespace quinterra
