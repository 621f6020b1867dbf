// The search window's log: Memo1, its two menu commands and log.txt.

#include <QPlainTextEdit>

#include "devices/device_searcher.h"
#include "devices/log_file.h"
#include "devices/searcher_dialogs.h"
#include "platform/file_io.h"

namespace quinterra {

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
