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
  namespace f = office_outcome;
  if (outcome == f::kPublished) return "publicada";
  if (outcome == f::kInvalid) return "no válida";
  if (outcome == f::kOnline) return "conectada";
  if (outcome == f::kOffline) return "desconectada";
  if (outcome == f::kUnreadable) return "ilegible";
  if (outcome == f::kChecked) return "comprobada";
  if (outcome == f::kUnchecked) return "sin comprobar";
  if (outcome == f::kStart) return "arranca";
  if (outcome == f::kSynced) return "al día";
  if (outcome == f::kDisconnected) return "sin servidor";
  if (outcome == f::kAlive) return "en marcha";
  if (outcome == f::kStop) return "parado";
  if (outcome == "sent") return "enviado, sin verificar";
  if (outcome == "failed") return "con fallos";
  if (outcome == "no_device") return "sin equipo";
  if (outcome == "refused") return "rechazado";
  if (outcome == "not_requested") return "no pedido";
  return outcome;
}

std::string KindText(const std::string& kind) {
  if (kind == history_kind::kDelivery) return "entrega";
  if (kind == history_kind::kCheck) return "comprobación";
  if (kind == history_kind::kRead) return "lectura";
  if (kind == history_kind::kPublication) return "publicación";
  if (kind == history_kind::kPresence) return "conexión";
  if (kind == history_kind::kReport) return "informe";
  if (kind == history_kind::kRecorder) return "registro";
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
                     SourceText(event.Source) + (event.Shop.empty() ? "" : "  tienda " + event.Shop) +
                     "  " + KindText(event.Kind) + "  " +
                     PanelText(event.Panel) + "  " + DeviceText(event) + "  " +
                     OutcomeText(event.Outcome);
  if (!event.ImageSha256.empty()) line += "  imagen " + event.ImageSha256.substr(0, 12);
  if (event.Version) line += "  versión " + std::to_string(*event.Version);
  if (!event.Detail.empty()) line += "  " + event.Detail;
  return line;
}

}  // namespace quinterra
