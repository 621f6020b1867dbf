#include "send/send_options.h"

#include <QCommandLineParser>
#include <QStringList>

namespace quinterra {

const char kSendHelp[] =
    "Uso: quinterra-send [opciones] DOCUMENTO.ltr\n"
    "     quinterra-send --check [opciones]\n"
    "     quinterra-send --read [opciones] DOCUMENTO.ltr\n"
    "     quinterra-send --list [opciones]\n"
    "     quinterra-send --publish DOCUMENTO.ltr --network CARPETA [--wait SEGUNDOS]\n"
    "     quinterra-send --network-state --network CARPETA [--json]\n"
    "\n"
    "Envía los paneles de un documento a los equipos seleccionados de equipos.ini,\n"
    "igual que el botón ENVIAR del programa, sin ventanas.\n"
    "\n"
    "Órdenes:\n"
    "  DOCUMENTO.ltr      envía el documento a los paneles Resultados y Botes\n"
    "  --check            comprueba si los paneles responden\n"
    "  --read DOCUMENTO   lee lo que guarda cada panel y lo compara con el documento\n"
    "  --list             muestra los equipos de equipos.ini\n"
    "  --publish DOCUMENTO\n"
    "                     la oficina firma el documento y lo publica en la red de\n"
    "                     tiendas (--network); cada tienda lo envía a sus paneles.\n"
    "                     Sale con 2, sin firmar nada, si el documento no tiene 134\n"
    "                     casillas o un valor no cabe en la suya; con 1 si el\n"
    "                     servidor lo tomó pero la carpeta de la red no pudo\n"
    "                     guardarlo\n"
    "  --network-state    el estado de cada tienda de la red: conexión, versión,\n"
    "                     cada panel y la edad de su informe\n"
    "                     (las dos dan de nuevo al servidor la última publicación de\n"
    "                     la oficina si la ha perdido, y lo dicen)\n"
    "\n"
    "Opciones:\n"
    "  --results          solo el panel Resultados\n"
    "  --jackpots         solo el panel Botes\n"
    "  --verify           relee lo escrito en cada equipo y lo compara; un panel\n"
    "                     que no se pudo releer queda \"enviado, sin verificar\"\n"
    "  --no-verify        no lo relee (por omisión manda la clave Verificar de\n"
    "                     la sección [Config] de config.ini; 1 si no está)\n"
    "  --folder CARPETA   carpeta de equipos.ini y config.ini (por omisión, la actual)\n"
    "  --log ARCHIVO      guarda las líneas del registro de comunicaciones, como log.txt\n"
    "  --json             un objeto JSON en la salida estándar en lugar de las líneas\n"
    "  --network CARPETA  la carpeta de la red (quinterra-network init)\n"
    "  --wait SEGUNDOS    con --publish: espera los informes de las tiendas; 0 si\n"
    "                     todas muestran la versión nueva verificada, 1 si alguna\n"
    "                     falló, 3 si se acaba el tiempo\n"
    "  --help             este texto\n"
    "  --version          la versión\n"
    "\n"
    "Estado de salida:\n"
    "  0  todos los paneles pedidos se enviaron (o responden, o coinciden); también\n"
    "     los enviados sin verificar, salvo con --verify\n"
    "  1  algún panel falló, también el que no tiene ningún equipo seleccionado, o\n"
    "     con --verify alguno quedó sin verificar\n"
    "  2  uso incorrecto, documento ilegible o con menos de 134 casillas, o\n"
    "     equipos.ini ausente o ilegible; no se toca ningún equipo\n"
    "  3  se perdió el enlace, no se pudo abrir, el ciclo no terminó a tiempo, o\n"
    "     lo interrumpió una señal\n"
    "\n"
    "SIGINT (Ctrl+C) o SIGTERM detienen el ciclo en menos de un segundo: se cierra\n"
    "el enlace, se escriben las líneas (o el JSON, con \"interrupted\": true) y los\n"
    "paneles que no terminaron dicen \"sin terminar\"; pueden quedar a medias.\n"
    "\n"
    "No modifica equipos.ini ni config.ini.\n";

namespace {

// Latin-1 maps every byte to one character and back, so a path that is no
// UTF-8 goes through the parser unchanged.
QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) { return text.toLatin1().toStdString(); }

// The options before "--" as typed, each with its "--" or "-".
std::vector<std::string> TypedOptions(const std::vector<std::string>& arguments) {
  std::vector<std::string> typed;
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument.size() > 1 && argument[0] == '-') typed.push_back(argument);
  }
  return typed;
}

// The name the parser sees in a typed option: without its dashes and value.
std::string NameOf(const std::string& option) {
  const std::string bare = option.substr(option.rfind("--", 0) == 0 ? 2 : 1);
  return bare.substr(0, bare.find('='));
}

// The parser's refusal in Spanish, naming the option as it was typed.
std::string ParseError(const QCommandLineParser& parser,
                       const std::vector<std::string>& arguments) {
  const std::vector<std::string> typed = TypedOptions(arguments);
  for (const QString& unknown : parser.unknownOptionNames()) {
    for (const std::string& option : typed)
      if (NameOf(option) == ToBytes(unknown)) return "opción desconocida: " + option;
    return "opción desconocida: --" + ToBytes(unknown);
  }
  for (const std::string& option : typed) {
    const std::string name = NameOf(option);
    const bool valued = name == "log" || name == "folder" || name == "network" || name == "wait";
    if (option.find('=') != std::string::npos && !valued)
      return "la opción " + option.substr(0, option.find('=')) + " no lleva valor";
  }
  // What remains is --log or --folder at the end of the line.
  return "falta el valor de " + (typed.empty() ? std::string("--log") : typed.back());
}

}  // namespace

