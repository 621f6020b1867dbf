#pragma once
// The dialogs of the "Red" menu. Both are opened without blocking the
// main window's event loop; what they ask is answered through callbacks.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quinterra {

// "Configurar red…": the network's folder, typed or chosen.
class TConfigureNetworkDialog : public QDialog {
 public:
  explicit TConfigureNetworkDialog(QWidget* parent = nullptr);
  void Open(const std::string& folder);

  // "Aceptar" with the folder (empty: no network); the reason it cannot
  // be taken, or empty when it was.
  std::function<std::string(const std::string& folder)> OnAccept;

  QLineEdit* EditCarpeta = nullptr;
  QPushButton* BotonExaminar = nullptr;
  QLabel* LabelMensaje = nullptr;
  QPushButton* BotonAceptar = nullptr;
};

// "Publicar en la red…": what is about to happen, then its outcome.
class TPublishDialog : public QDialog {
 public:
  explicit TPublishDialog(QWidget* parent = nullptr);
  // The network, the version the publication would take (none: it cannot
  // be known, and why) and the known shops.
  void ShowFacts(const QString& network, std::optional<int64_t> version, const QString& why,
                 int shops);
  // Publishing: nothing can be pressed until it ends.
  void ShowPublishing();
  void ShowFailure(const QString& why);
  // Published, but not kept in the network's folder.
  void ShowUnsaved(const QString& why);
  bool Busy() const { return busy_; }

  std::function<void()> OnPublish;

  QLabel* LabelDatos = nullptr;
  QLabel* LabelMensaje = nullptr;
  QPushButton* BotonPublicar = nullptr;
  QPushButton* BotonCancelar = nullptr;

 protected:
  void reject() override;

 private:
  bool busy_ = false;
};

}  // namespace quinterra
