#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace quinterra {
namespace {

using test::TempFolder;

// The message of the FileError thrown by action, or "" when none was thrown.
template <typename Action>
std::string FileErrorOf(Action action) {
  try {
    action();
  } catch (const FileError& error) {
    return error.what();
  }
  return "";
}

TEST(WriteFileAtomically, CreatesAndReplacesWithoutLeavingTemporaryFiles) {
  TempFolder folder;
  const std::string path = folder.File("equipos.ini");
  WriteFileAtomically(path, std::string("first\0bytes", 11));
  EXPECT_EQ(folder.Get("equipos.ini"), std::string("first\0bytes", 11));
  WriteFileAtomically(path, "second");
  WriteFileAtomically(path, "");
  EXPECT_EQ(ReadWholeFile(path), "");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(WriteFileAtomically, MissingFolderFailsNamingTheFileAndTheReason) {
  TempFolder folder;
  const std::string path = folder.File("no-such-folder/config.ini");
  EXPECT_EQ(FileErrorOf([&] { WriteFileAtomically(path, "x"); }),
            "No se puede escribir el archivo \"" + path +
                "\": No existe el archivo o el directorio");
  EXPECT_EQ(folder.EntryCount(), 0u);
}

TEST(WriteFileAtomically, PathThatIsAFolderFailsAndKeepsTheFolder) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("config.ini"));
  folder.Put("config.ini/inside", "kept");
  EXPECT_NE(FileErrorOf([&] { WriteFileAtomically(folder.File("config.ini"), "x"); }), "");
  EXPECT_EQ(folder.Get("config.ini/inside"), "kept");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

// A write cut short (here by the file size limit, which binds root as well
// and stands in for a full disk) keeps the previous file whole.
TEST(WriteFileAtomically, WriteCutShortKeepsThePreviousFile) {
  TempFolder folder;
  folder.Put("doc.ltr", "previous contents");
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string message =
      FileErrorOf([&] { WriteFileAtomically(folder.File("doc.ltr"), std::string(8192, 'x')); });
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_NE(message.find(folder.File("doc.ltr")), std::string::npos) << message;
  EXPECT_EQ(folder.Get("doc.ltr"), "previous contents");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(WriteFileAtomically, KeepsPermissionsAndSymbolicLinks) {
  TempFolder folder;
  folder.Put("real.ini", "old");
  ASSERT_EQ(::chmod(folder.File("real.ini").c_str(), 0640), 0);
  std::filesystem::create_symlink(folder.File("real.ini"), folder.File("link.ini"));

  WriteFileAtomically(folder.File("link.ini"), "new");

  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.ini")));
  EXPECT_EQ(folder.Get("real.ini"), "new");
  struct stat info {};
  ASSERT_EQ(::stat(folder.File("real.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(ReadingFiles, ReadsBytesAndNamesTheFileWhenItCannot) {
  TempFolder folder;
  const std::string bytes("\xFF\0\r\n", 4);
  folder.Put("data", bytes);
  EXPECT_EQ(ReadWholeFile(folder.File("data")), bytes);

  const std::string missing = folder.File("missing.ltr");
  const std::string message = FileErrorOf([&] { ReadWholeFile(missing); });
  EXPECT_NE(message.find(missing), std::string::npos) << message;
  EXPECT_NE(FileErrorOf([&] { ReadWholeFile(folder.Path().string()); }), "");

  // Only a missing file is not an error for ReadFileIfExists.
  EXPECT_FALSE(ReadFileIfExists(missing).has_value());
  EXPECT_NE(FileErrorOf([&] { ReadFileIfExists(folder.Path().string()); }), "");
  EXPECT_TRUE(FileExists(folder.File("data")));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(FileExists(folder.Path().string()));
}

}  // namespace
}  // namespace quinterra
