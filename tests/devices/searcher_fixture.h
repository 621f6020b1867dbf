#pragma once
// A search window in a temporary start folder, with recorded message boxes,
// a made-up list of serial ports and simulated time.

#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devices/device_searcher.h"
#include "devices/searcher_dialogs.h"
#include "links/link_layer.h"
#include "platform/simulated_clock.h"

namespace quinterra::testing {

class RecordingDialogs : public ISearcherDialogs {
 public:
  void ShowInfo(QWidget*, const QString& text) override { infos.push_back(text); }
  void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
  std::vector<QString> infos;
  std::vector<QString> errors;
};

class SearcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    TDeviceSession::ForgetDevicesLoaded();
  }

  // The window is made on first use, so a test can prepare files and ports.
  TFormDeviceSearcher& Window() {
    if (!window_) {
      TFormDeviceSearcher::Environment environment;
      environment.StartFolder = Folder();
      environment.Dialogs = dialogs_;
      environment.PresentPorts = [this] { return ports_; };
      environment.SettableRates = [this](int com_number) {
        const auto found = rates_.find(com_number);
        return found == rates_.end() ? std::vector<int>() : found->second;
      };
      environment.RandomSeed = 1234;
      window_ = std::make_unique<TFormDeviceSearcher>(clock_, environment);
    }
    return *window_;
  }

  TDeviceSession& Session() { return Window().Session(); }
  TLinkLayer& Link() { return static_cast<TLinkLayer&>(Session().Link()); }

  std::string Folder() const { return folder_.path().toStdString(); }
  std::string PathOf(const std::string& name) const { return Folder() + "/" + name; }

  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(PathOf(name), std::ios::binary);
    out << bytes;
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  std::vector<std::string> LogLines() {
    const QString text = Window().Memo1->toPlainText();
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
    return lines;
  }

  QTemporaryDir folder_;
  SimulatedClock clock_;
  std::shared_ptr<RecordingDialogs> dialogs_ = std::make_shared<RecordingDialogs>();
  std::vector<std::string> ports_;
  std::map<int, std::vector<int>> rates_;
  std::unique_ptr<TFormDeviceSearcher> window_;
};

}  // namespace quinterra::testing
