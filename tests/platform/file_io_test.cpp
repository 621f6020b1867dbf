#include "platform/file_io.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <csignal>
#include <filesystem>
#include <string>

#include "platform/os_text.h"
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
  const std::string message = FileErrorOf([&] { WriteFileAtomically(path, "x"); });
  EXPECT_NE(message.find(path), std::string::npos) << message;
#ifdef _WIN32
  EXPECT_NE(message.find(SystemErrorText(ERROR_PATH_NOT_FOUND)), std::string::npos) << message;
#else
  EXPECT_EQ(message, "No se puede escribir el archivo \"" + path +
                         "\": No existe el archivo o el directorio");
#endif
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

#ifndef _WIN32
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

// A service writing in a folder other users share: a link planted at the
// file's name (to a file that exists, or to one it would create) is
// replaced, and what it pointed at is never touched.
TEST(WriteFileAtomically, WithReplaceALinkAtTheNameIsReplacedNeverWrittenThrough) {
  TempFolder folder;
  folder.Put("victim", "root's own");
  std::filesystem::create_symlink(folder.File("victim"), folder.File("red-version.txt"));
  std::filesystem::create_symlink(folder.File("created-elsewhere"), folder.File("red-claves.json"));

  WriteFileAtomically(folder.File("red-version.txt"), "7 hash\n", TLinkAtName::Replace);
  WriteFileAtomically(folder.File("red-claves.json"), "{}", TLinkAtName::Replace);

  EXPECT_EQ(folder.Get("victim"), "root's own");
  EXPECT_FALSE(std::filesystem::exists(folder.File("created-elsewhere")));
  EXPECT_FALSE(std::filesystem::is_symlink(folder.File("red-version.txt")));
  EXPECT_EQ(folder.Get("red-version.txt"), "7 hash\n");
  EXPECT_EQ(folder.Get("red-claves.json"), "{}");
  EXPECT_EQ(folder.EntryCount(), 3u) << "no temporary file left";
}

// The temporary file's name cannot be guessed: names planted ahead (here
// every one a process id and a counter would give) neither stop the write
// nor lead it anywhere.
TEST(WriteFileAtomically, NamesPlantedAheadNeitherStopNorLeadTheWrite) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("watch"));
  for (int counter = 0; counter < 1000; ++counter) {
    const std::string planted =
        folder.File("watch/key") + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter);
    std::filesystem::create_symlink(folder.File("elsewhere"), planted);
  }
  WriteFileAtomically(folder.File("watch/key"), "x");
  EXPECT_FALSE(std::filesystem::exists(folder.File("elsewhere")));
  EXPECT_EQ(folder.Get("watch/key"), "x");
}

TEST(WriteFileWithMode, AKeyHasItsModeFromTheStartWhateverTheUmaskOrThePreviousFile) {
  TempFolder folder;
  const mode_t saved = ::umask(0);
  WriteFileWithMode(folder.File("office-sign.key"), "secret", 0600);
  folder.Put("wide.key", "old");
  ASSERT_EQ(::chmod(folder.File("wide.key").c_str(), 0666), 0);
  WriteFileWithMode(folder.File("wide.key"), "new", 0600);
  ::umask(saved);
  for (const char* name : {"office-sign.key", "wide.key"}) {
    struct stat info {};
    ASSERT_EQ(::stat(folder.File(name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
  }
  EXPECT_EQ(folder.Get("wide.key"), "new");
}
#else
// Replacing by a move would not notice the read-only mark (root on Linux
// passes that check, so only Windows can show it).
TEST(WriteFileAtomically, AReadOnlyFileIsRefusedAndKept) {
  TempFolder folder;
  folder.Put("equipos.ini", "kept");
  ASSERT_TRUE(::SetFileAttributesW((folder.Path() / "equipos.ini").wstring().c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(FileErrorOf([&] { WriteFileAtomically(folder.File("equipos.ini"), "new"); }), "");
  EXPECT_EQ(folder.Get("equipos.ini"), "kept");
  EXPECT_EQ(folder.EntryCount(), 1u);
  ::SetFileAttributesW((folder.Path() / "equipos.ini").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

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
