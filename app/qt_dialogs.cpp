#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace quinterra {

DialogAnswer TQtDialogs::AskYesNoCancel(const QString& caption, const QString& text) {
  const auto answer =
      QMessageBox::warning(owner_, caption, text,
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (answer == QMessageBox::Yes) return DialogAnswer::Yes;
  if (answer == QMessageBox::No) return DialogAnswer::No;
  return DialogAnswer::Cancel;
}

void TQtDialogs::ShowError(const QString& text) {
  QMessageBox::critical(owner_, QApplication::applicationName(), text);
}

void TQtDialogs::ShowInfo(const QString& caption, const QString& text) {
  QMessageBox::information(owner_, caption, text);
}

std::optional<QString> TQtDialogs::ChooseFileToOpen(const QString& name_filters) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(name_filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

std::optional<QString> TQtDialogs::ChooseFileToSave(const QString& name_filters,
                                                    const QString& default_suffix,
                                                    const QString& preset_name) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(name_filters);
  dialog.setDefaultSuffix(default_suffix);
  dialog.selectFile(preset_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace quinterra
