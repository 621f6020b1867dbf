#pragma once
// What the "Red" menu needs of the window it hangs from: the document to
// publish, typing on both pictures, a shop's panels in "Vista de los
// paneles", the progress of a publication and the status line. The main
// window is one; a test may be another.

#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "app/panels_view_window.h"

namespace quinterra {

class IOfficeWindow {
 public:
  virtual ~IOfficeWindow() = default;

  // Ends the typing of a cell as "ENVIAR" does: a value out of its range
  // is emptied, and said.
  virtual void EndEditing() = 0;
  // The cell texts a publication takes now, in document order.
  virtual std::vector<std::string> TextsToPublish() const = 0;
  // Both pictures drawn and editable whatever the office's own devices
  // answered (on), or as they answered (off).
  virtual void SetNetworkEditing(bool on) = 0;
  // "Vista de los paneles" with a shop's panels as its source, shown.
  virtual void ShowShopPanels(PanelsViewSource shop) = 0;
  virtual bool ShopPanelsShown() const = 0;
  // How far the shops are with a publication, in percent; none: no
  // publication is followed any more.
  virtual void ShowPublicationProgress(std::optional<int> percent) = 0;
  // Something to say now, on the status line.
  virtual void ShowStatus(const QString& text) = 0;
  // The network's lasting line beside it (empty: none).
  virtual void ShowNetworkLine(const QString& line) = 0;
};

}  // namespace quinterra
