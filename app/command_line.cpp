#include "app/command_line.h"

#include <QDir>
#include <QStandardPaths>

#include "quinterra_version.h"

namespace quinterra {

TProgramCommandLine ParseProgramCommandLine(const std::vector<std::string>& arguments) {
  TProgramCommandLine line;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      line.Help = true;
    } else if (argument == "--version") {
      line.Version = true;
    } else if (argument == kUserFolderOption) {
      line.UserFolder = true;
    } else if (line.Unknown.empty()) {
      line.Unknown = argument;
    }
  }
  return line;
}

std::string ProgramHelpText() {
  return "Uso: quinterra [--carpeta-usuario]\n"
         "\n"
         "Rellena los paneles LED de resultados y de botes y los envía a los equipos.\n"
         "\n"
         "Sin argumentos trabaja en la carpeta actual: allí lee y escribe config.ini,\n"
         "equipos.ini y log.txt.\n"
         "\n"
         "  --carpeta-usuario  trabaja en la carpeta de datos del usuario\n"
         "                     (~/.local/share/quinterra), que crea si falta; así la\n"
         "                     arranca la entrada del menú del escritorio\n"
         "  --version          muestra la versión\n"
         "  --help             muestra esta ayuda\n";
}

std::string ProgramVersionText() { return std::string("quinterra ") + QUINTERRA_VERSION + "\n"; }

bool EnterUserFolder(std::string* failure) {
  const QString folder =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/quinterra";
  if (!QDir().mkpath(folder)) {
    if (failure) *failure = "No se puede crear la carpeta " + folder.toStdString();
    return false;
  }
  if (!QDir::setCurrent(folder)) {
    if (failure) *failure = "No se puede entrar en la carpeta " + folder.toStdString();
    return false;
  }
  return true;
}

}  // namespace quinterra
