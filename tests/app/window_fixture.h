#pragma once
// A main window in its own temporary working folder, with scripted dialogs
// and a simulated clock.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "platform/simulated_clock.h"

namespace quinterra {

// Answers the window's questions from a script and records what it showed.
class FakeDialogs : public IDialogs {
 public:
  struct Question {
    QString caption, text;
  };
  std::deque<DialogAnswer> answers;
  std::deque<std::optional<QString>> open_answers;
  std::deque<std::optional<QString>> save_answers;

  std::vector<Question> questions;
  std::vector<QString> errors;
  std::vector<Question> infos;
  std::vector<QString> open_filters;
  struct SaveRequest {
    QString filters, suffix, preset;
  };
  std::vector<SaveRequest> save_requests;

  DialogAnswer AskYesNoCancel(const QString& caption, const QString& text) override {
    questions.push_back({caption, text});
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return DialogAnswer::Cancel;
    }
    DialogAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowError(const QString& text) override { errors.push_back(text); }
  void ShowInfo(const QString& caption, const QString& text) override { infos.push_back({caption, text}); }
  std::optional<QString> ChooseFileToOpen(const QString& filters) override {
    open_filters.push_back(filters);
    if (open_answers.empty()) {
      ADD_FAILURE() << "unexpected open dialog";
      return std::nullopt;
    }
    auto answer = open_answers.front();
    open_answers.pop_front();
    return answer;
  }
  std::optional<QString> ChooseFileToSave(const QString& filters, const QString& suffix,
                                          const QString& preset) override {
    save_requests.push_back({filters, suffix, preset});
    if (save_answers.empty()) {
      ADD_FAILURE() << "unexpected save dialog";
      return std::nullopt;
    }
    auto answer = save_answers.front();
    save_answers.pop_front();
    return answer;
  }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    previous_folder_ = QDir::currentPath();
    QDir::setCurrent(folder_.path());
  }
  void TearDown() override {
    form.reset();
    QDir::setCurrent(previous_folder_);
  }

  // The working folder, ending in a slash.
  std::string Folder() const { return folder_.path().toStdString() + "/"; }
  std::string InFolder(const std::string& name) const { return Folder() + name; }

  TForm1& MakeForm(TForm1Options options = {}) {
    if (options.admin_marker.empty()) options.admin_marker = InFolder("no-marker");
    if (options.build_date.empty()) options.build_date = "May 18 2011";
    form = std::make_unique<TForm1>(dialogs, clock, options);
    return *form;
  }

  // Shows the window (needed for real key and mouse delivery).
  TForm1& ShowForm(TForm1Options options = {}) {
    MakeForm(options);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return *form;
  }

  TCasilla& Cell(int index) { return form->CellSet.Cells.at(index); }
  std::string Caption() const { return form->windowTitle().toStdString(); }

  FakeDialogs dialogs;
  SimulatedClock clock;
  std::unique_ptr<TForm1> form;

 private:
  QTemporaryDir folder_;
  QString previous_folder_;
};

}  // namespace quinterra
