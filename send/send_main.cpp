// quinterra-send: the delivery of "ENVIAR", the presence check, the read-back
// of the panels and the device list, from a terminal, a timer unit or a cron
// job, through the same device session as the windows. See --help and
// man/quinterra-send.1.

#include <QCoreApplication>

#include <filesystem>
#include <iostream>
#include <optional>

#include "history/session_recording.h"
#include "panels/document.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"
#include "platform/profile_file.h"
#include "send/office_commands.h"
#include "send/send_history.h"
#include "send/send_network_report.h"
#include "send/send_options.h"
#include "send/send_report.h"
#include "quinterra_version.h"
#include "send/send_run.h"
#include "platform/stop_signals.h"
#include "send/traffic_log.h"

namespace quinterra {
namespace {

const char kProgram[] = "quinterra-send";

// The images "ENVIAR" builds from the cells, the cells loaded from the file.
// Every saved document holds all the cells: one with fewer (empty, cut
// short, not a document) would blank the panels, so it is refused.
// document_sha256: the record's hash of the document (history/).
PanelImages DocumentImages(const std::string& path, TSendCommand command,
                           std::string& document_sha256) {
  const std::vector<std::string> items = ParseDocument(ReadWholeFile(path));
  if (items.size() < static_cast<size_t>(kCellCount)) {
    throw FileError("el documento «" + path + "» tiene " + std::to_string(items.size()) + " de " +
                    std::to_string(kCellCount) + " casillas: " +
                    (command == TSendCommand::Read ? "no se compara" : "no se envía"));
  }
  TCellSet cells;
  ApplyDocumentItems(items, cells.Cells);
  document_sha256 = DocumentHash(cells.Texts());
  return BuildPanelImages(cells.CellsByWire);
}

// The log must never take the place of a file the run reads.
void RefuseLogOver(const std::string& log, const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    std::error_code ignored;
    if (std::filesystem::equivalent(log, file, ignored))
      throw FileError("El registro no puede escribirse sobre " + file);
  }
}

// Reads what the run needs, refusing before any link opens; throws
// FileError with the reason.
void Prepare(TSessionRun& run, TTrafficLog& log) {
  const TSendOptions& options = run.Options;
  const std::string registry = run.Folder + "equipos.ini";
  if (!ReadFileIfExists(registry)) throw FileError("No existe el archivo " + registry);
  if (!options.Document.empty())
    run.Images = DocumentImages(options.Document, options.Command, run.DocumentSha256);
  run.Verify = options.Verify.value_or(
      TProfileFile(run.Folder + "config.ini").ReadBool("Config", "Verificar", true));
  if (!options.LogPath.empty()) {
    RefuseLogOver(options.LogPath, {registry, run.Folder + "config.ini", options.Document});
    std::string failure;
    if (!log.Open(options.LogPath, failure)) throw FileError(failure);
    run.OnLog = [&log](const std::string& line) { log.Add(line); };
  }
}

int Run(const TSendOptions& options, TStopSignals& stop) {
  TSessionRun run;
  run.Options = options;
  run.Stop = &stop;
  // With its separator: the session names its files by appending.
  const std::filesystem::path folder =
      options.Folder.empty() ? std::filesystem::current_path() : std::filesystem::path(options.Folder);
  run.Folder = (folder / "").string();
  TTrafficLog log;
  TSendReport report;
  report.Command = options.Command;
  try {
    Prepare(run, log);
    report = RunSession(run);
  } catch (const FileError& error) {
    report.Error = error.what();
  }
  if (!report.Error.empty()) std::cerr << kProgram << ": " << report.Error << "\n";
  if (report.TimedOut) std::cerr << kProgram << ": el ciclo no terminó a tiempo; se abandona\n";
  if (report.Interrupted)
    std::cerr << kProgram << ": interrumpido por " << SignalName(stop.Received()) << "\n";
  if (options.Json)
    std::cout << ReportJson(report);
  else if (report.Error.empty())
    std::cout << ReportLines(report);
  std::cout.flush();
  return ExitStatus(report);
}

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  using namespace quinterra;
  const TParsedOptions parsed = ParseSendOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.Options) {
    std::cerr << kProgram << ": " << parsed.Error << "\nPruebe «" << kProgram << " --help».\n";
    return 2;
  }
  if (parsed.Options->Command == TSendCommand::Help) return std::cout << kSendHelp, 0;
  if (parsed.Options->Command == TSendCommand::Version)
    return std::cout << kProgram << " " << QUINTERRA_VERSION << "\n", 0;
  // The record is a file: no event loop, and an answer within milliseconds.
  if (parsed.Options->Command == TSendCommand::History ||
      parsed.Options->Command == TSendCommand::ShownAt)
    return RunHistoryCommand(*parsed.Options, std::cout, std::cerr);
  if (parsed.Options->Command == TSendCommand::NetworkReport)
    return RunNetworkReport(*parsed.Options, std::cerr);
  // The office's commands speak to the network's broker, not to devices.
  if (parsed.Options->Command == TSendCommand::Publish ||
      parsed.Options->Command == TSendCommand::NetworkState) {
    QCoreApplication application(argc, argv);
    return parsed.Options->Command == TSendCommand::Publish
               ? RunPublish(*parsed.Options, std::cout, std::cerr)
               : RunNetworkState(*parsed.Options, std::cout, std::cerr);
  }
  // Sockets, serial workers and timers need the application's event loop.
  QCoreApplication application(argc, argv);
  TStopSignals stop;
  return Run(*parsed.Options, stop);
}
