#pragma once
// What the main window tells the operator in words: a value emptied on
// leaving its cell, what became of a device in a delivery, and why a panel
// is grey.

#include <QString>
#include <optional>

#include "devices/panel_types.h"
#include "panels/cell.h"

namespace quinterra {

// "Valor 60 fuera de rango (1–49): la casilla queda vacía", with the range
// of the cell's kind.
QString EmptiedValueText(CellKind kind, const QString& value);

// "2 bytes distintos, el primero en 0x0041".
QString DifferenceText(const TByteDifference& difference);

// What kept a device from doing its part, naming it: "sin respuesta de
// «Panel Botes (127.0.0.1)»". Empty for a device that did it.
QString DeviceOutcomeText(TDeviceOutcome outcome, const QString& name,
                          const std::optional<TByteDifference>& difference);

// The panel as the "Actualizar" submenu names it.
QString PanelItemName(TPanel panel);

// Why a panel is grey, in the order they are looked for.
enum class TGreyReason {
  Unticked,          // its "Actualizar" item is not ticked
  NoDeviceKnown,     // no device of the panel is listed
  NoDeviceSelected,  // none of its devices is ticked in "Equipos Activos"
  Checking,          // its presence check runs
  NoAnswer,          // its presence check found no device answering
  Unchecked,         // ticked, with a device, but not checked since
};

QString GreyReasonText(TGreyReason reason, TPanel panel);

}  // namespace quinterra
