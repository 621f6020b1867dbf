#include "app/panel_pictures.h"

#include <QPainter>
#include <QPainterPath>

#include "panels/panel_layout.h"

namespace quinterra {

namespace {

struct Palette {
  QColor background, frame, banner, banner_text, name_text, label, box, box_outline, dot, euro,
      divider, rule;
};

QColor Grey(const QColor& c) {
  const int g = qGray(c.rgb());
  return QColor(g, g, g);
}

Palette PaletteFor(PictureVariant variant) {
  Palette p;
  p.background = QColor(12, 24, 92);
  p.frame = QColor(255, 214, 0);
  p.banner = QColor(255, 214, 0);
  p.banner_text = QColor(12, 24, 92);
  p.name_text = QColor(255, 255, 255);
  p.label = QColor(255, 214, 0);
  p.box = QColor(0, 0, 0);
  p.box_outline = QColor(120, 130, 170);
  p.dot = QColor(230, 20, 20);
  p.euro = QColor(255, 214, 0);
  p.divider = QColor(255, 214, 0);
  p.rule = QColor(44, 62, 150);
  if (variant == PictureVariant::Grey) {
    for (QColor* c : {&p.background, &p.frame, &p.banner, &p.banner_text, &p.name_text, &p.label,
                      &p.box_outline, &p.dot, &p.euro, &p.divider, &p.rule})
      *c = Grey(*c);
    p.box = QColor(64, 64, 64);
    p.box_outline = QColor(96, 96, 96);
  }
  return p;
}

// The colour a game's name tag carries (no real logos: a tag with the name).
QColor GameColour(const char* game, PictureVariant variant) {
  struct Entry { const char* game; QColor colour; };
  static const Entry entries[] = {
      {"BONOLOTO", QColor(0, 140, 70)},       {"LA PRIMITIVA", QColor(0, 120, 60)},
      {"EUROMILLONES", QColor(20, 80, 200)},  {"EL GORDO", QColor(200, 30, 40)},
      {"EL QUINIGOL", QColor(0, 150, 150)},   {"LOTOTURF", QColor(150, 40, 140)},
      {"QUÍNTUPLE PLUS", QColor(200, 90, 0)}, {"LA QUINIELA", QColor(180, 20, 60)},
  };
  QColor colour(90, 90, 140);
  for (const Entry& e : entries)
    if (QString::fromUtf8(game).startsWith(QString::fromUtf8(e.game))) colour = e.colour;
  return variant == PictureVariant::Grey ? Grey(colour) : colour;
}

QFont TextFont(int pixel_size) {
  QFont font("DejaVu Sans");
  font.setPixelSize(pixel_size);
  font.setBold(true);
  font.setStyleStrategy(QFont::NoSubpixelAntialias);
  return font;
}

class PictureDrawer {
 public:
  PictureDrawer(QImage& image, PictureVariant variant)
      : variant_(variant), palette_(PaletteFor(variant)), painter_(&image) {
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    // QImage::fill(QColor) looks a grey image's colour up as if it were
    // indexed (and fills with 0); its byte is the shade itself.
    if (image.format() == QImage::Format_Grayscale8)
      image.fill(static_cast<uint>(qGray(palette_.background.rgb())));
    else
      image.fill(palette_.background);
    const QRectF frame(3.5, 3.5, image.width() - 7, image.height() - 7);
    painter_.setPen(QPen(palette_.frame, 3));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRoundedRect(frame, 8, 8);
  }

  void Banner(const QRect& area, const QString& text) {
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(palette_.banner);
    painter_.drawRoundedRect(area, 10, 10);
    painter_.setPen(palette_.banner_text);
    painter_.setFont(TextFont(40));
    painter_.drawText(area, Qt::AlignCenter, text);
  }

