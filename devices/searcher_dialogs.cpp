#include "devices/searcher_dialogs.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace quinterra {

void MessageBoxDialogs::ShowInfo(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

void MessageBoxDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

}  // namespace quinterra
