// Documents (.ltr files) and the settings file of the main window.

#include <QAction>

#include "app/file_filter.h"
#include "app/main_window.h"
#include "app/window_texts.h"
#include "panels/document.h"
#include "platform/file_io.h"

namespace quinterra {

namespace {

const char kOpenFilter[] = "Archivos de lotería (*.ltr)|*.ltr|Todos los archivos|*.*";
const char kSaveFilter[] = "Archivos de lotería (*.ltr)|*.ltr";

}  // namespace

bool TForm1::SaveDocument(const std::string& file_name) {
  SelectCell(nullptr);
  try {
    WriteFileAtomically(file_name, FormatDocument(CellSet.Texts()));
  } catch (const std::exception& error) {
    ShowFileError(error);
    return false;
  }
  DocumentName = file_name;
  ShowDocumentCaption();
  Modified = false;
  return true;
}

bool TForm1::LoadDocument(const std::string& file_name) {
  const std::optional<size_t> items = ReadDocument(file_name);
  if (!items) return false;
  if (*items < static_cast<size_t>(kCellCount))
    dialogs_.ShowInfo("AVISO", QString::fromStdString(ShortDocumentNote(*items)));
  return true;
}

std::optional<size_t> TForm1::ReadDocument(const std::string& file_name) {
  if (!FileExists(file_name)) return std::nullopt;
  std::string contents;
  try {
    contents = ReadWholeFile(file_name);
  } catch (const std::exception& error) {
    ShowFileError(error);
    return std::nullopt;
  }
  // Editing ends without the check: the loaded texts replace it.
  SelectedCell = nullptr;
  SelectCell(nullptr);
  const std::vector<std::string> items = ParseDocument(contents);
  // A short document must not show the rest of the previous one under its
  // name, nor have it saved into it.
  for (TCasilla& cell : CellSet.Cells) cell.Text.clear();
  ApplyDocumentItems(items, CellSet.Cells);
  DrawAllCells();
  Modified = false;
  DocumentName = file_name;
  ShowDocumentCaption();
  return items.size();
}

bool TForm1::AskSaveChanges() {
  SelectCell(nullptr);
  if (!Modified) return true;
  if (DocumentName.empty()) {
    switch (dialogs_.AskYesNoCancel("AVISO", QString::fromUtf8("¿Guardar los cambios?"))) {
      case DialogAnswer::Yes: {
        // The changes are kept unless they were saved: a cancelled save
        // dialog stops the operation as Cancel does, and so does a save
        // that fails.
        const std::optional<QString> chosen = ChooseSaveName();
        return chosen && SaveDocument(chosen->toStdString());
      }
      case DialogAnswer::No:
        return true;
      case DialogAnswer::Cancel:
        return false;
    }
  }
  if (Guardadoautomtico1->isChecked()) return SaveDocument(DocumentName);
  const QString question = QString::fromUtf8("¿Guardar cambios en ") +
                           QString::fromStdString(FileTitle(DocumentName)) + "?";
  switch (dialogs_.AskYesNoCancel("AVISO", question)) {
    case DialogAnswer::Yes:
      return SaveDocument(DocumentName);
    case DialogAnswer::No:
      return true;
    case DialogAnswer::Cancel:
      break;
  }
  return false;
}

bool TForm1::SaveSettings() {
  try {
    Settings->WriteString("Config", "FileName", DocumentName);
    Settings->WriteInteger("Config", "Guardado", Guardadoautomtico1->isChecked() ? 1 : 0);
    Settings->WriteBool("Config", "PanelResultados", PanelResultados1->isChecked());
    Settings->WriteBool("Config", "PanelBotes", PanelBotes1->isChecked());
    Settings->WriteBool("Config", kVerifyKey, VerificarAlEnviar1->isChecked());
  } catch (const std::exception& error) {
    ShowFileError(error);
    return false;
  }
  return true;
}

void TForm1::Nuevo1Click() {
  if (!AskSaveChanges()) return;
  DocumentName.clear();
  SelectedCell = nullptr;
  SelectCell(nullptr);
  Modified = false;
  for (TCasilla& cell : CellSet.Cells) cell.Text.clear();
  DrawAllCells();
  ShowDocumentCaption();
}

void TForm1::Abrir1Click() {
  const std::optional<QString> chosen =
      dialogs_.ChooseFileToOpen(QtNameFilters(QString::fromUtf8(kOpenFilter)));
  if (!chosen) return;
  if (AskSaveChanges()) LoadDocument(chosen->toStdString());
}

void TForm1::Guardar1Click() {
  if (!DocumentName.empty())
    SaveDocument(DocumentName);
  else
    Guardarcomo1Click();
}

std::optional<QString> TForm1::ChooseSaveName() {
  return dialogs_.ChooseFileToSave(QtNameFilters(QString::fromUtf8(kSaveFilter)), "ltr",
                                   TodayForFileName());
}

void TForm1::Guardarcomo1Click() {
  const std::optional<QString> chosen = ChooseSaveName();
  if (chosen) SaveDocument(chosen->toStdString());
}

void TForm1::Guardadoautomtico1Click() {
  Guardadoautomtico1->setChecked(!Guardadoautomtico1->isChecked());
}

}  // namespace quinterra
