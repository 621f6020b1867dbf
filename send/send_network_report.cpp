#include "send/send_network_report.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

namespace quinterra {

std::vector<std::string> NetworkReportArguments(const TSendOptions& options) {
  std::vector<std::string> arguments = {"--network", options.Network};
  if (!options.From.empty()) arguments.insert(arguments.end(), {"--from", options.From});
  if (!options.To.empty()) arguments.insert(arguments.end(), {"--to", options.To});
  if (!options.CsvPath.empty()) arguments.insert(arguments.end(), {"--csv", options.CsvPath});
  if (!options.PdfPath.empty()) arguments.insert(arguments.end(), {"--pdf", options.PdfPath});
  return arguments;
}

std::string NetworkReportToolPath() {
  const char kTool[] = "quinterra-network-report";
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path bin = self.parent_path();
    for (const auto& candidate : {bin.parent_path() / "libexec" / "quinterra" / kTool,
                                  bin.parent_path() / "tools" / kTool, bin / kTool}) {
      if (std::filesystem::exists(candidate, error)) return candidate.string();
    }
  }
  return kTool;
}

int RunNetworkReport(const TSendOptions& options, std::ostream& err) {
  const std::string tool = NetworkReportToolPath();
  std::vector<std::string> arguments = NetworkReportArguments(options);
  arguments.insert(arguments.begin(), tool);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  err.flush();
  ::execvp(argv[0], argv.data());
  err << "quinterra-send: no se puede ejecutar " << tool << ": " << std::strerror(errno) << "\n";
  return 2;
}

}  // namespace quinterra
