// The search window's log: Memo1, its two menu commands and log.txt.

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "devices/device_searcher.h"
#include "devices/log_file.h"
#include "devices/searcher_dialogs.h"
#include "platform/file_io.h"

namespace quinterra {

void TFormDeviceSearcher::AddLog(const QString& line) { Memo1->appendPlainText(line); }

void TFormDeviceSearcher::AddLog(const std::string& line) { AddLog(QString::fromStdString(line)); }

void TFormDeviceSearcher::Log(const std::string& line) { AddLog(line); }

void TFormDeviceSearcher::Limpiarlog1Click() { Memo1->clear(); }

void TFormDeviceSearcher::Savelog1Click() {
  QStringList lines;
  const QTextDocument* document = Memo1->document();
  if (!document->isEmpty()) {
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      lines << block.text();
    }
  }
  try {
    WriteFileAtomically(start_folder_ + "log.txt", LogFileBytes(lines));
  } catch (const FileError& error) {
    dialogs_->ShowError(this, QString::fromStdString(error.what()));
  }
}

}  // namespace quinterra
