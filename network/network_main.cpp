// quinterra-network: makes a network's folder and its shops' bundles.
//   quinterra-network init DIR --name NAME [--host H] [--port P] [--listen A] [--keepalive S]
//   quinterra-network shop DIR ID
//   quinterra-network record DIR
// See man/quinterra-network.1.

#include <sys/stat.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <iostream>

#include "network/network_folder.h"
#include "network/record_service.h"
#include "quinterra_version.h"

int main(int argc, char** argv) {
  using namespace quinterra;
  // Nothing made here is for other users' eyes unless opened on purpose.
  ::umask(077);
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName("quinterra-network");
  QCoreApplication::setApplicationVersion(QUINTERRA_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Prepara una red de tiendas Quinterra:\n"
      "  init CARPETA --name NOMBRE   la carpeta de la red: su autoridad (CA), el certificado\n"
      "                               y la configuración del servidor Mosquitto, el certificado\n"
      "                               y la clave de firma de la oficina\n"
      "  shop CARPETA ID              la carpeta CARPETA/shops/ID que se copia a la tienda ID\n"
      "  record CARPETA               el registro de la oficina: guarda cada publicación y cada\n"
      "                               cambio de estado de las tiendas (servicio)");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("orden", "init, shop o record");
  parser.addOption({"name", "init: el nombre de la red (letras, cifras, '_' y '-').", "NOMBRE"});
  parser.addOption({"host", "init: el nombre o la dirección con que las tiendas llegan al "
                            "servidor (127.0.0.1 por omisión).", "SERVIDOR", "127.0.0.1"});
  parser.addOption({"port", "init: el puerto TLS del servidor (8883 por omisión).", "PUERTO", "8883"});
  parser.addOption({"listen", "init: la dirección en que escucha el servidor (por omisión, la de "
                              "--host si es una dirección IP, si no todas).", "DIRECCIÓN"});
  parser.addOption({"keepalive", "init: segundos entre latidos (30 por omisión); una tienda caída "
                                 "se ve a más tardar en 1,5 veces ese tiempo.", "SEGUNDOS", "30"});
  parser.process(application);
  const QStringList args = parser.positionalArguments();
  auto usage = [](const std::string& why) {
    std::cerr << "quinterra-network: " << why << "\nPruebe «quinterra-network --help».\n";
    return 2;
  };
  std::string failure;
  if (args.size() == 2 && args[0] == "init") {
    if (!parser.isSet("name")) return usage("init necesita --name NOMBRE");
    TNetworkInit init;
    init.Folder = args[1].toStdString();
    init.Name = parser.value("name").toStdString();
    init.Host = parser.value("host").toStdString();
    bool port_ok = false, keepalive_ok = false;
    init.Port = parser.value("port").toInt(&port_ok);
    init.Listen = parser.value("listen").toStdString();
    init.KeepAliveSeconds = parser.value("keepalive").toInt(&keepalive_ok);
    if (!port_ok) return usage("--port no es un número");
    if (!keepalive_ok || init.KeepAliveSeconds < 5 || init.KeepAliveSeconds > 3600)
      return usage("--keepalive fuera de 5..3600");
    failure = InitNetwork(init);
    if (failure.empty()) {
      std::cout << "Red «" << init.Name << "» creada en " << init.Folder << "\n"
                << "Servidor: mosquitto -c " << init.Folder << "/mosquitto.conf\n";
    }
  } else if (args.size() == 3 && args[0] == "shop") {
    failure = AddShop(args[1].toStdString(), args[2].toStdString());
    if (failure.empty()) {
      std::cout << "Tienda «" << args[2].toStdString() << "»: copie " << args[1].toStdString()
                << "/shops/" << args[2].toStdString() << "/ a la tienda\n";
    }
  } else if (args.size() == 2 && args[0] == "record") {
    return RunRecordService(args[1].toStdString());
  } else {
    return usage("use «init CARPETA --name NOMBRE», «shop CARPETA ID» o «record CARPETA»");
  }
  if (!failure.empty()) {
    std::cerr << "quinterra-network: " << failure << "\n";
    return 1;
  }
  return 0;
}