  // A game's name in a tag centred on centre_x, its bottom at bottom.
  void NameTag(const char* game, int centre_x, int bottom, bool left_aligned = false) {
    const QString text = QString::fromUtf8(game);
    const QFont font = TextFont(13);
    const int width = QFontMetrics(font).horizontalAdvance(text) + 18;
    const int left = left_aligned ? centre_x : centre_x - width / 2;
    const QRect tag(left, bottom - 18, width, 18);
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(GameColour(game, variant_));
    painter_.drawRoundedRect(tag, 9, 9);
    painter_.setPen(palette_.name_text);
    painter_.setFont(font);
    painter_.drawText(tag, Qt::AlignCenter, text);
  }

  // A small label centred over the span [left, right], its bottom at bottom.
  void Label(const QString& text, int left, int right, int bottom) {
    painter_.setPen(palette_.label);
    painter_.setFont(TextFont(10));
    painter_.drawText(QRect(left - 20, bottom - 13, right - left + 40, 13),
                      Qt::AlignHCenter | Qt::AlignBottom, text);
  }

  // A label left of a box, vertically centred on it.
  void SideLabel(const QString& text, int right, int top, int height) {
    painter_.setPen(palette_.label);
    painter_.setFont(TextFont(11));
    painter_.drawText(QRect(right - 40, top, 40, height), Qt::AlignRight | Qt::AlignVCenter, text);
  }

  void Rule(int left, int right, int y) {
    painter_.setPen(QPen(palette_.rule, 1));
    painter_.drawLine(left, y, right, y);
  }

  void Divider(int x, int top, int bottom) {
    painter_.setPen(QPen(palette_.divider, 1));
    painter_.drawLine(QPointF(x + 0.5, top), QPointF(x + 0.5, bottom));
  }

  void Box(const QRect& cell) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setPen(Qt::NoPen);
    painter_.fillRect(cell, palette_.box_outline);
    painter_.fillRect(cell.adjusted(1, 1, -1, -1), palette_.box);
    painter_.setRenderHint(QPainter::Antialiasing, true);
  }

  void Dot(int x, int y) {
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(palette_.dot);
    painter_.drawEllipse(QPointF(x, y), 2.5, 2.5);
  }

  void Euro(const QRect& area) {
    painter_.setPen(palette_.euro);
    painter_.setFont(TextFont(30));
    painter_.drawText(area, Qt::AlignCenter, QString::fromUtf8("€"));
  }

