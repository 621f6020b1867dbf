// quinterra-emulator: one panel device on a TCP port or a pseudo-terminal.

#include <iostream>
#include <string>
#include <vector>

#include "emulator/emulator_loop.h"
#include "emulator/emulator_options.h"
#include "quinterra_version.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments == std::vector<std::string>{"--version"}) {
    std::cout << "quinterra-emulator " QUINTERRA_VERSION "\n";
    return 0;
  }
  const quinterra::TEmulatorCommandLine command_line = quinterra::ParseEmulatorCommandLine(arguments);
  if (command_line.Help) {
    std::cout << quinterra::EmulatorHelpText();
    return 0;
  }
  if (!command_line.Error.empty()) {
    std::cerr << "quinterra-emulator: " << command_line.Error << "\n"
              << "Try 'quinterra-emulator --help'." << std::endl;
    return 2;
  }
  quinterra::TEmulatorLoop loop(command_line.Options, std::cout, std::cerr);
  return loop.Run();
}
