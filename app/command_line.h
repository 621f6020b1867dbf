#pragma once
// The command line of quinterra. Started with no argument (from a terminal)
// the program works in the current folder; the desktop menu starts it with
// --carpeta-usuario, so that config.ini, equipos.ini and log.txt live in the
// user's data folder instead of wherever the menu happens to start it.

#include <string>
#include <vector>

namespace quinterra {

inline constexpr char kUserFolderOption[] = "--carpeta-usuario";

struct TProgramCommandLine {
  bool Help = false;
  bool Version = false;
  bool UserFolder = false;
  // The first argument that is none of ours; empty when all were understood.
  std::string Unknown;
};

// arguments without the program's name. --help and --version win over
// anything else, so that they can be asked for before a display exists.
TProgramCommandLine ParseProgramCommandLine(const std::vector<std::string>& arguments);

std::string ProgramHelpText();
// "quinterra 4.3.26.12.8": the version the caption shows.
std::string ProgramVersionText();

// The per-user working folder: the XDG data home's "quinterra"
// (~/.local/share/quinterra). Creates it when missing and makes it the
// current folder; false, with the reason in *failure, when it cannot.
bool EnterUserFolder(std::string* failure);

}  // namespace quinterra
