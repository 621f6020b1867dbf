// Picking cells with the mouse and the keyboard, typing, checking on leaving,
// and the active panels.

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/cell_drawing.h"
#include "app/panel_picture.h"
#include "app/scroll_box.h"
#include "window_fixture.h"

#include <tuple>

using namespace std::chrono_literals;

namespace quinterra {
namespace {

class Editing : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ShowForm();
  }
  void Activate(bool results, bool jackpots) {
    form->SetResultsActive(results);
    form->SetJackpotsActive(jackpots);
  }
  // Selects the cell and types the keys into the edit box.
  void TypeInto(int index, const QString& keys) {
    form->SelectCell(&Cell(index));
    QTest::keyClicks(form->Edit1, keys);
  }
  int Selected() const { return form->SelectedCell ? form->SelectedCell->Index : -1; }
  // A click through the window system, at a point of the scrolling area's
  // visible part.
  void ClickViewport(QPoint at) {
    QWidget* viewport = form->ScrollBox1->viewport();
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, viewport->mapTo(form.get(), at));
  }
};

TEST_F(Editing, EachKindAcceptsOnlyItsCharacters) {
  Activate(true, true);
  struct Case {
    int cell;
    const char* keys;
    const char* stored;
  };
  const Case cases[] = {
      {1, "4", "4"},     {1, "a", ""},     {1, "-", ""},      {1, " ", ""},
      {101, "x", "x"},   {101, "X", "X"},  {101, "1", "1"},   {101, "2", "2"},
      {101, "0", ""},    {101, "3", ""},   {115, "x", "x"},   {70, "M", "M"},
      {70, "m", "m"},    {70, "0", "0"},   {70, "2", "2"},    {70, "3", ""},
      {70, "X", ""},     {116, "Bote", "Bote"}, {116, "1", ""}, {125, "123", "123"},
      {125, "a", ""},    {125, ".", ""},   {0, "31", "31"},   {98, "38", "38"},
  };
  for (const Case& c : cases) {
    Cell(c.cell).Text.clear();
    TypeInto(c.cell, QString::fromUtf8(c.keys));
    EXPECT_EQ(Cell(c.cell).Text, c.stored) << "cell " << c.cell << " keys " << c.keys;
    EXPECT_EQ(form->Edit1->text().toStdString(), c.stored);
  }
  // Non-Latin letters never reach a text cell.
  Cell(116).Text.clear();
  TypeInto(116, "A");
  QTest::sendKeyEvent(QTest::Click, form->Edit1, Qt::Key_Ntilde, QString::fromUtf8("ñ"), {});
  EXPECT_EQ(Cell(116).Text, "A");
}

TEST_F(Editing, TheEditBoxBoundsTheLength) {
  Activate(true, true);
  TypeInto(1, "123");
  EXPECT_EQ(Cell(1).Text, "12");
  TypeInto(101, "12");
  EXPECT_EQ(Cell(101).Text, "1");
  TypeInto(125, "12345678901");
  EXPECT_EQ(Cell(125).Text, "123456789");
}

TEST_F(Editing, ALoadedTextLongerThanItsBoxIsCheckedWhole) {
  Activate(true, true);
  Cell(1).Text = "123";  // Number49
  form->SelectCell(&Cell(1));
  EXPECT_EQ(form->Edit1->text().toStdString(), "123");
  form->SelectCell(nullptr);
  EXPECT_EQ(Cell(1).Text, "") << "123 is out of 1..49";
  Cell(7).Text = "123";  // Free
  form->SelectCell(&Cell(7));
  form->SelectCell(nullptr);
  EXPECT_EQ(Cell(7).Text, "123");
  // Such a text can be shortened, never lengthened.
  form->SelectCell(&Cell(7));
  QTest::keyClick(form->Edit1, Qt::Key_End);
  QTest::keyClick(form->Edit1, Qt::Key_4);
  EXPECT_EQ(Cell(7).Text, "123");
  QTest::keyClick(form->Edit1, Qt::Key_Backspace);
  QTest::keyClick(form->Edit1, Qt::Key_5);
  EXPECT_EQ(Cell(7).Text, "12");
}