 private:
  PictureVariant variant_;
  Palette palette_;
  QPainter painter_;
};

// Column spans of a standard results row.
constexpr int kFirstLeft = 34, kCellWidth = 40;
constexpr int kNumbersLeft = 96, kNumbersRight = 344;
constexpr int kCLeft = 361, kRLeft = 420;
constexpr int kQuinielaDividerX = 482;

void DrawResultsDecoration(PictureDrawer& d) {
  d.Banner(QRect(12, 12, 556, 64), "RESULTADOS");
  const int name_centre = (kNumbersLeft + kNumbersRight) / 2;
  auto first = [&](const char* label, int top) {
    d.Label(QString::fromUtf8(label), kFirstLeft, kFirstLeft + kCellWidth, top - 3);
  };
  auto c_and_r = [&](int top) {
    d.Label("C", kCLeft, kCLeft + kCellWidth, top - 3);
    d.Label("R", kRLeft, kRLeft + kCellWidth, top - 3);
  };

  d.NameTag("BONOLOTO", name_centre, 125);
  for (int top : {128, 179, 232, 286}) first("DIA", top);
  c_and_r(128);

  d.Rule(12, kQuinielaDividerX - 8, 331);
  d.NameTag("LA PRIMITIVA", name_centre, 360);
  first("JUEVES", 363);
  first("SÁBADO", 416);
  c_and_r(363);

  d.Rule(12, kQuinielaDividerX - 8, 462);
  d.NameTag("EUROMILLONES", name_centre, 489);
  first("DIA", 492);
  d.Label(QString::fromUtf8("★ ESTRELLAS ★"), kCLeft, kRLeft + kCellWidth, 489);

  d.Rule(12, kQuinielaDividerX - 8, 537);
  d.NameTag("EL GORDO DE LA PRIMITIVA", name_centre, 564);
  first("DOMINGO", 567);
  d.Label(QString::fromUtf8("NºC-R"), kRLeft, kRLeft + kCellWidth, 564);

  d.Rule(12, kQuinielaDividerX - 8, 609);
  d.NameTag("EL QUINIGOL", name_centre, 636);
  first("JORNADA", 639);
  for (int left : {96, 160, 224, 288, 352, 415}) d.Dot(left + 24, 639 + 17);

  d.Rule(12, kQuinielaDividerX - 8, 682);
  d.NameTag("LOTOTURF", name_centre, 709);
  first("JORNADA", 712);
  c_and_r(712);

  d.Rule(12, kQuinielaDividerX - 8, 755);
  d.NameTag("QUÍNTUPLE PLUS", name_centre, 782);
  first("JORNADA", 785);

  // La Quiniela, right of a thin line.
  d.Divider(kQuinielaDividerX, 96, 826);
  d.NameTag("LA QUINIELA", (kQuinielaDividerX + 624) / 2, 125);
  d.Label("JORNADA", 531, 571, 158);
  d.Label("FECHA", 501, 600, 224);
  const int match_tops[14] = {282, 316, 350, 383, 417, 451, 485, 518, 552, 586, 620, 653, 687, 720};
  for (int i = 0; i < 14; ++i) d.SideLabel(QString::number(i + 1), 526, match_tops[i], 31);
  d.SideLabel("P-15", 526, 785, 31);
}

void DrawJackpotsDecoration(PictureDrawer& d) {
  // The "ENVIAR" button covers the banner's left end.
  d.Banner(QRect(76, 12, 422, 64), "BOTES");
  struct Row { const char* game; int top; };
  static const Row rows[] = {
      {"BONOLOTO", 138},     {"LA PRIMITIVA", 222}, {nullptr, 270},
      {"EUROMILLONES", 355}, {"EL GORDO DE LA PRIMITIVA", 438},
      {"LA QUINIELA", 522},  {"EL QUINIGOL", 607},  {"LOTOTURF", 692},
      {"QUÍNTUPLE PLUS", 778},
  };
  int previous_bottom = 0;
  for (const Row& row : rows) {
    if (row.game) {
      if (previous_bottom) d.Rule(12, 498, (previous_bottom + row.top - 22) / 2);
      d.NameTag(row.game, 30, row.top - 5, true);
    }
    d.Euro(QRect(467, row.top, 36, 38));
    previous_bottom = row.top + 38;
  }
}

QImage DrawPicture(int width, PictureVariant variant, const std::vector<TCasilla>& cells,
                   bool jackpots) {
  // A grey picture holds nothing but shades of grey: one byte a pixel, a
  // quarter of the memory of a colour one.
  QImage image(width, kPictureHeight,
               variant == PictureVariant::Grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  PictureDrawer drawer(image, variant);
  if (jackpots)
    DrawJackpotsDecoration(drawer);
  else
    DrawResultsDecoration(drawer);
  const int offset = jackpots ? kPanelSeamX : 0;
  for (const TCasilla& cell : cells) {
    if ((cell.Left >= kPanelSeamX) != jackpots) continue;
    drawer.Box(QRect(cell.Left - offset, cell.Top, cell.Width, cell.Height));
  }
  return image;
}

}  // namespace

QImage DrawResultsPicture(PictureVariant variant, const std::vector<TCasilla>& cells) {
  return DrawPicture(kResultsPictureWidth, variant, cells, false);
}

QImage DrawJackpotsPicture(PictureVariant variant, const std::vector<TCasilla>& cells) {
  return DrawPicture(kJackpotsPictureWidth, variant, cells, true);
}

}  // namespace quinterra
