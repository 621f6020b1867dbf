#pragma once
// The command line of quinterra-send, read without touching any file, so
// that every mistake is found before a link is opened.

#include <optional>
#include <string>
#include <vector>

#include "devices/panel_types.h"

namespace quinterra {

enum class TSendCommand { Send, Check, Read, List, Publish, NetworkState, Help, Version };

struct TSendOptions {
  TSendCommand Command = TSendCommand::Send;
  std::string Document;  // FILE.ltr of Send, Read and Publish
  std::string Folder;    // of equipos.ini and config.ini; empty: the current one
  TPanelMode Mode = TPanelMode::Both;
  std::optional<bool> Verify;  // none: config.ini decides
  bool Json = false;
  std::string LogPath;  // empty: no traffic log
  std::string Network;  // the network's folder, for Publish and NetworkState
  std::optional<int> WaitSeconds;  // Publish: wait for the shops' reports
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