TEST_F(Editing, LeavingACellChecksItsRange) {
  Activate(true, true);
  struct Case {
    int cell;
    const char* typed;
    const char* kept;
  };
  const Case cases[] = {
      {1, "50", ""},   {1, "00", ""},   {1, "07", "07"}, {1, "49", "49"}, {1, "1", "1"},
      {63, "54", "54"}, {63, "55", ""}, {55, "50", "50"}, {55, "51", ""}, {83, "31", "31"},
      {83, "32", ""},  {92, "20", "20"}, {92, "21", ""}, {0, "31", "31"},  {0, "32", ""},
      {100, "12", "12"}, {100, "13", ""}, {7, "99", "99"}, {69, "99", "99"},
  };
  for (const Case& c : cases) {
    Cell(c.cell).Text.clear();
    form->Modified = false;
    TypeInto(c.cell, c.typed);
    form->SelectCell(nullptr);
    EXPECT_EQ(Cell(c.cell).Text, c.kept) << "cell " << c.cell << " typed " << c.typed;
    // Only a valid value marks the document changed.
    EXPECT_EQ(form->Modified, std::string(c.kept) == c.typed) << "cell " << c.cell;
  }
}

TEST_F(Editing, ARefusedKeystrokeChangesNeitherTextNorCaret) {
  Activate(true, true);
  TypeInto(125, "1234");
  for (int caret : {0, 2, 4}) {
    form->Edit1->setCursorPosition(caret);
    QTest::keyClick(form->Edit1, Qt::Key_A);
    EXPECT_EQ(form->Edit1->text(), "1234");
    EXPECT_EQ(form->Edit1->cursorPosition(), caret);
    EXPECT_EQ(Cell(125).Text, "1234");
  }
  // Pasting several refused characters puts the caret back too.
  form->Edit1->setCursorPosition(1);
  form->Edit1->insert("ab");
  EXPECT_EQ(form->Edit1->text(), "1234");
  EXPECT_EQ(form->Edit1->cursorPosition(), 1);
}

