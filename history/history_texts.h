#pragma once
// The record's words as the operator reads them (Spanish), for the lines of
// quinterra-send and the history window.

#include <string>

#include "history/history_event.h"

namespace quinterra {

// "verificado", "escrito, sin releer", "sin respuesta"...
std::string OutcomeText(const std::string& outcome);
// "entrega", "comprobación", "lectura".
std::string KindText(const std::string& kind);
// "programa", "quinterra-send", "agente", "oficina".
std::string SourceText(const std::string& source);
// "Panel Resultados", "Panel Botes".
std::string PanelText(const std::string& panel);
// The device as listed: its name with its link, or the link alone.
std::string DeviceText(const THistoryEvent& event);
// One event on one line: number, local time, source, kind, panel, device,
// outcome, the image's first 12 hexadecimal digits, the version.
std::string EventLine(const THistoryEvent& event);

}  // namespace quinterra
