#pragma once
// "Vista de los paneles": both panels drawn from display bytes, as the
// street sees them. The source is the document (what "ENVIAR" would send
// now) or a device whose display was read back; where such a panel differs
// from the document, the differing cells are framed in yellow.

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "panels/display_image.h"

class QComboBox;

namespace quinterra {

class TPanelPicture;

// A panel display read back from a device.
struct PanelsViewSource {
  QString name;    // as listed in the combo box
  Bytes results;   // empty: the results panel was not read
  Bytes jackpots;  // empty: the jackpots panel was not read
  // What its cells are compared with; none: the document being typed.
  std::optional<PanelImages> compared_with = std::nullopt;
  // A panel that should show what it is compared with but could not be
  // read: framed whole.
  bool frame_results = false;
  bool frame_jackpots = false;
};

class TPanelsViewWindow : public QWidget {
  Q_OBJECT
 public:
  // document gives the images "ENVIAR" would send now; it is asked on
  // every redraw, which happens only while the window is shown.
  explicit TPanelsViewWindow(std::function<PanelImages()> document, QWidget* parent = nullptr);

  // The sources listed after "Documento". The chosen source stays chosen
  // while a source of its name is listed; otherwise "Documento" is.
  void SetDeviceSources(std::vector<PanelsViewSource> sources);
  // A shop of the network, listed after the devices and chosen; it
  // replaces the shop shown before.
  void ShowShopSource(PanelsViewSource shop);
  // A moment of the record of what the panels showed, listed last and
  // chosen; it replaces the moment shown before.
  void ShowHistorySource(PanelsViewSource moment);
  // The document changed (a keystroke, a cell left, a document opened).
  void DocumentChanged();

  QComboBox* ComboBox1 = nullptr;  // "Documento", then the device sources
  TPanelPicture* Image1 = nullptr;  // the drawn panels

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Redraw();

  std::function<PanelImages()> document_;
  void ListSources(const QString& chosen);

  std::vector<PanelsViewSource> sources_;
  std::optional<PanelsViewSource> shop_;
  std::optional<PanelsViewSource> history_;
};

}  // namespace quinterra
