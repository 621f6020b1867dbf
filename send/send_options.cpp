#include "send/send_options.h"

#include <QCommandLineParser>
#include <QStringList>

#include "history/history_time.h"

namespace quinterra {

const char kSendHelp[] =
    "Uso: quinterra-send [opciones] DOCUMENTO.ltr\n"
    "     quinterra-send --check [opciones]\n"
    "     quinterra-send --read [opciones] DOCUMENTO.ltr\n"
    "     quinterra-send --list [opciones]\n"
    "     quinterra-send --publish DOCUMENTO.ltr --network CARPETA [--wait SEGUNDOS]\n"
    "     quinterra-send --network-state --network CARPETA [--wait SEGUNDOS] [--json]\n"
    "     quinterra-send --network-report --network CARPETA [--from FECHA] [--to FECHA]\n"
    "                    (--csv ARCHIVO | --pdf ARCHIVO)\n"
    "     quinterra-send --history [--from FECHA] [--to FECHA] [--json] [opciones]\n"
    "     quinterra-send --history --verify [opciones]\n"
    "     quinterra-send --shown-at \"AAAA-MM-DD HH:MM[:SS]\" [--png ARCHIVO] [opciones]\n"
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
    "  --network-report   el informe de la red según el registro de la oficina\n"
    "                     (quinterra-network record): por tienda y panel, cada\n"
    "                     versión verificada desde cuándo hasta cuándo, los huecos\n"
    "                     (desconectada, con fallos, sin comprobar...) con su\n"
    "                     motivo y el porcentaje del tiempo con la versión vigente\n"
    "                     verificada\n"
    "  --history          el historial de la tienda (historial.db): cada entrega,\n"
    "                     comprobación y lectura de cada equipo; con --verify, si la\n"
    "                     cadena de eventos sigue intacta (1 si no, con el primero\n"
    "                     que falla)\n"
    "  --shown-at MOMENTO lo que tenía cada equipo de cada panel en ese momento (hora\n"
    "                     local): el último evento que lo leyó o verificó\n"
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
    "  --wait SEGUNDOS    con --publish o --network-state: espera al servidor hasta\n"
    "                     ese tiempo (sin --wait, un minuto) y dice por qué espera;\n"
    "                     con --publish, luego espera los informes de las tiendas:\n"
    "                     0 si todas muestran la versión nueva verificada, 1 si\n"
    "                     alguna falló, 3 si se acaba el tiempo\n"
    "  --from FECHA       con --history o --network-report: desde\n"
    "                     \"AAAA-MM-DD[ HH:MM[:SS]]\" (hora local)\n"
    "  --to FECHA         con --history o --network-report: hasta esa fecha, incluida\n"
    "  --csv ARCHIVO      con --network-report: una fila por tramo, para una hoja de\n"
    "                     cálculo\n"
    "  --pdf ARCHIVO      con --network-report: una página por tienda, para imprimir\n"
    "  --png ARCHIVO      con --shown-at: dibuja los paneles de ese momento\n"
    "  --help             este texto\n"
    "  --version          la versión\n"
    "\n"
    "Estado de salida:\n"
    "  0  todos los paneles pedidos se enviaron (o responden, o coinciden); también\n"
    "     los enviados sin verificar, salvo con --verify\n"
    "  1  algún panel falló, también el que no tiene ningún equipo seleccionado, o\n"
    "     con --verify alguno quedó sin verificar\n"
    "  2  uso incorrecto, documento ilegible o con menos de 134 casillas, o\n"
    "     equipos.ini ausente o ilegible; no se toca ningún equipo; sin historial\n"
    "     con --history o --shown-at, o sin registro de la red con --network-report\n"
    "  3  se perdió el enlace, no se pudo abrir, el ciclo no terminó a tiempo, o\n"
    "     lo interrumpió una señal\n"
    "  Con --history --verify, 1 si la cadena no se sostiene; con --shown-at, 1 si\n"
    "  no consta nada de ningún panel en ese momento.\n"
    "\n"
    "SIGINT (Ctrl+C), SIGTERM o SIGHUP (la terminal se cierra) detienen el ciclo en\n"
    "menos de un segundo: se cierra el enlace, se escriben las líneas (o el JSON, con\n"
    "\"interrupted\": true) y los paneles que no terminaron dicen \"sin terminar\";\n"
    "pueden quedar a medias.\n"
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
    const bool valued = name == "log" || name == "folder" || name == "network" || name == "wait" ||
                        name == "from" || name == "to" || name == "shown-at" || name == "png" ||
                        name == "csv" || name == "pdf";
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
      network_option("network", {}, "CARPETA"), wait_option("wait", {}, "SEGUNDOS"),
      from_option("from", {}, "FECHA"), to_option("to", {}, "FECHA"),
      shown_at_option("shown-at", {}, "MOMENTO"), png_option("png", {}, "ARCHIVO"),
      csv_option("csv", {}, "ARCHIVO"), pdf_option("pdf", {}, "ARCHIVO");
  QCommandLineParser parser;
  // "-x" is one option, as "--x", so that a refusal names it as typed.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOptions({QCommandLineOption("check"), QCommandLineOption("read"),
                     QCommandLineOption("list"), results_option, jackpots_option,
                     QCommandLineOption("verify"), QCommandLineOption("no-verify"), json_option,
                     QCommandLineOption(QStringList{"h", "help"}), QCommandLineOption("version"),
                     folder_option, log_option, QCommandLineOption("publish"),
                     QCommandLineOption("network-state"), network_option, wait_option,
                     QCommandLineOption("history"), from_option, to_option, shown_at_option,
                     png_option, QCommandLineOption("network-report"), csv_option, pdf_option});
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
    if (name == "history") chosen = TSendCommand::History;
    if (name == "shown-at") chosen = TSendCommand::ShownAt;
    if (name == "network-report") chosen = TSendCommand::NetworkReport;
    if (!chosen) continue;
    if (command && *command != *chosen && error.empty())
      error = "sobra --" + ToBytes(name) + ": una sola orden cada vez";
    command = chosen;
  }
  for (const QCommandLineOption* valued :
       {&folder_option, &log_option, &network_option, &wait_option, &from_option, &to_option,
        &shown_at_option, &png_option, &csv_option, &pdf_option}) {
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
  // Dates as the operator types them, in local time.
  auto moment = [&](const QCommandLineOption& option, bool end_of_day, std::string& utc) {
    if (!error.empty() || !parser.isSet(option)) return;
    const std::string typed = ToBytes(parser.value(option));
    if (const std::optional<TSystemTime> time = ParseLocalMoment(typed, end_of_day))
      utc = UtcText(*time);
    else
      error = "--" + ToBytes(option.names().front()) + " lleva \"AAAA-MM-DD HH:MM[:SS]\", no «" +
              typed + "»";
  };
  moment(from_option, false, options.From);
  moment(to_option, true, options.To);
  // "At 19:32" takes in what happened during that minute.
  moment(shown_at_option, true, options.Moment);
  options.PngPath = ToBytes(parser.value(png_option));
  options.CsvPath = ToBytes(parser.value(csv_option));
  options.PdfPath = ToBytes(parser.value(pdf_option));
  const bool report = options.Command == TSendCommand::NetworkReport;
  const bool on_history =
      options.Command == TSendCommand::History || options.Command == TSendCommand::ShownAt;
  if (options.Command == TSendCommand::History && options.Verify) {
    options.VerifyChain = *options.Verify;
    if (error.empty() && !options.VerifyChain) error = "--no-verify no vale con --history";
    if (error.empty() && (parser.isSet(from_option) || parser.isSet(to_option) || options.Json))
      error = "--history --verify no lleva --from, --to ni --json";
    options.Verify.reset();
  }

  std::vector<std::string> documents;
  for (const QString& document : parser.positionalArguments())
    documents.push_back(ToBytes(document));

  const bool needs_document = options.Command == TSendCommand::Send ||
                              options.Command == TSendCommand::Read ||
                              options.Command == TSendCommand::Publish;
  const bool on_network = options.Command == TSendCommand::Publish ||
                          options.Command == TSendCommand::NetworkState || report;
  if (!error.empty()) {
  } else if ((parser.isSet(from_option) || parser.isSet(to_option)) &&
             options.Command != TSendCommand::History && !report) {
    error = "--from y --to solo valen con --history o --network-report";
  } else if ((parser.isSet(csv_option) || parser.isSet(pdf_option)) && !report) {
    error = "--csv y --pdf solo valen con --network-report";
  } else if (report && parser.isSet(csv_option) == parser.isSet(pdf_option)) {
    error = "--network-report lleva --csv ARCHIVO o --pdf ARCHIVO";
  } else if (report && !options.From.empty() && !options.To.empty() && options.To < options.From) {
    error = "--to es anterior a --from";
  } else if (parser.isSet(png_option) && options.Command != TSendCommand::ShownAt) {
    error = "--png solo vale con --shown-at";
  } else if (on_history && (parser.isSet(log_option) || parser.isSet(network_option))) {
    error = "--log y --network no valen con --history ni --shown-at";
  } else if (documents.size() > 1) {
    error = "un solo documento cada vez";
  } else if (error.empty() && needs_document && documents.empty()) {
    error = "falta el documento (.ltr)";
  } else if (error.empty() && !needs_document && !documents.empty()) {
    error = "esta orden no lleva documento: " + documents.front();
  } else if (error.empty() && options.Verify && options.Command != TSendCommand::Send) {
    error = "--verify y --no-verify solo valen al enviar";
  } else if (error.empty() && (results || jackpots) &&
             (options.Command == TSendCommand::List || options.Command == TSendCommand::NetworkState ||
              report)) {
    error = (options.Command == TSendCommand::List           ? "--list"
             : options.Command == TSendCommand::NetworkState ? "--network-state"
                                                             : "--network-report") +
            std::string(" no lleva --results ni --jackpots");
  } else if (error.empty() && on_network && options.Network.empty()) {
    error = "falta --network CARPETA";
  } else if (error.empty() && !on_network && parser.isSet(network_option)) {
    error = "--network solo vale con --publish, --network-state o --network-report";
  } else if (error.empty() && options.WaitSeconds && options.Command != TSendCommand::Publish &&
             options.Command != TSendCommand::NetworkState) {
    error = "--wait solo vale con --publish o --network-state";
  } else if (error.empty() && on_network && (parser.isSet(log_option) || parser.isSet(folder_option))) {
    error = "--log y --folder no valen con --publish, --network-state ni --network-report";
  } else if (error.empty() && (options.Command == TSendCommand::Publish || report) && options.Json) {
    error = report ? "--json no vale con --network-report" : "--json no vale con --publish";
  }
  if (!error.empty()) return {std::nullopt, error};
  if (!documents.empty()) options.Document = documents.front();
  // Both named is both panels, as neither.
  if (results != jackpots) options.Mode = results ? TPanelMode::Results : TPanelMode::Jackpots;
  return {options, {}};
}

}  // namespace quinterra
