#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "panels/display_image.h"
#include "panels/document.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code = -1;
  std::string out;
};

std::string ShellQuote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the tool with its stderr sent to err_file; stdin is closed off so it
// can never wait for input.
ToolRun RunTool(const std::string& arguments, const fs::path& err_file) {
  const std::string command = ShellQuote(QUINTERRA_IMAGE_TOOL) + " " + arguments + " </dev/null 2>" +
                              ShellQuote(err_file.string());
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[1024];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Hex(const Bytes& bytes) {
  std::string hex;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    hex += pair;
  }
  return hex;
}

class QuinterraImageTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("quinterra-image-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

TEST_F(QuinterraImageTool, PrintsBothImagesOfADocumentAsHexLines) {
  TCellSet set;
  set.Cells[0].Text = "18";
  set.Cells[70].Text = "M";
  set.Cells[99].Text = "31";
  set.Cells[115].Text = "X";
  set.Cells[116].Text = "BOTE";
  set.Cells[125].Text = "1234567";
  set.Cells[133].Text = "999999999";
  const fs::path doc = dir_ / "jornada 12.ltr";
  std::ofstream(doc, std::ios::binary) << FormatDocument(set.Texts());

  const PanelImages images = BuildPanelImages(set.CellsByWire);
  const ToolRun run = RunTool(ShellQuote(doc.string()), dir_ / "err.txt");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, Hex(images.results) + "\n" + Hex(images.jackpots) + "\n");
  EXPECT_EQ(run.out.size(), 2u * (kResultsImageSize + kJackpotsImageSize) + 2u);
  EXPECT_EQ(ReadText(dir_ / "err.txt"), "");
}

TEST_F(QuinterraImageTool, MissingFileFailsWithAMessage) {
  const ToolRun run = RunTool(ShellQuote((dir_ / "none.ltr").string()), dir_ / "err.txt");
  EXPECT_NE(run.exit_code, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(ReadText(dir_ / "err.txt").find("none.ltr"), std::string::npos);
}

TEST_F(QuinterraImageTool, AFolderIsNotADocument) {
  const ToolRun run = RunTool(ShellQuote(dir_.string()), dir_ / "err.txt");
  EXPECT_NE(run.exit_code, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(ReadText(dir_ / "err.txt"), "");
}

TEST_F(QuinterraImageTool, WrongUsageShowsTheUsageLine) {
  for (const std::string arguments : {"", "a.ltr b.ltr"}) {
    const ToolRun run = RunTool(arguments, dir_ / "err.txt");
    EXPECT_EQ(run.exit_code, 2) << arguments;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(ReadText(dir_ / "err.txt").find("usage"), std::string::npos);
  }
}

}  // namespace
}  // namespace quinterra
