#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "tests/support/temp_folder.h"

namespace quinterra {
namespace {

using Names = std::vector<std::string>;
using test::TempFolder;

class ProfileFileTest : public ::testing::Test {
 protected:
  // A profile over the file `name` holding `bytes` exactly.
  TProfileFile Given(const std::string& bytes, const std::string& name = "equipos.ini") {
    folder_.Put(name, bytes);
    return TProfileFile(folder_.File(name));
  }
  std::string Bytes(const std::string& name = "equipos.ini") const { return folder_.Get(name); }

  TempFolder folder_;
};

// equipos.ini as the Windows program leaves it.
const char kWindowsRegistry[] =
    "[0]\r\n"
    "Nombre=Panel Resultados (COM1)\r\n"
    "COMIP=COM1\r\n"
    "SpeedPort=57600\r\n"
    "Version=2.1\r\n"
    "Compilacion=May 18 2011\r\n"
    "NumDispositivo=1\r\n"
    "Selected=*\r\n"
    "[1]\r\n"
    "Nombre=Panel Botes (10.0.0.169)\r\n"
    "COMIP=10.0.0.169\r\n"
    "SpeedPort=10001\r\n"
    "Version=\r\n"
    "Compilacion=\r\n"
    "NumDispositivo=2\r\n"
    "Selected= \r\n";

TEST_F(ProfileFileTest, ReadsAFileAsWindowsWritesIt) {
  const TProfileFile file = Given(kWindowsRegistry);
  EXPECT_EQ(file.ReadSections(), (Names{"0", "1"}));
  EXPECT_EQ(file.ReadString("0", "Nombre", ""), "Panel Resultados (COM1)");
  EXPECT_EQ(file.ReadString("1", "COMIP", ""), "10.0.0.169");
  EXPECT_EQ(file.ReadInteger("1", "NumDispositivo", 0), 2);
  EXPECT_EQ(file.ReadString("0", "Selected", ""), "*");
  EXPECT_EQ(file.ReadString("1", "Selected", "fallback"), "");  // written as one blank
  EXPECT_EQ(file.ReadString("1", "Version", "fallback"), "");    // present but empty
  EXPECT_EQ(file.ReadString("1", "Missing", "fallback"), "fallback");
  EXPECT_EQ(file.ReadString("2", "Nombre", "fallback"), "fallback");
}

TEST_F(ProfileFileTest, NamesIgnoreCaseAndValuesLoseSurroundingBlanks) {
  const TProfileFile file = Given(
      "  [ Config ]  \r\n"
      "  FileName \t=\t C:\\Loterias\\18-05-2011.ltr  \t\r\n"
      "Guardado =1\r\n");
  EXPECT_EQ(file.ReadSections(), (Names{"Config"}));
  EXPECT_EQ(file.ReadString("CONFIG", "filename", ""), "C:\\Loterias\\18-05-2011.ltr");
  EXPECT_EQ(file.ReadInteger("config", "GUARDADO", 0), 1);
}

TEST_F(ProfileFileTest, MissingFileHasNoSectionsAndErasingDoesNotCreateIt) {
  TProfileFile file(folder_.File("equipos.ini"));
  EXPECT_TRUE(file.ReadSections().empty());
  EXPECT_EQ(file.ReadString("0", "Nombre", "none"), "none");
  file.EraseSection("0");
  EXPECT_FALSE(FileExists(file.Path()));
}

TEST_F(ProfileFileTest, WritingCreatesTheFileWithWindowsLineEnds) {
  TProfileFile file(folder_.File("config.ini"));
  file.WriteString("Config", "FileName", "");
  file.WriteInteger("Config", "Guardado", 1);
  file.WriteBool("Config", "PanelResultados", true);
  file.WriteBool("Config", "PanelBotes", false);
  EXPECT_EQ(Bytes("config.ini"),
            "[Config]\r\nFileName=\r\nGuardado=1\r\nPanelResultados=1\r\nPanelBotes=0\r\n");
}

TEST_F(ProfileFileTest, WriteChangesOnlyItsOwnLine) {
  const std::string before =
      "; written by hand\r\n"
      "[Puertos]\r\n"
      "COM40 = /dev/pts/3\r\n"
      "\r\n"
      "[Config]\r\n"
      "FileName=C:\\old.ltr\r\n"
      "Extra=kept\r\n"
      "\r\n"
      "[Otro]\r\n"
      "x=1\r\n";
  TProfileFile file = Given(before, "config.ini");
  file.WriteString("config", "FILENAME", "C:\\new.ltr");  // existing key keeps its place and spelling
  file.WriteInteger("Config", "Guardado", 0);             // new key at the end of its section
  file.WriteString("Nueva", "k", "v");                    // new section at the end
  EXPECT_EQ(Bytes("config.ini"),
            "; written by hand\r\n"
            "[Puertos]\r\n"
            "COM40 = /dev/pts/3\r\n"
            "\r\n"
            "[Config]\r\n"
            "FileName=C:\\new.ltr\r\n"
            "Extra=kept\r\n"
            "Guardado=0\r\n"
            "\r\n"
            "[Otro]\r\n"
            "x=1\r\n"
            "[Nueva]\r\n"
            "k=v\r\n");
}

TEST_F(ProfileFileTest, EraseRemovesTheSectionWithAllItsLines) {
  TProfileFile file = Given(
      "[0]\r\nNombre=a\r\n; note\r\n[1]\r\nNombre=b\r\n[0]\r\nOther=c\r\n[2]\r\nNombre=d");
  EXPECT_EQ(file.ReadSections(), (Names{"0", "1", "2"}));
  file.EraseSection("0");
  EXPECT_EQ(Bytes(), "[1]\r\nNombre=b\r\n[2]\r\nNombre=d");
  file.EraseSection("1");
  file.EraseSection("2");
  EXPECT_EQ(Bytes(), "");
  EXPECT_TRUE(file.ReadSections().empty());
}

TEST_F(ProfileFileTest, SavingTheRegistryTwiceGivesTheSameFile) {
  // What the device list does on every save: erase all, write all rows.
  TProfileFile file = Given(kWindowsRegistry);
  for (const std::string& section : file.ReadSections()) file.EraseSection(section);
  const char* keys[] = {"Nombre", "COMIP", "SpeedPort", "Version", "Compilacion",
                        "NumDispositivo", "Selected"};
  const char* rows[2][7] = {
      {"Panel Resultados (COM1)", "COM1", "57600", "2.1", "May 18 2011", "1", "*"},
      {"Panel Botes (10.0.0.169)", "10.0.0.169", "10001", "", "", "2", " "}};
  for (int row = 0; row < 2; ++row) {
    for (int key = 0; key < 7; ++key) file.WriteString(std::to_string(row), keys[key], rows[row][key]);
  }
  EXPECT_EQ(Bytes(), kWindowsRegistry);
}

TEST_F(ProfileFileTest, IntegersAreWholeDecimalNumbersOrTheFallback) {
  TProfileFile file = Given(
      "[n]\r\na=12\r\nb= -3 \r\nc=+7\r\nd=12abc\r\ne=\r\nf=99999999999\r\ng=0x1F\r\n"
      "h=-2147483648\r\ni=2147483648\r\nj=-\r\n");
  EXPECT_EQ(file.ReadInteger("n", "a", 0), 12);
  EXPECT_EQ(file.ReadInteger("n", "b", 0), -3);
  EXPECT_EQ(file.ReadInteger("n", "c", 0), 7);
  EXPECT_EQ(file.ReadInteger("n", "h", 0), -2147483647 - 1);
  for (const char* key : {"d", "e", "f", "g", "i", "j", "missing"}) {
    EXPECT_EQ(file.ReadInteger("n", key, 5), 5) << key;
  }
  // Booleans are integers read as non-zero.
  EXPECT_TRUE(file.ReadBool("n", "a", false));
  EXPECT_TRUE(file.ReadBool("n", "d", true));
  EXPECT_FALSE(file.ReadBool("n", "d", false));
  file.WriteBool("n", "a", false);
  EXPECT_FALSE(file.ReadBool("n", "a", true));
}

TEST_F(ProfileFileTest, FirstOfRepeatedKeysWinsAndTextBeforeSectionsIsIgnored) {
  TProfileFile file = Given(
      "Nombre=outside\r\n[0]\r\nnoequals\r\nNombre=first\r\nNOMBRE=second\r\n"
      "[0]\r\nNombre=third\r\nLate=found\r\n");
  EXPECT_EQ(file.ReadString("0", "Nombre", ""), "first");
  EXPECT_EQ(file.ReadString("0", "Late", ""), "found");
  EXPECT_EQ(file.ReadString("0", "noequals", "fallback"), "fallback");
  file.WriteString("0", "Nombre", "changed");
  EXPECT_EQ(file.ReadString("0", "Nombre", ""), "changed");
  EXPECT_EQ(Bytes(),
            "Nombre=outside\r\n[0]\r\nnoequals\r\nNombre=changed\r\nNOMBRE=second\r\n"
            "[0]\r\nNombre=third\r\nLate=found\r\n");
}

TEST_F(ProfileFileTest, LinuxLineEndsAndLastLinesWithoutEndAreKept) {
  TProfileFile file = Given("[Config]\nA=1");
  EXPECT_EQ(file.ReadString("Config", "A", ""), "1");
  file.WriteString("Config", "B", "2");
  EXPECT_EQ(Bytes(), "[Config]\nA=1\nB=2\n");

  TProfileFile windows = Given("[Config]\r\nA=1", "config.ini");
  windows.WriteString("Other", "B", "2");
  EXPECT_EQ(Bytes("config.ini"), "[Config]\r\nA=1\r\n[Other]\r\nB=2\r\n");
}

TEST_F(ProfileFileTest, TextIsWindows1252UnlessTheFileHasAUtf8Mark) {
  TProfileFile ansi = Given("[0]\r\nNombre=Qu\xEDntuple\r\n");
  EXPECT_EQ(ansi.ReadString("0", "Nombre", ""), "Quíntuple");
  ansi.WriteString("0", "Compilacion", "Compilación 5\u20AC \u65E5");
  EXPECT_EQ(Bytes(), "[0]\r\nNombre=Qu\xEDntuple\r\nCompilacion=Compilaci\xF3n 5\x80 ?\r\n");

  TProfileFile bom = Given("\xEF\xBB\xBF[0]\r\nNombre=Quíntuple\r\n", "bom.ini");
  EXPECT_EQ(bom.ReadSections(), (Names{"0"}));
  EXPECT_EQ(bom.ReadString("0", "Nombre", ""), "Quíntuple");
  bom.WriteString("0", "Version", "\u65E5");
  EXPECT_EQ(Bytes("bom.ini"), "\xEF\xBB\xBF[0]\r\nNombre=Quíntuple\r\nVersion=\u65E5\r\n");

  // Without the mark the bytes are Windows-1252, however UTF-8 they look.
  TProfileFile looks_utf8 = Given("[0]\r\nNombre=\xC3\xA9\r\n", "looks.ini");
  EXPECT_EQ(looks_utf8.ReadString("0", "Nombre", ""), "\u00C3\u00A9");
  looks_utf8.WriteString("0", "Version", "\u00E9");
  EXPECT_EQ(Bytes("looks.ini"), "[0]\r\nNombre=\xC3\xA9\r\nVersion=\xE9\r\n");
}

TEST_F(ProfileFileTest, ValuesCannotAddLines) {
  // Version and build texts come from the devices themselves.
  TProfileFile file = Given("");
  file.WriteString("0", "Version", "1.0\r\n[9]\r\nNombre=intruder");
  EXPECT_EQ(file.ReadSections(), (Names{"0"}));
  EXPECT_EQ(file.ReadString("0", "Version", ""), "1.0  [9]  Nombre=intruder");
}

TEST_F(ProfileFileTest, RefusedWritesThrowNamingTheFileAndKeepIt) {
  TProfileFile nowhere(folder_.File("missing-folder/equipos.ini"));
  try {
    nowhere.WriteString("0", "Nombre", "x");
    FAIL() << "no FileError";
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find(nowhere.Path()), std::string::npos);
  }

