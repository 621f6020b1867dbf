// quinterra-network: makes a network's folder and its shops' bundles, and
// removes shops and changes the signing key of a running network.
//   quinterra-network init DIR --name NAME --host H [--port P] [--office-port P]
//                          [--listen A] [--keepalive S] [--owner USER]
//   quinterra-network shop DIR ID
//   quinterra-network remove DIR ID
//   quinterra-network rotate-key DIR
//   quinterra-network record DIR
// See man/quinterra-network.1.

#include <sys/stat.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <iostream>

#include "network/console_options.h"
#include "network/names.h"
#include "network/network_admin.h"
#include "network/network_folder.h"
#include "network/record_service.h"
#include "quinterra_version.h"

namespace {

const char kProgram[] = "quinterra-network";

const char kHelp[] =
    "Uso: quinterra-network init CARPETA --name NOMBRE --host SERVIDOR [opciones]\n"
    "     quinterra-network shop CARPETA ID\n"
    "     quinterra-network remove CARPETA ID\n"
    "     quinterra-network rotate-key CARPETA\n"
    "     quinterra-network record CARPETA\n"
    "\n"
    "Prepara y mantiene una red de tiendas Quinterra: la oficina firma el documento y\n"
    "lo publica en un servidor MQTT (Mosquitto, TLS); cada tienda lo aplica a sus paneles.\n"
    "\n"
    "Órdenes:\n"
    "  init CARPETA        la carpeta de la red: sus autoridades (CA), el certificado,\n"
    "                      la configuración y las reglas del servidor, el certificado\n"
    "                      y la clave de firma de la oficina\n"
    "  shop CARPETA ID     la carpeta CARPETA/shops/ID, que se copia a la tienda ID\n"
    "  remove CARPETA ID   retira la tienda ID: revoca su certificado, la deniega en\n"
    "                      las reglas del servidor y aparta su carpeta; cuando el\n"
    "                      servidor ya la rechaza, cierra su conexión y borra su estado\n"
    "  rotate-key CARPETA  una clave de firma nueva; el cambio, firmado por la anterior,\n"
    "                      llega a las tiendas por el servidor\n"
    "  record CARPETA      el registro de la oficina: guarda cada publicación y cada\n"
    "                      cambio de estado de las tiendas (un servicio)\n"
    "\n"
    "Opciones de init:\n"
    "  --name NOMBRE       el nombre de la red (letras sin acento, cifras, '_' y '-')\n"
    "  --host SERVIDOR     el nombre o la dirección con que las tiendas llegan al\n"
    "                      servidor; va en su certificado (obligatoria; 127.0.0.1\n"
    "                      solo para una prueba en este mismo equipo)\n"
    "  --port PUERTO       el puerto TLS de las tiendas (8883)\n"
    "  --office-port PUERTO\n"
    "                      el puerto TLS de la oficina (el de las tiendas más 1)\n"
    "  --listen DIRECCIÓN  la dirección en que escucha el servidor (la de --host si\n"
    "                      es una dirección IP; si no, todas)\n"
    "  --keepalive SEGUNDOS\n"
    "                      segundos entre latidos (30); una tienda caída se ve a más\n"
    "                      tardar en 1,5 veces ese tiempo\n"
    "  --owner USUARIO     el usuario (no root) que publica desde la oficina: las\n"
    "                      claves de la oficina son solo suyas\n"
    "\n"
    "  --help              este texto\n"
    "  --version           la versión\n"
    "\n"
    "Tras shop y remove, el servidor lee de nuevo sus reglas y su lista de\n"
    "certificados revocados con «systemctl reload quinterra-broker» (o SIGHUP al\n"
    "proceso mosquitto), sin cortar a nadie.\n"
    "\n"
    "Estado de salida:\n"
    "  0  hecho\n"
    "  1  no se pudo hacer (openssl, permisos, una carpeta que ya existe)\n"
    "  2  uso incorrecto, o la carpeta o la tienda no son de una red\n"
    "  3  remove y rotate-key: hecho en la carpeta, pero no aún en el servidor; el\n"
    "     texto dice qué falta, y la misma orden otra vez lo termina\n";

const char kReload[] =
    "El servidor la admite cuando lee de nuevo sus reglas: systemctl reload quinterra-broker\n"
    "(o kill -HUP al proceso mosquitto).\n";

int Usage(const std::string& why) {
  std::cerr << kProgram << ": " << why << "\nPruebe «" << kProgram << " --help».\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quinterra;
  // Nothing made here is for other users' eyes unless opened on purpose.
  ::umask(077);
  QCoreApplication application(argc, argv);
  QCommandLineParser parser;
  const QList<QCommandLineOption> options = {
      {{"h", "help"}, ""}, {{"v", "version"}, ""},
      {"name", "", "NOMBRE"}, {"host", "", "SERVIDOR"}, {"port", "", "PUERTO", "8883"},
      {"office-port", "", "PUERTO"}, {"listen", "", "DIRECCIÓN"},
      {"keepalive", "", "SEGUNDOS", "30"}, {"owner", "", "USUARIO"}};
  if (std::string why = ParseOptions(parser, options, application.arguments()); !why.empty())
    return Usage(why);
  if (parser.isSet("help")) return std::cout << kHelp, 0;
  if (parser.isSet("version")) return std::cout << kProgram << " " << QUINTERRA_VERSION << "\n", 0;

  const QStringList args = parser.positionalArguments();
  const QString command = args.value(0);
  for (const char* option : {"name", "host", "port", "office-port", "listen", "keepalive", "owner"})
    if (parser.isSet(option) && command != "init") return Usage(std::string("--") + option + " es solo de init");
  std::string failure;
  if (args.size() == 2 && command == "init") {
    if (!parser.isSet("name")) return Usage("init necesita --name NOMBRE");
    if (!parser.isSet("host"))
      return Usage("init necesita --host SERVIDOR: el nombre o la dirección con que las tiendas "
                   "llegarán al servidor (va en su certificado y en la carpeta de cada tienda); "
                   "para una prueba en este mismo equipo, --host 127.0.0.1");
    TNetworkInit init;
    init.Folder = args[1].toStdString();
    init.Name = parser.value("name").toStdString();
    init.Host = parser.value("host").toStdString();
    bool port_ok = false, office_port_ok = true, keepalive_ok = false;
    init.Port = parser.value("port").toInt(&port_ok);
    if (parser.isSet("office-port")) init.OfficePort = parser.value("office-port").toInt(&office_port_ok);
    init.Listen = parser.value("listen").toStdString();
    init.KeepAliveSeconds = parser.value("keepalive").toInt(&keepalive_ok);
    init.Owner = parser.value("owner").toStdString();
    if (std::string why = HostProblem(init.Host); !why.empty()) return Usage("--host: " + why);
    if (parser.isSet("listen"))
      if (std::string why = HostProblem(init.Listen); !why.empty()) return Usage("--listen: " + why);
    if (!port_ok) return Usage("--port no es un número");
    if (!office_port_ok || (parser.isSet("office-port") && init.OfficePort == 0))
      return Usage("--office-port no es un número de puerto");
    if (!keepalive_ok || init.KeepAliveSeconds < 5 || init.KeepAliveSeconds > 3600)
      return Usage("--keepalive fuera de 5..3600");
    failure = InitNetwork(init);
    if (failure.empty()) {
      const int office_port = init.OfficePort ? init.OfficePort : init.Port + 1;
      std::cout << "Red «" << init.Name << "» creada en " << init.Folder << "\n"
                << "Servidor: mosquitto -c " << init.Folder << "/mosquitto.conf (las tiendas en el "
                << "puerto " << init.Port << ", la oficina en el " << office_port << ")\n";
    }
  } else if (args.size() == 3 && command == "shop") {
    failure = AddShop(args[1].toStdString(), args[2].toStdString());
    if (failure.empty()) {
      std::cout << "Tienda «" << args[2].toStdString() << "»: copie " << args[1].toStdString()
                << "/shops/" << args[2].toStdString() << "/ a la tienda.\n"
                << kReload;
    }
  } else if (args.size() == 3 && command == "remove") {
    return RemoveShopCommand(args[1].toStdString(), args[2].toStdString(), std::cout, std::cerr);
  } else if (args.size() == 2 && command == "rotate-key") {
    return RotateKeyCommand(args[1].toStdString(), std::cout, std::cerr);
  } else if (args.size() == 2 && command == "record") {
    return RunRecordService(args[1].toStdString());
  } else {
    return Usage("use «init CARPETA --name NOMBRE --host SERVIDOR», «shop CARPETA ID», "
                 "«remove CARPETA ID», «rotate-key CARPETA» o «record CARPETA»");
  }
  if (!failure.empty()) {
    std::cerr << kProgram << ": " << failure << "\n";
    return 1;
  }
  return 0;
}
