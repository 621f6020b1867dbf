#include "network/agent_settings.h"

#include <QString>
#include <QStringList>

#include "platform/profile_file.h"

namespace quinterra {

std::optional<TAgentSettings> AgentSettingsOf(const TNetworkBundle& bundle, std::string* failure) {
  auto fail = [failure](const std::string& why) -> std::optional<TAgentSettings> {
    if (failure) *failure = why;
    return std::nullopt;
  };
  const std::string ini = bundle.File(kBundleIni);
  const TProfileFile file(ini);
  TAgentSettings settings;
  settings.Bundle = bundle;
  const int check = file.ReadInteger("Red", "Comprobar", 600);
  if (check < 0) return fail(ini + ": Comprobar debe ser 0 o más segundos");
  settings.CheckEvery = std::chrono::seconds(check);
  const int correct = file.ReadInteger("Red", "Corregir", 1);
  if (correct != 0 && correct != 1) return fail(ini + ": Corregir debe ser 0 o 1");
  settings.Correct = correct == 1;
  const QString panels = QString::fromStdString(file.ReadString("Red", "Paneles", "")).trimmed();
  if (!panels.isEmpty()) {
    settings.HasResults = settings.HasJackpots = false;
    for (const QString& part : panels.split(',')) {
      const QString name = part.trimmed().toLower();
      if (name == "resultados") settings.HasResults = true;
      else if (name == "botes") settings.HasJackpots = true;
      else return fail(ini + ": Paneles admite «resultados» y «botes», no «" + part.trimmed().toStdString() + "»");
    }
  }
  return settings;
}

}  // namespace quinterra