  // A file that cannot be read is never overwritten by a write.
  std::filesystem::create_directory(folder_.File("folder.ini"));
  TProfileFile unreadable(folder_.File("folder.ini"));
  EXPECT_TRUE(unreadable.ReadSections().empty());
  EXPECT_THROW(unreadable.WriteString("0", "Nombre", "x"), FileError);
  EXPECT_THROW(unreadable.EraseSection("0"), FileError);
  EXPECT_TRUE(std::filesystem::is_directory(folder_.File("folder.ini")));
}

TEST_F(ProfileFileTest, GarbageReadsWithoutHarm) {
  const char kGarbage[] = "[0]\r\nNombre=a\0b\r\n\0\0\0[\r\n]]]\r\n==\r\n=x\r\n[]\r\nk=v\r\n";
  std::string garbage(kGarbage, sizeof kGarbage - 1);
  garbage += std::string(1 << 20, 'z') + "=long\r\n[";
  TProfileFile file = Given(garbage);
  EXPECT_EQ(file.ReadString("0", "Nombre", ""), std::string("a\0b", 3));
  EXPECT_EQ(file.ReadString("", "k", ""), "v");
  EXPECT_EQ(file.ReadString("", std::string(1 << 20, 'z'), ""), "long");
  file.WriteString("0", "Selected", "*");
  EXPECT_EQ(file.ReadString("0", "Selected", ""), "*");
  EXPECT_EQ(Bytes().size(), garbage.size() + std::string("Selected=*\r\n").size());
}

}  // namespace
}  // namespace quinterra