TEST_F(Editing, TabMovesThroughTheActivePanelsOnly) {
  struct Case {
    bool results, jackpots;
    int from;  // -1: no cell selected
    bool backward;
    int to;
  };
  const Case cases[] = {
      {true, false, 115, false, 0},    {true, false, 0, true, 115},
      {true, false, -1, false, 0},     {true, false, -1, true, 115},
      {true, true, 116, true, 115},    {true, true, 115, false, 116},
      {true, true, 133, false, 0},     {true, true, 0, true, 133},
      {false, true, -1, false, 116},   {false, true, -1, true, 133},
      {false, true, 133, false, 116},  {false, true, 116, true, 133},
      {true, true, 41, false, 42},
  };
  for (const Case& c : cases) {
    Activate(c.results, c.jackpots);
    if (c.from >= 0) form->SelectCell(&Cell(c.from));
    // Keys go where the operator's keys go: to the edit box while it shows.
    QWidget* target = c.from >= 0 ? static_cast<QWidget*>(form->Edit1) : form.get();
    QTest::keyClick(target, Qt::Key_Tab, c.backward ? Qt::ShiftModifier : Qt::NoModifier);
    EXPECT_EQ(Selected(), c.to) << c.results << c.jackpots << " from " << c.from
                                << (c.backward ? " back" : "");
    EXPECT_TRUE(form->Edit1->isVisible());
    EXPECT_EQ(form->Edit1->pos(), QPoint(Cell(c.to).Left, Cell(c.to).Top));
  }
  // The window system's Shift+Tab arrives as Backtab.
  Activate(true, true);
  form->SelectCell(&Cell(116));
  QTest::keyClick(form->Edit1, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(Selected(), 115);
}

TEST_F(Editing, KeysDoNothingWhileBothPanelsAreInactive) {
  Activate(false, false);
  QTest::keyClick(form.get(), Qt::Key_Tab);
  EXPECT_EQ(Selected(), -1);
  EXPECT_FALSE(form->Edit1->isVisible());
  EXPECT_TRUE(form->Image3->isVisible());
  EXPECT_TRUE(form->Image4->isVisible());
  EXPECT_FALSE(form->Image1->isVisible());
  EXPECT_FALSE(form->Image2->isVisible());
}

TEST_F(Editing, EnterEndsEditingAndMerelyTabbingMarksTheDocumentChanged) {
  Activate(true, false);
  EXPECT_FALSE(form->Modified);
  QTest::keyClick(form.get(), Qt::Key_Tab);
  EXPECT_FALSE(form->Modified);
  QTest::keyClick(form->Edit1, Qt::Key_Tab);
  EXPECT_TRUE(form->Modified) << "leaving an empty cell counts as a change";
  QTest::keyClick(form->Edit1, Qt::Key_Return);
  EXPECT_EQ(Selected(), -1);
  EXPECT_FALSE(form->Edit1->isVisible());
  // Keys still reach the window once the edit box has gone.
  QTest::keyClick(form->focusWidget() ? form->focusWidget() : form.get(), Qt::Key_Tab);
  EXPECT_EQ(Selected(), 0);
}

TEST_F(Editing, ClicksPickCellsOfActivePanelsOnly) {
  Activate(true, false);
  form->ScrollBox1->horizontalScrollBar()->setValue(0);
  form->ScrollBox1->verticalScrollBar()->setValue(0);
  form->ScrollBox1MouseDown(Qt::LeftButton, 100, 130);
  EXPECT_EQ(Selected(), 1);
  // The jackpots panel is inactive: its cells cannot be picked, and the
  // click does not end editing either.
  form->ScrollBox1MouseDown(Qt::LeftButton, 912, 140);
  EXPECT_EQ(Selected(), 1);
  // At the seam nothing happens on either panel.
  Activate(true, true);
  form->SelectCell(&Cell(1));
  form->ScrollBox1MouseDown(Qt::LeftButton, 628, 140);
  EXPECT_EQ(Selected(), 1);
  form->ScrollBox1MouseDown(Qt::RightButton, 912, 140);
  EXPECT_EQ(Selected(), 125);
  // Outside every cell of an active panel: editing ends.
  form->ScrollBox1MouseDown(Qt::LeftButton, 10, 10);
  EXPECT_EQ(Selected(), -1);
}

TEST_F(Editing, ClicksAreMatchedInContentCoordinatesWhenScrolled) {
  form->resize(480, 360);
  QCoreApplication::processEvents();
  Activate(true, true);
  QScrollBar* horizontal = form->ScrollBox1->horizontalScrollBar();
  QScrollBar* vertical = form->ScrollBox1->verticalScrollBar();
  const int dx = 650, dy = 100;
  ASSERT_GE(horizontal->maximum(), dx);
  ASSERT_GE(vertical->maximum(), dy);
  horizontal->setValue(dx);
  vertical->setValue(dy);
  // Cell 125 (912, 138) shows at (262, 38) of the visible area.
  ClickViewport(QPoint(912 - dx + 5, 138 - dy + 5));
  EXPECT_EQ(Selected(), 125);
  const QPoint on_screen = form->Edit1->mapTo(form->ScrollBox1->viewport(), QPoint(0, 0));
  EXPECT_EQ(on_screen, QPoint(912 - dx, 138 - dy)) << "the edit box lies over the cell";
  // The cell's bottom-right corner counts; one pixel further does not.
  ClickViewport(QPoint(912 + 183 - dx, 138 + 38 - dy));
  EXPECT_EQ(Selected(), 125);
  ClickViewport(QPoint(912 + 184 - dx, 138 + 39 - dy));
  EXPECT_EQ(Selected(), -1);
  // Clicks on the pictures reach the scrolling area beneath them.
  ClickViewport(QPoint(658 - dx + 1, 355 - dy + 1));
  EXPECT_EQ(Selected(), 119);
  ClickViewport(QPoint(700 - dx, 200 - dy));  // between two jackpot rows
  EXPECT_EQ(Selected(), -1);
  // The whole jackpots picture can be scrolled to.
  EXPECT_GE(horizontal->maximum() + form->ScrollBox1->viewport()->width(), 628 + 510);
}

TEST_F(Editing, AmountsAreEditedWithoutDotsAndDrawnWithThem) {
  Activate(false, true);
  const QImage before = form->Image2->Picture.copy();
  TypeInto(125, "1234567");
  EXPECT_EQ(before, form->Image2->Picture) << "nothing is drawn while typing";
  form->SelectCell(nullptr);
  EXPECT_EQ(TextToDraw(Cell(125)), "1.234.567");
  EXPECT_NE(before, form->Image2->Picture);
  // Drawn with dots: the picture differs from a drawing of the bare digits.
  QImage undotted = before.copy();
  TCasilla bare = Cell(125);
  bare.Kind = CellKind::JackpotText;  // drawn as typed
  bare.Glyphs = GlyphSet::SevenSegment;
  DrawCellValue(undotted, bare, kPanelSeamX);
  EXPECT_NE(undotted, form->Image2->Picture);

  // A loaded value with dots loses them as soon as the cell is picked.
  Cell(126).Text = "2.500.000";
  form->SelectCell(&Cell(126));
  EXPECT_EQ(form->Edit1->text(), "2500000");
  EXPECT_EQ(Cell(126).Text, "2500000");
}

TEST_F(Editing, ALongValueOfThePreviousCellNeverSpillsIntoTheNext) {
  Activate(true, true);
  TypeInto(125, "987654321");
  form->SelectCell(&Cell(1));
  EXPECT_EQ(Cell(1).Text, "");
  EXPECT_EQ(form->Edit1->maxLength(), 2);
  EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), ColorFromBgr(kColorRed));
  EXPECT_EQ(Cell(125).Text, "987654321");
}

