#include "history/history_texts.h"


#include "history/history_time.h"

namespace quinterra {

std::string OutcomeText(const std::string& outcome) {
  namespace o = history_outcome;
  if (outcome == o::kVerified) return "verificado";
  if (outcome == o::kDifferent) return "distinto";
  if (outcome == o::kRead) return "leído";
  if (outcome == o::kWritten) return "escrito, sin releer";
  if (outcome == o::kPresent) return "responde";
  if (outcome == o::kUnread) return "sin lectura";
  if (outcome == o::kSilent) return "sin respuesta";
  if (outcome == o::kLinkFailed) return "sin enlace";
  return outcome;
}

std::string KindText(const std::string& kind) {
  if (kind == history_kind::kDelivery) return "entrega";
  if (kind == history_kind::kCheck) return "comprobación";
  if (kind == history_kind::kRead) return "lectura";
  return kind;
}

std::string SourceText(const std::string& source) {
  if (source == history_source::kProgram) return "programa";
  if (source == history_source::kSend) return "quinterra-send";
  if (source == history_source::kAgent) return "agente";
  if (source == history_source::kOffice) return "oficina";
  return source;
}

std::string PanelText(const std::string& panel) {
  if (panel == kResultsPanelName) return "Panel Resultados";
  if (panel == kJackpotsPanelName) return "Panel Botes";
  return panel;
}

std::string DeviceText(const THistoryEvent& event) {
  if (event.DeviceName.empty() || event.DeviceName == event.Device) return event.Device;
  return event.DeviceName + " [" + event.Device + "]";
}

std::string EventLine(const THistoryEvent& event) {
  std::string line = "#" + std::to_string(event.Id) + "  " + LocalTextOfUtc(event.Time) + "  " +
                     SourceText(event.Source) + "  " + KindText(event.Kind) + "  " +
                     PanelText(event.Panel) + "  " + DeviceText(event) + "  " +
                     OutcomeText(event.Outcome);
  if (!event.ImageSha256.empty()) line += "  imagen " + event.ImageSha256.substr(0, 12);
  if (event.Version) line += "  versión " + std::to_string(*event.Version);
  return line;
}

}  // namespace quinterra
