#include "app/operator_texts.h"

#include "panels/cell_kinds.h"

namespace quinterra {

QString EmptiedValueText(CellKind kind, const QString& value) {
  const CellKindRules& rules = RulesFor(kind);
  bool number = !value.isEmpty();
  for (const QChar c : value) number = number && c.isDigit() && c.unicode() < 128;
  return QString::fromUtf8("Valor %1 %2 (%3–%4): la casilla queda vacía")
      .arg(value, number ? QString::fromUtf8("fuera de rango") : QString::fromUtf8("no válido"))
      .arg(rules.minimum)
      .arg(rules.maximum);
}

QString DifferenceText(const TByteDifference& difference) {
  const QString where = "0x" + QString("%1").arg(difference.First, 4, 16, QChar('0')).toUpper();
  const QString area = difference.InDirectory ? QString::fromUtf8(" del directorio") : QString();
  if (difference.Count == 1) return QString::fromUtf8("1 byte distinto%1, en %2").arg(area, where);
  return QString::fromUtf8("%1 bytes distintos%2, el primero en %3")
      .arg(difference.Count)
      .arg(area, where);
}

QString DeviceOutcomeText(TDeviceOutcome outcome, const QString& name,
                          const std::optional<TByteDifference>& difference) {
  const QString quoted = QString::fromUtf8("«%1»").arg(name);
  switch (outcome) {
    case TDeviceOutcome::Silent:
      return QString::fromUtf8("sin respuesta de %1").arg(quoted);
    case TDeviceOutcome::LinkFailed:
      return QString::fromUtf8("no se pudo abrir el enlace de %1").arg(quoted);
    case TDeviceOutcome::Different:
      return difference ? quoted + ": " + DifferenceText(*difference)
                        : QString::fromUtf8("%1 guarda otros datos").arg(quoted);
    case TDeviceOutcome::Unread:
      return QString::fromUtf8("no se pudo releer %1").arg(quoted);
    default:
      return {};
  }
}

QString PanelItemName(TPanel panel) {
  return panel == TPanel::Results ? QString::fromUtf8("Panel Resultados")
                                  : QString::fromUtf8("Panel Botes");
}

QString GreyReasonText(TGreyReason reason, TPanel panel) {
  switch (reason) {
    case TGreyReason::Unticked:
      return QString::fromUtf8("Sin actualizar: marque Comunicaciones > Actualizar > %1")
          .arg(PanelItemName(panel));
    case TGreyReason::NoDeviceKnown:
      return QString::fromUtf8(
          "Ningún equipo de este panel: búsquelo en Comunicaciones > Buscar Equipos");
    case TGreyReason::NoDeviceSelected:
      return QString::fromUtf8(
          "Ningún equipo marcado: márquelo en Comunicaciones > Equipos Activos");
    case TGreyReason::Checking:
      return QString::fromUtf8("Comprobando el equipo del panel…");
    case TGreyReason::NoAnswer:
      return QString::fromUtf8(
                 "Sin respuesta: revise la conexión y marque de nuevo Actualizar > %1")
          .arg(PanelItemName(panel));
    case TGreyReason::Unchecked:
      return QString::fromUtf8("Sin comprobar: marque de nuevo Comunicaciones > Actualizar > %1")
          .arg(PanelItemName(panel));
  }
  return {};
}

}  // namespace quinterra
