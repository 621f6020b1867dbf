// The panels as their display bytes light them: the drawing and its window.

#include <QAction>
#include <QComboBox>
#include <QLineEdit>

#include "app/panel_picture.h"
#include "app/panels_view_drawing.h"
#include "app/panels_view_window.h"
#include "tests/app/window_fixture.h"

namespace quinterra {
namespace {

int Brightest(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return std::max({qRed(p), qGreen(p), qBlue(p)});
}
bool Lit(const QImage& image, int x, int y) { return Brightest(image, x, y) > 180; }
bool Dark(const QImage& image, int x, int y) { return Brightest(image, x, y) < 60; }
bool Yellow(const QImage& image, int x, int y) {
  return image.pixel(x, y) == qRgb(255, 255, 0);
}

// Cell 0 (34, 128, 40 x 34): the right digit's top bar crosses (61, 132), its
// middle bar (61, 145). P-15 (532, 785, 39 x 31): its diagonal to the top
// left corner crosses (548, 795), its upward bar (552, 794).
QImage Drawn(const std::map<int, std::string>& texts) {
  TCellSet set;
  for (const auto& [index, text] : texts) set.Cells[static_cast<size_t>(index)].Text = text;
  const PanelImages images = BuildPanelImages(set.CellsByWire);
  return DrawPanelsView({DecodeResultsImage(images.results), DecodeJackpotsImage(images.jackpots), {}});
}

TEST(PanelsViewDrawing, LightsTheSegmentsOfTheBytesAndNoOthers) {
  const QImage seven = Drawn({{0, "17"}, {115, "X"}});
  EXPECT_EQ(seven.size(), QSize(1138, 845));
  EXPECT_TRUE(Lit(seven, 61, 132)) << "top bar of the 7";
  EXPECT_TRUE(Dark(seven, 61, 145)) << "middle bar of the 7";
  EXPECT_GT(qGreen(seven.pixel(61, 132)), 200) << "in the cell's green";
  EXPECT_TRUE(Lit(seven, 548, 795)) << "diagonal of the X";
  EXPECT_TRUE(Dark(seven, 552, 794)) << "upward bar, unlit in an X";
  EXPECT_TRUE(Dark(seven, 120, 656)) << "Quinigol dot without results";

  const QImage eight = Drawn({{0, "18"}, {70, "1"}, {115, "1"}});
  EXPECT_TRUE(Lit(eight, 61, 145)) << "middle bar of the 8";
  EXPECT_TRUE(Dark(eight, 548, 795)) << "diagonal, unlit in a 1";
  EXPECT_TRUE(Lit(eight, 552, 794)) << "upward bar of the 1";
  EXPECT_TRUE(Lit(eight, 120, 656)) << "Quinigol dot with a result";
  EXPECT_FALSE(Yellow(eight, 32, 140));
}

class PanelsView : public WindowTest {
 protected:
  QImage Shown() { return form->PanelsView->Image1->Picture; }
  void Type(int index, const char* text) {
    form->SelectCell(&Cell(index));
    form->Edit1->setText(text);
  }
};

TEST_F(PanelsView, OpensFromArchivoAndFollowsTypingAsEnviarWouldSend) {
  ShowForm();
  EXPECT_EQ(form->Verpaneles1->shortcut(), QKeySequence(Qt::Key_F2));
  form->Verpaneles1->trigger();
  ASSERT_TRUE(form->PanelsView->isVisible());
  EXPECT_EQ(form->PanelsView->windowTitle(), "Vista de los paneles");
  EXPECT_EQ(form->PanelsView->ComboBox1->currentText(), "Documento");
  EXPECT_TRUE(Dark(Shown(), 61, 132));

  form->SetResultsActive(true);
  Type(0, "18");
  EXPECT_TRUE(Lit(Shown(), 61, 145));
  Type(0, "17");
  EXPECT_TRUE(Dark(Shown(), 61, 145));
  Type(0, "50");  // out of range: "ENVIAR" would empty it
  EXPECT_TRUE(Dark(Shown(), 61, 132));
  EXPECT_EQ(Cell(0).Text, "50");
}

TEST_F(PanelsView, DeviceSourcesAreDrawnWithTheirDifferencesFramed) {
  ShowForm();
  form->Verpaneles1->trigger();
  Cell(0).Text = "18";
  TCellSet device;
  device.Cells[0].Text = "17";
  const PanelImages read = BuildPanelImages(device.CellsByWire);
  form->PanelsView->SetDeviceSources({{"Resultados (COM3)", read.results, {}}});
  form->PanelsView->ComboBox1->setCurrentIndex(1);
  EXPECT_TRUE(Dark(Shown(), 61, 145)) << "the device's 7";
  EXPECT_TRUE(Yellow(Shown(), 32, 140)) << "cell 0 framed";
  EXPECT_FALSE(Yellow(Shown(), 94, 140)) << "cell 1 is the same";
  EXPECT_TRUE(Dark(Shown(), 920, 150)) << "jackpots not read";

  // A new list keeps the choice while the name is listed.
  form->PanelsView->SetDeviceSources({{"Otro", {}, {}}, {"Resultados (COM3)", read.results, {}}});
  EXPECT_EQ(form->PanelsView->ComboBox1->currentIndex(), 2);
  form->PanelsView->SetDeviceSources({});
  EXPECT_EQ(form->PanelsView->ComboBox1->currentText(), "Documento");
  EXPECT_TRUE(Lit(Shown(), 61, 145));
}

TEST_F(PanelsView, TheOriginListIsAsWideAsItsLongestEntryAndEscapeCloses) {
  ShowForm();
  form->Verpaneles1->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form->PanelsView));
  const QString longest = QString::fromUtf8("Panel Resultados (COM33 - USB Serial Port, 115200)");
  form->PanelsView->SetDeviceSources({{"Botes", {}, {}}, {longest, {}, {}}});
  QCoreApplication::processEvents();
  EXPECT_GT(form->PanelsView->ComboBox1->width(),
            form->PanelsView->ComboBox1->fontMetrics().horizontalAdvance(longest));

  QTest::keyClick(form->PanelsView, Qt::Key_Escape);
  EXPECT_FALSE(form->PanelsView->isVisible());
}

}  // namespace
}  // namespace quinterra