TParsedOptions ParseSendOptions(const std::vector<std::string>& arguments) {
  const QCommandLineOption results_option("results"), jackpots_option("jackpots"),
      json_option("json"), folder_option("folder", {}, "CARPETA"), log_option("log", {}, "ARCHIVO"),
      network_option("network", {}, "CARPETA"), wait_option("wait", {}, "SEGUNDOS");
  QCommandLineParser parser;
  // "-x" is one option, as "--x", so that a refusal names it as typed.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOptions({QCommandLineOption("check"), QCommandLineOption("read"),
                     QCommandLineOption("list"), results_option, jackpots_option,
                     QCommandLineOption("verify"), QCommandLineOption("no-verify"), json_option,
                     QCommandLineOption(QStringList{"h", "help"}), QCommandLineOption("version"),
                     folder_option, log_option, QCommandLineOption("publish"),
                     QCommandLineOption("network-state"), network_option, wait_option});
  QStringList line{"quinterra-send"};
  for (const std::string& argument : arguments) line << FromBytes(argument);
  if (!parser.parse(line)) return {std::nullopt, ParseError(parser, arguments)};

  TSendOptions options;
  std::optional<TSendCommand> command;
  std::string error;
  // In the order typed: the first --help or --version answers alone, a
  // second command is refused, the last of --verify and --no-verify counts.
  for (const QString& name : parser.optionNames()) {
    if (name == "h" || name == "help" || name == "version") {
      options.Command = name == "version" ? TSendCommand::Version : TSendCommand::Help;
      return {options, {}};
    }
    if (name == "verify" || name == "no-verify") options.Verify = name == "verify";
    std::optional<TSendCommand> chosen;
    if (name == "check") chosen = TSendCommand::Check;
    if (name == "read") chosen = TSendCommand::Read;
    if (name == "list") chosen = TSendCommand::List;
    if (name == "publish") chosen = TSendCommand::Publish;
    if (name == "network-state") chosen = TSendCommand::NetworkState;
    if (!chosen) continue;
    if (command && *command != *chosen && error.empty())
      error = "sobra --" + ToBytes(name) + ": una sola orden cada vez";
    command = chosen;
  }
  for (const QCommandLineOption* valued : {&folder_option, &log_option, &network_option, &wait_option}) {
    if (error.empty() && parser.isSet(*valued) && parser.value(*valued).isEmpty())
      error = "falta el valor de --" + ToBytes(valued->names().front());
  }
  const bool results = parser.isSet(results_option), jackpots = parser.isSet(jackpots_option);
  options.Command = command.value_or(TSendCommand::Send);
  options.Json = parser.isSet(json_option);
  options.Folder = ToBytes(parser.value(folder_option));
  options.LogPath = ToBytes(parser.value(log_option));
  options.Network = ToBytes(parser.value(network_option));
  if (error.empty() && parser.isSet(wait_option)) {
    bool number = false;
    const int seconds = parser.value(wait_option).toInt(&number);
    if (!number || seconds <= 0) {
      error = "--wait lleva un número de segundos mayor que 0, no «" +
              ToBytes(parser.value(wait_option)) + "»";
    }
    options.WaitSeconds = seconds;
  }
  std::vector<std::string> documents;
  for (const QString& document : parser.positionalArguments())
    documents.push_back(ToBytes(document));

  const bool needs_document = options.Command == TSendCommand::Send ||
                              options.Command == TSendCommand::Read ||
                              options.Command == TSendCommand::Publish;
  const bool on_network =
      options.Command == TSendCommand::Publish || options.Command == TSendCommand::NetworkState;
  if (error.empty() && documents.size() > 1) {
    error = "un solo documento cada vez";
  } else if (error.empty() && needs_document && documents.empty()) {
    error = "falta el documento (.ltr)";
  } else if (error.empty() && !needs_document && !documents.empty()) {
    error = "esta orden no lleva documento: " + documents.front();
  } else if (error.empty() && options.Verify && options.Command != TSendCommand::Send) {
    error = "--verify y --no-verify solo valen al enviar";
  } else if (error.empty() && (results || jackpots) &&
             (options.Command == TSendCommand::List || options.Command == TSendCommand::NetworkState)) {
    error = (options.Command == TSendCommand::List ? "--list" : "--network-state") +
            std::string(" no lleva --results ni --jackpots");
  } else if (error.empty() && on_network && options.Network.empty()) {
    error = "falta --network CARPETA";
  } else if (error.empty() && !on_network && parser.isSet(network_option)) {
    error = "--network solo vale con --publish o --network-state";
  } else if (error.empty() && options.WaitSeconds && options.Command != TSendCommand::Publish) {
    error = "--wait solo vale con --publish";
  } else if (error.empty() && on_network && (parser.isSet(log_option) || parser.isSet(folder_option))) {
    error = "--log y --folder no valen con --publish ni --network-state";
  } else if (error.empty() && options.Command == TSendCommand::Publish && options.Json) {
    error = "--json no vale con --publish";
  }
  if (!error.empty()) return {std::nullopt, error};
  if (!documents.empty()) options.Document = documents.front();
  // Both named is both panels, as neither.
  if (results != jackpots) options.Mode = results ? TPanelMode::Results : TPanelMode::Jackpots;
  return {options, {}};
}

}  // namespace quinterra
