// Selecting, typing, checking and drawing cells, and the active panels.

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>

#include "app/cell_drawing.h"
#include "app/main_window.h"
#include "app/panel_font.h"
#include "app/panel_picture.h"
#include "app/panel_pictures.h"
#include "app/scroll_box.h"
#include "panels/cell_kinds.h"
#include "platform/codepage1252.h"

namespace quinterra {

namespace {

QString ToEditText(const std::string& cp1252) {
  return QString::fromStdString(Utf8FromCp1252(cp1252));
}

std::string FromEditText(const QString& text) { return Cp1252FromUtf8(text.toStdString()); }

// The edit box's maximum length. A loaded text may be longer than its kind
// allows; the box must hold it whole (Qt would cut it and the cut text would
// be stored), so that the check on leaving sees what was loaded. The operator
// may shorten such a text but never lengthen it.
int LengthLimit(const CellKindRules& rules, const QString& in_box) {
  return std::max(rules.max_length, int(in_box.size()));
}

// The panel has no glyph for an accent: an accented vowel is typed as its
// vowel ("Sábado" is SABADO). Ñ is a letter of its own and stays refused.
QString WithoutAccents(const QString& text) {
  static const QString accented = QString::fromUtf8("áàâäÁÀÂÄéèêëÉÈÊËíìîïÍÌÎÏóòôöÓÒÔÖúùûüÚÙÛÜ");
  static const QString plain = QString::fromUtf8("aaaaAAAAeeeeEEEEiiiiIIIIooooOOOOuuuuUUUU");
  QString folded = text;
  for (QChar& c : folded) {
    const int at = accented.indexOf(c);
    if (at >= 0) c = plain.at(at);
  }
  return folded;
}

}  // namespace

TCasilla* TForm1::CellAt(int x, int y) { return CellSet.CellAt(x, y); }

void TForm1::ScrollBox1MouseDown(Qt::MouseButton, int x, int y) {
  const int content_x = x + ScrollBox1->horizontalScrollBar()->value();
  const int content_y = y + ScrollBox1->verticalScrollBar()->value();
  if (content_x < kPanelSeamX && !ResultsEditable()) return;
  if (content_x > kPanelSeamX && !JackpotsEditable()) return;
  if (content_x == kPanelSeamX) return;
  SelectCell(CellAt(content_x, content_y));
}

void TForm1::FormKeyUp(int key, Qt::KeyboardModifiers modifiers) {
  const bool results = ResultsEditable(), jackpots = JackpotsEditable();
  if (!results && !jackpots) return;
  const bool backward =
      key == Qt::Key_Backtab || (key == Qt::Key_Tab && (modifiers & Qt::ShiftModifier));
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
    int first, stop;
    if (!backward) {
      first = results ? 0 : kResultsCellCount;
      stop = jackpots ? kCellCount : kResultsCellCount;
    } else {
      first = jackpots ? kCellCount - 1 : kResultsCellCount - 1;
      stop = results ? -1 : kResultsCellCount - 1;
    }
    int next = first;
    if (SelectedCell) {
      next = SelectedCell->Index + (backward ? -1 : 1);
      if (next == stop) next = first;
    }
    SelectCell(&CellSet.Cells[next]);
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    SelectCell(nullptr);
  }
}

bool TForm1::ValidateCell(const TCasilla& cell) const { return ValidateText(cell.Kind, cell.Text); }

void TForm1::SelectCell(TCasilla* cell) {
  TCasilla* old_cell = SelectedCell;
  SelectedCell = cell;
  if (old_cell) {
    TPanelPicture* picture = old_cell->Left >= kPanelSeamX ? Image2 : Image1;
    const int offset = old_cell->Left >= kPanelSeamX ? kPanelSeamX : 0;
    if (ValidateCell(*old_cell)) {
      if (old_cell != cell) DrawCell(*old_cell, picture, offset);
      Modified = true;
    } else {
      const std::string emptied = std::move(old_cell->Text);
      old_cell->Text.clear();
      DrawCell(*old_cell, picture, offset);
      ReportEmptiedCell(*old_cell, emptied);
    }
  }

  // Keep the keyboard with the window while the edit box is hidden, so that
  // Tab and Enter still arrive.
  if (Edit1->hasFocus()) setFocus(Qt::OtherFocusReason);
  Edit1->hide();
  if (!cell) {
    CellsChanged();
    return;
  }

  const CellKindRules& rules = RulesFor(cell->Kind);
  const QString shown = ToEditText(rules.group_thousands ? DigitsOnly(cell->Text) : cell->Text);
  const int limit = LengthLimit(rules, shown);
  Edit1->move(cell->Left, cell->Top);
  Edit1->resize(rules.edit_width, rules.edit_height);
  QFont font = PanelFont(33, cell->Glyphs == GlyphSet::SixteenSegment);
  font.setStretch(StretchToFit(font, limit, rules.edit_width - 4));
  Edit1->setFont(font);
  QPalette palette = Edit1->palette();
  palette.setColor(QPalette::Text, ColorFromBgr(cell->Color));
  Edit1->setPalette(palette);
  in_edit_change_ = true;
  // The length first: Qt cuts a text that is longer than the limit.
  Edit1->setMaxLength(limit);
  Edit1->setText(shown);
  in_edit_change_ = false;
  // What the box now shows becomes the cell's value when its characters pass
  // (so an amount loses its dots); otherwise the cell keeps its text.
  edit_text_before_ = Edit1->text();
  const std::string in_box = FromEditText(edit_text_before_);
  if (AcceptsText(cell->Kind, in_box)) cell->Text = in_box;
  // Typing replaces the value, as in a spreadsheet; arrows, Home and End
  // still edit it in place.
  Edit1->selectAll();
  CellsChanged();
  Edit1->show();
  Edit1->raise();
  QWidget* focused = focusWidget();
  if (!focused || focused == this || focused == Edit1) Edit1->setFocus(Qt::OtherFocusReason);
}

