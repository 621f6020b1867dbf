// The search window's log: Memo1, its two menu commands and log.txt.

#include <QPlainTextEdit>
#include <QScrollBar>

#include "devices/device_searcher.h"
#include "devices/log_file.h"
#include "devices/searcher_dialogs.h"
#include "platform/file_io.h"

namespace quinterra {

void TFormDeviceSearcher::AppendLogLine(const QString& line) {
  // Hidden, the log keeps to its newest line, so that it shows there.
  QScrollBar* bar = Memo1->verticalScrollBar();
  const bool at_newest = Memo1->isHidden() || bar->value() >= bar->maximum();
  Memo1->appendPlainText(line);
  if (at_newest) bar->setValue(bar->maximum());
}

void TFormDeviceSearcher::Limpiarlog1Click() {
  session_->ClearLog();
  Memo1->clear();
}

void TFormDeviceSearcher::Savelog1Click() {
  try {
    WriteFileAtomically(start_folder_ + "log.txt", LogFileBytes(session_->LogLines()));
  } catch (const FileError& error) {
    dialogs_->ShowError(this, QString::fromStdString(error.what()));
  }
}

}  // namespace quinterra
