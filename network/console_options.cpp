#include "network/console_options.h"

namespace quinterra {
namespace {

QString Spelled(const QString& name) { return (name.size() == 1 ? "-" : "--") + name; }

}  // namespace

std::string ParseOptions(QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                         const QStringList& arguments) {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOptions(options);
  if (parser.parse(arguments)) return {};
  if (!parser.unknownOptionNames().isEmpty())
    return "opción desconocida: " + Spelled(parser.unknownOptionNames().first()).toStdString();
  // The other two refusals: a value missing at the end, or one given to a
  // switch.
  for (const QCommandLineOption& option : options) {
    for (const QString& name : option.names()) {
      const QString spelled = Spelled(name);
      if (!option.valueName().isEmpty() && arguments.size() > 1 && arguments.last() == spelled)
        return "falta el valor de " + spelled.toStdString();
      if (option.valueName().isEmpty())
        for (const QString& argument : arguments)
          if (argument.startsWith(spelled + "="))
            return spelled.toStdString() + " no lleva valor";
    }
  }
  return "opciones mal escritas";
}

}  // namespace quinterra