void TForm1::Edit1Change() {
  if (!SelectedCell || in_edit_change_) return;
  QString text = Edit1->text();
  if (SelectedCell->Kind == CellKind::JackpotText) {
    const QString folded = WithoutAccents(text);
    if (folded != text) {
      const int caret = Edit1->cursorPosition();
      in_edit_change_ = true;
      Edit1->setText(folded);
      Edit1->setCursorPosition(caret);
      in_edit_change_ = false;
      text = folded;
    }
  }
  const std::string typed = FromEditText(text);
  if (AcceptsText(SelectedCell->Kind, typed)) {
    SelectedCell->Text = typed;
    edit_text_before_ = text;
    // Qt sets the text again on a new limit, which would send the caret to
    // the end: only a loaded over-long text being shortened changes it.
    const int limit = LengthLimit(RulesFor(SelectedCell->Kind), text);
    if (limit != Edit1->maxLength()) {
      const int caret = Edit1->cursorPosition();
      in_edit_change_ = true;
      Edit1->setMaxLength(limit);
      Edit1->setCursorPosition(caret);
      in_edit_change_ = false;
    }
    CellsChanged();
    return;
  }
  // Refused: put back the text and the caret as they were before the change.
  const int inserted = text.size() - edit_text_before_.size();
  const QString restored = ToEditText(SelectedCell->Text);
  const int caret = std::clamp(Edit1->cursorPosition() - inserted, 0, int(restored.size()));
  const int selection_start = edit_selection_start_;
  const int selection_length = edit_selection_length_;
  in_edit_change_ = true;
  Edit1->setText(restored);
  // A keystroke over a selection leaves it selected.
  if (selection_length > 0 && selection_start >= 0 &&
      selection_start + selection_length <= restored.size())
    Edit1->setSelection(selection_start, selection_length);
  else
    Edit1->setCursorPosition(caret);
  in_edit_change_ = false;
  edit_text_before_ = Edit1->text();
}

// A colour picture not drawn yet gets every cell when it is drawn.
void TForm1::DrawCell(const TCasilla& cell, TPanelPicture* picture, int offset_x) {
  if (picture->Picture.isNull()) return;
  DrawCellValue(picture->Picture, cell, offset_x);
  picture->update();
}

void TForm1::DrawAllCells() {
  for (TCasilla& cell : CellSet.Cells) {
    if (cell.Index < kResultsCellCount)
      DrawCell(cell, Image1, 0);
    else
      DrawCell(cell, Image2, kPanelSeamX);
  }
  CellsChanged();
}

void TForm1::PrepareColourPicture(TPanelPicture* picture) {
  if (!picture->Picture.isNull()) return;
  const bool jackpots = picture == Image2;
  picture->Picture = jackpots ? DrawJackpotsPicture(PictureVariant::Colour, CellSet.Cells)
                              : DrawResultsPicture(PictureVariant::Colour, CellSet.Cells);
  const int offset = jackpots ? kPanelSeamX : 0;
  for (const TCasilla& cell : CellSet.Cells) {
    if ((cell.Index >= kResultsCellCount) == jackpots) DrawCell(cell, picture, offset);
  }
}

void TForm1::SetResultsActive(bool active) {
  if (!active) LabelErrorPanelResultados->hide();
  if (active) PrepareColourPicture(Image1);
  ResultsActive = active;
  Image1->setVisible(ResultsEditable());
  Image3->setVisible(!ResultsEditable());
  SelectCell(nullptr);
  UpdatePanelReasons();
}

void TForm1::SetJackpotsActive(bool active) {
  if (!active) LabelErrorPanelBotes->hide();
  if (active) PrepareColourPicture(Image2);
  JackpotsActive = active;
  Image2->setVisible(JackpotsEditable());
  Image4->setVisible(!JackpotsEditable());
  SelectCell(nullptr);
  UpdatePanelReasons();
}

}  // namespace quinterra