TEST_F(Editing, MakingAPanelInactiveEndsEditingAndHidesItsErrorLabel) {
  Activate(true, true);
  form->LabelErrorPanelResultados->show();
  TypeInto(1, "12");
  form->SetResultsActive(false);
  EXPECT_EQ(Selected(), -1);
  EXPECT_EQ(Cell(1).Text, "12");
  EXPECT_FALSE(form->LabelErrorPanelResultados->isVisible());
  EXPECT_TRUE(form->Image3->isVisible());
  EXPECT_FALSE(form->Image1->isVisible());
}

TEST_F(Editing, APickedCellsValueIsSelectedSoTypingReplacesIt) {
  Activate(true, true);
  Cell(1).Text = "2";
  Cell(2).Text = "4";
  ClickViewport(QPoint(100, 130));  // cell 1
  QTest::keyClicks(form->Edit1, "7");
  QTest::keyClick(form->Edit1, Qt::Key_Tab);
  QTest::keyClicks(form->Edit1, "12");  // today's number, not 41 with the 2 refused
  EXPECT_EQ(Cell(1).Text + "," + Cell(2).Text, "7,12");
  // Home and End still edit in place, the caret staying where it is.
  for (auto [key, typed] : {std::pair{Qt::Key_End, "4"}, std::pair{Qt::Key_Home, "2"}}) {
    form->SelectCell(&Cell(2));
    QTest::keyClick(form->Edit1, key);
    QTest::keyClick(form->Edit1, key == Qt::Key_Home ? Qt::Key_Delete : Qt::Key_Backspace);
    QTest::keyClicks(form->Edit1, typed);
  }
  EXPECT_EQ(Cell(2).Text, "24");
  // A refused key leaves the value selected, to be typed over still.
  form->SelectCell(&Cell(2));
  QTest::keyClick(form->Edit1, Qt::Key_A);
  EXPECT_EQ(form->Edit1->selectedText(), "24");
}

TEST_F(Editing, AnEmptiedValueIsNamedOnTheStatusLineAndItsCellFramedBriefly) {
  Activate(true, true);
  const std::tuple<int, const char*, const char*> cases[] = {
      {1, "60", "Valor 60 fuera de rango (1–49): la casilla queda vacía"},
      {0, "x1", "Valor x1 no válido (1–31): la casilla queda vacía"},  // as a document may hold
  };
  for (const auto& [index, value, said] : cases) {
    Cell(index).Text = value;
    form->SelectCell(&Cell(index));
    form->SelectCell(nullptr);
    EXPECT_EQ(form->LabelEstado->text(), QString::fromUtf8(said));
    EXPECT_TRUE(form->MarcaCasilla->geometry().contains(
        QRect(Cell(index).Left, Cell(index).Top, Cell(index).Width, Cell(index).Height)));
  }
  EXPECT_TRUE(form->MarcaCasilla->isVisible());
  clock.Advance(1500ms);
  EXPECT_FALSE(form->MarcaCasilla->isVisible());
}

TEST_F(Editing, AccentedVowelsOfAJackpotTextFoldToTheirLetters) {
  Activate(false, true);
  form->SelectCell(&Cell(116));
  // QTest types ASCII only: the other letters come as the keyboard sends them.
  for (const QChar key : QString::fromUtf8("SábadoÜ"))
    QTest::sendKeyEvent(QTest::Click, form->Edit1, Qt::Key_unknown, QString(key), {});
  EXPECT_EQ(Cell(116).Text, "SabadoU");
  EXPECT_EQ(form->Edit1->cursorPosition(), 7);
}

}  // namespace
}  // namespace quinterra
