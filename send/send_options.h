#pragma once
// The command line of quinterra-send, read without touching any file, so
// that every mistake is found before a link is opened.

#include <optional>
#include <string>
#include <vector>

#include "devices/panel_types.h"

namespace quinterra {

enum class TSendCommand {
  Send,
  Check,
  Read,
  List,
  Publish,
  NetworkState,
  History,  // the record of what the panels showed (--history)
  ShownAt,  // what they showed at a moment (--shown-at)
  NetworkReport,  // the office's record of the network, as CSV or PDF
  Help,
  Version
};

struct TSendOptions {
  TSendCommand Command = TSendCommand::Send;
  std::string Document;  // FILE.ltr of Send, Read and Publish
  std::string Folder;    // of equipos.ini and config.ini; empty: the current one
  TPanelMode Mode = TPanelMode::Both;
  std::optional<bool> Verify;  // none: config.ini decides
  bool Json = false;
  std::string LogPath;  // empty: no traffic log
  std::string Network;  // the network's folder, for Publish, NetworkState and NetworkReport
  // Publish and NetworkState: how long to wait for the broker (a minute
  // without it); Publish: then for the shops' reports.
  std::optional<int> WaitSeconds;
  // History and NetworkReport: the events between From and To (UTC texts,
  // empty: no bound), or with VerifyChain whether the record's chain holds.
  std::string From, To;
  bool VerifyChain = false;
  // ShownAt: the moment (UTC text), and where to draw it.
  std::string Moment;
  std::string PngPath;
  // NetworkReport: where the report goes, one of the two.
  std::string CsvPath, PdfPath;
};

struct TParsedOptions {
  std::optional<TSendOptions> Options;
  std::string Error;  // in Spanish, when Options is empty
};

// arguments: the command line without the program's name.
TParsedOptions ParseSendOptions(const std::vector<std::string>& arguments);

// The text of --help.
extern const char kSendHelp[];

}  // namespace quinterra
