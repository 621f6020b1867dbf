// The drawn panel pictures and the painting of cell values into them.

#include <gtest/gtest.h>

#include <QImage>

#include "app/cell_drawing.h"
#include "app/panel_pictures.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

bool IsResults(const TCasilla& cell) { return cell.Index < kResultsCellCount; }
int Offset(const TCasilla& cell) { return IsResults(cell) ? 0 : kPanelSeamX; }

// The rectangle a cell's value is drawn in: 2 px in from every edge.
QRect Inner(const TCasilla& cell) {
  return QRect(cell.Left - Offset(cell) + 2, cell.Top + 2, cell.Width - 4, cell.Height - 4);
}

class PanelPictures : public ::testing::Test {
 protected:
  TCellSet layout;
  QImage results_colour = DrawResultsPicture(PictureVariant::Colour, layout.Cells);
  QImage results_grey = DrawResultsPicture(PictureVariant::Grey, layout.Cells);
  QImage jackpots_colour = DrawJackpotsPicture(PictureVariant::Colour, layout.Cells);
  QImage jackpots_grey = DrawJackpotsPicture(PictureVariant::Grey, layout.Cells);

  QImage& ColourFor(const TCasilla& cell) {
    return IsResults(cell) ? results_colour : jackpots_colour;
  }
};

TEST_F(PanelPictures, HaveTheBitmapSizes) {
  EXPECT_EQ(results_colour.size(), QSize(628, 840));
  EXPECT_EQ(results_grey.size(), QSize(628, 840));
  EXPECT_EQ(jackpots_colour.size(), QSize(510, 840));
  EXPECT_EQ(jackpots_grey.size(), QSize(510, 840));
}

TEST_F(PanelPictures, EveryCellHasItsBoxBlackInColourAndDarkGreyInGrey) {
  for (const TCasilla& cell : layout.Cells) {
    const QImage& colour = ColourFor(cell);
    const QImage& grey = IsResults(cell) ? results_grey : jackpots_grey;
    const QRect box(cell.Left - Offset(cell) + 1, cell.Top + 1, cell.Width - 2, cell.Height - 2);
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x) {
        ASSERT_EQ(colour.pixel(x, y), qRgb(0, 0, 0)) << "cell " << cell.Index << " at " << x << "," << y;
        ASSERT_EQ(grey.pixel(x, y), qRgb(64, 64, 64)) << "cell " << cell.Index;
      }
  }
}

TEST_F(PanelPictures, GreyPicturesHoldOnlyShadesOfGrey) {
  for (const QImage* image : {&results_grey, &jackpots_grey})
    for (int y = 0; y < image->height(); ++y)
      for (int x = 0; x < image->width(); ++x) {
        const QRgb p = image->pixel(x, y);
        ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
      }
}

TEST_F(PanelPictures, ColourPicturesShowTheBackgroundFrameAndQuinigolDots) {
  const QRgb background = results_colour.pixel(20, 600);
  EXPECT_GT(qBlue(background), 2 * qRed(background)) << "dark blue background";
  const QRgb frame = results_colour.pixel(3, 420);
  EXPECT_GT(qRed(frame), 200);
  EXPECT_GT(qGreen(frame), 150);
  EXPECT_LT(qBlue(frame), 80) << "yellow frame";
  // A red dot joins each Quinigol pair, in the gap between the two boxes.
  for (int left : {96, 160, 224, 288, 352, 415}) {
    const QRgb dot = results_colour.pixel(left + 24, 639 + 17);
    EXPECT_GT(qRed(dot), 150) << left;
    EXPECT_LT(qGreen(dot), 80) << left;
  }
}

TEST(TextToDraw, AmountsGetThousandsDotsOtherCellsStayAsTyped) {
  TCellSet layout;
  TCasilla& amount = layout.Cells[125];
  amount.Text = "1234567";
  EXPECT_EQ(TextToDraw(amount), "1.234.567");
  amount.Text = "123";
  EXPECT_EQ(TextToDraw(amount), "123");
  TCasilla& text = layout.Cells[116];
  text.Text = "1234";
  EXPECT_EQ(TextToDraw(text), "1234");
  // Texts are Windows-1252 bytes: a loaded "Ñ" is shown as Ñ.
  text.Text = "\xD1";
  EXPECT_EQ(TextToDraw(text), QString::fromUtf8("Ñ"));
}

TEST_F(PanelPictures, ValuesStayInsideTheirBoxesEvenWhenTooLong) {
  QImage results = results_colour.copy();
  QImage jackpots = jackpots_colour.copy();
  for (TCasilla& cell : layout.Cells) {
    // Wider than any box: more characters than the cell has, widest glyphs.
    cell.Text = cell.Kind == CellKind::JackpotText ? "WWWWWWWWWWWW" : "88888888888";
    DrawCellValue(IsResults(cell) ? results : jackpots, cell, Offset(cell));
  }
  for (int side = 0; side < 2; ++side) {
    const QImage& before = side == 0 ? results_colour : jackpots_colour;
    const QImage& after = side == 0 ? results : jackpots;
    for (int y = 0; y < before.height(); ++y)
      for (int x = 0; x < before.width(); ++x) {
        bool inside = false;
        for (const TCasilla& cell : layout.Cells)
          if ((side == 0) == IsResults(cell) && Inner(cell).contains(x, y)) inside = true;
        if (!inside) ASSERT_EQ(before.pixel(x, y), after.pixel(x, y)) << side << ": " << x << "," << y;
      }
  }
  // And something was drawn in each box, in the cell's colour family.
  for (const TCasilla& cell : layout.Cells) {
    const QImage& after = IsResults(cell) ? results : jackpots;
    const QColor colour = ColorFromBgr(cell.Color);
    int lit = 0;
    const QRect inner = Inner(cell);
    for (int y = inner.top(); y <= inner.bottom(); ++y)
      for (int x = inner.left(); x <= inner.right(); ++x) {
        const QColor p = after.pixelColor(x, y);
        if (p.value() > 128 && (p.red() > 0) == (colour.red() > 0) &&
            (p.green() > 100) == (colour.green() > 0))
          ++lit;
      }
    EXPECT_GT(lit, 10) << "cell " << cell.Index;
  }
}

TEST_F(PanelPictures, EmptyingACellClearsItsBox) {
  TCasilla& cell = layout.Cells[1];
  QImage picture = results_colour.copy();
  cell.Text = "49";
  DrawCellValue(picture, cell, 0);
  EXPECT_NE(picture, results_colour);
  cell.Text.clear();
  DrawCellValue(picture, cell, 0);
  const QRect inner = Inner(cell);
  for (int y = inner.top(); y <= inner.bottom(); ++y)
    for (int x = inner.left(); x <= inner.right(); ++x) ASSERT_EQ(picture.pixel(x, y), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace quinterra
