#include "send/send_options.h"

namespace quinterra {

const char kSendHelp[] =
    "Uso: quinterra-send [opciones] DOCUMENTO.ltr\n"
    "     quinterra-send --check [opciones]\n"
    "     quinterra-send --read [opciones] DOCUMENTO.ltr\n"
    "     quinterra-send --list [opciones]\n"
    "\n"
    "Envía los paneles de un documento a los equipos seleccionados de equipos.ini,\n"
    "igual que el botón ENVIAR del programa, sin ventanas.\n"
    "\n"
    "Órdenes:\n"
    "  DOCUMENTO.ltr      envía el documento a los paneles Resultados y Botes\n"
    "  --check            comprueba si los paneles responden\n"
    "  --read DOCUMENTO   lee lo que guarda cada panel y lo compara con el documento\n"
    "  --list             muestra los equipos de equipos.ini\n"
    "\n"
    "Opciones:\n"
    "  --results          solo el panel Resultados\n"
    "  --jackpots         solo el panel Botes\n"
    "  --verify           relee lo escrito en cada equipo y lo compara\n"
    "  --no-verify        no lo relee (por omisión manda la clave Verificar de\n"
    "                     la sección [Config] de config.ini; 1 si no está)\n"
    "  --folder CARPETA   carpeta de equipos.ini y config.ini (por omisión, la actual)\n"
    "  --log ARCHIVO      guarda las líneas del registro de comunicaciones, como log.txt\n"
    "  --json             un objeto JSON en la salida estándar en lugar de las líneas\n"
    "  --help             este texto\n"
    "  --version          la versión\n"
    "\n"
    "Estado de salida:\n"
    "  0  todos los paneles pedidos se enviaron (o responden, o coinciden)\n"
    "  1  algún panel falló, también el que no tiene ningún equipo seleccionado\n"
    "  2  uso incorrecto, documento ilegible o equipos.ini ausente o ilegible\n"
    "  3  se perdió el enlace, no se pudo abrir, o el ciclo no terminó a tiempo\n"
    "\n"
    "No modifica equipos.ini ni config.ini.\n";

namespace {

// Options that take a value, as "--log FILE" or "--log=FILE". False when
// argument is not this option.
bool TakeValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
               std::string& value, std::string& error) {
  const std::string& argument = arguments[i];
  if (argument.rfind(name + "=", 0) == 0) {
    value = argument.substr(name.size() + 1);
  } else if (argument != name) {
    return false;
  } else {
    value = i + 1 < arguments.size() ? arguments[++i] : std::string();
  }
  if (value.empty()) error = "falta el valor de " + name;
  return true;
}

}  // namespace

TParsedOptions ParseSendOptions(const std::vector<std::string>& arguments) {
  TSendOptions options;
  std::optional<TSendCommand> command;
  bool results = false, jackpots = false, only_names = false;
  std::vector<std::string> documents;
  std::string error;
  auto set_command = [&](TSendCommand chosen, const std::string& name) {
    if (command && *command != chosen) error = "sobra " + name + ": una sola orden cada vez";
    command = chosen;
  };
  for (size_t i = 0; i < arguments.size() && error.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (only_names || argument.empty() || argument[0] != '-' || argument == "-") {
      documents.push_back(argument);
    } else if (argument == "--") {
      only_names = true;
    } else if (argument == "--help" || argument == "-h") {
      options.Command = TSendCommand::Help;
      return {options, {}};
    } else if (argument == "--version") {
      options.Command = TSendCommand::Version;
      return {options, {}};
    } else if (argument == "--check") {
      set_command(TSendCommand::Check, argument);
    } else if (argument == "--read") {
      set_command(TSendCommand::Read, argument);
    } else if (argument == "--list") {
      set_command(TSendCommand::List, argument);
    } else if (argument == "--results") {
      results = true;
    } else if (argument == "--jackpots") {
      jackpots = true;
    } else if (argument == "--verify" || argument == "--no-verify") {
      options.Verify = argument == "--verify";
    } else if (argument == "--json") {
      options.Json = true;
    } else if (!TakeValue(arguments, i, "--folder", options.Folder, error) &&
               !TakeValue(arguments, i, "--log", options.LogPath, error)) {
      error = "opción desconocida: " + argument;
    }
  }
  options.Command = command.value_or(TSendCommand::Send);
  const bool needs_document =
      options.Command == TSendCommand::Send || options.Command == TSendCommand::Read;
  if (error.empty() && documents.size() > 1) {
    error = "un solo documento cada vez";
  } else if (error.empty() && needs_document && documents.empty()) {
    error = "falta el documento (.ltr)";
  } else if (error.empty() && !needs_document && !documents.empty()) {
    error = "esta orden no lleva documento: " + documents.front();
  } else if (error.empty() && options.Verify && options.Command != TSendCommand::Send) {
    error = "--verify y --no-verify solo valen al enviar";
  } else if (error.empty() && (results || jackpots) && options.Command == TSendCommand::List) {
    error = "--list no lleva --results ni --jackpots";
  }
  if (!error.empty()) return {std::nullopt, error};
  if (!documents.empty()) options.Document = documents.front();
  // Both named is both panels, as neither.
  if (results != jackpots) options.Mode = results ? TPanelMode::Results : TPanelMode::Jackpots;
  return {options, {}};
}

std::string WithSeparator(std::string folder) {
  if (folder.empty()) return "./";
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';
  return folder;
}

}  // namespace quinterra
