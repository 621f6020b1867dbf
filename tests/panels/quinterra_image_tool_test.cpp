#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
  std::string err;
};

// Runs the tool on the given (already shell-quoted) arguments, stdin closed.
ToolRun RunTool(const std::string& arguments) {
  const fs::path err_file = fs::path(::testing::TempDir()) /
                            ("quinterra-image-err-" + std::to_string(::getpid()));
  const std::string command = "'" QUINTERRA_IMAGE_TOOL "' " + arguments + " </dev/null 2>'" +
                              err_file.string() + "'";
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[1024];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  std::ifstream err(err_file, std::ios::binary);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  fs::remove(err_file);
  return run;
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

TEST(QuinterraImageTool, PrintsBothImagesOfADocumentAsHexLines) {
  TCellSet set;
  set.Cells[0].Text = "18";
  set.Cells[70].Text = "M";
  set.Cells[115].Text = "X";
  set.Cells[116].Text = "BOTE";
  set.Cells[125].Text = "1234567";
  const fs::path doc = fs::path(::testing::TempDir()) /
                       ("quinterra image " + std::to_string(::getpid()) + ".ltr");
  std::ofstream(doc, std::ios::binary) << FormatDocument(set.Texts());

  const PanelImages images = BuildPanelImages(set.CellsByWire);
  const ToolRun run = RunTool("'" + doc.string() + "'");
  fs::remove(doc);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, Hex(images.results) + "\n" + Hex(images.jackpots) + "\n");
  EXPECT_EQ(run.err, "");
}

TEST(QuinterraImageTool, UnreadableFilesAndWrongUsageFail) {
  const std::string missing = (fs::path(::testing::TempDir()) / "no-such-document.ltr").string();
  ToolRun run = RunTool("'" + missing + "'");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("no-such-document.ltr"), std::string::npos);

  run = RunTool("'" + ::testing::TempDir() + "'");  // a folder opens but does not read
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err, "");

  for (const std::string arguments : {"", "a.ltr b.ltr"}) {
    run = RunTool(arguments);
    EXPECT_EQ(run.exit_code, 2) << arguments;
    EXPECT_NE(run.err.find("usage"), std::string::npos);
  }
}

[[maybe_unused]] std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(QuinterraImageTool, DrawsADocumentOrDisplayFilesAsTheSamePng) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("png-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  TCellSet set;
  set.Cells[0].Text = "18";
  set.Cells[116].Text = "BOTE";
  std::ofstream(dir / "doc.ltr", std::ios::binary) << FormatDocument(set.Texts());
  // Display memories hold more than the panel's bytes; the rest is ignored.
  const PanelImages images = BuildPanelImages(set.CellsByWire);
  std::ofstream(dir / "results.bin", std::ios::binary)
      << std::string(images.results.begin(), images.results.end()) << std::string(200, '\xFF');
  std::ofstream(dir / "jackpots.bin", std::ios::binary)
      << std::string(images.jackpots.begin(), images.jackpots.end());
  std::ofstream(dir / "short.bin", std::ios::binary) << std::string(319, '\0');
  const std::string d = "'" + dir.string() + "/";

  ToolRun run = RunTool("--png " + d + "doc.png' " + d + "doc.ltr'");
#ifdef QUINTERRA_IMAGE_PNG
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const std::string png = Slurp(dir / "doc.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x04\x72\0\0\x03\x4d", 8)) << "1138 x 845";
  run = RunTool("--png " + d + "bin.png' --jackpots " + d + "jackpots.bin' --results " + d +
                "results.bin'");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Slurp(dir / "bin.png"), png);
  run = RunTool("--png " + d + "short.png' --results " + d + "short.bin'");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("320"), std::string::npos) << run.err;
  run = RunTool("--png " + d + "x.png' --results " + d + "results.bin' --results " + d + "results.bin'");
  EXPECT_EQ(run.exit_code, 2);
#else
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("Qt"), std::string::npos) << run.err;
#endif
  fs::remove_all(dir);
}

}  // namespace
}  // namespace quinterra
