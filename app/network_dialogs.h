#pragma once
// The dialogs of the "Red" menu. Both are opened without blocking the
// main window's event loop; what they ask is answered through callbacks.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

  QLineEdit* FolderEdit = nullptr;
  QPushButton* BrowseButton = nullptr;
  QLabel* MessageLabel = nullptr;
  QPushButton* AcceptButton = nullptr;
};

// What "Publicar en la red…" shows before a publication.
struct TPublishFacts {
  QString Network;
  std::optional<int64_t> Version;  // none: it cannot be known, Why says why
  QString Why;
  int Shops = 0;
  // The shops neither online nor ever heard from: they take the version
  // when they come back.
  std::vector<std::string> Offline;
  // The office's own connection, when it has none.
  QString Connection;
};

// "Publicar en la red…": what is about to happen, then its outcome. It
// starts clean each time it is opened; a publication waiting for the
// connection can be cancelled, one already sent cannot.
class TPublishDialog : public QDialog {
 public:
  explicit TPublishDialog(QWidget* parent = nullptr);
  // Opened again: the facts, and no message of an earlier publication.
  void Open(const TPublishFacts& facts);
  void ShowFacts(const TPublishFacts& facts);
  // Publishing: waiting for the connection (cancellable) or sent.
  void ShowPublishing(bool cancellable);
  // Still waiting for the server, and why (its last failed attempt).
  void ShowWaiting(const QString& why);
  void ShowFailure(const QString& why);
  // Published, but not kept in the network's folder.
  void ShowUnsaved(const QString& why);
  // A message of the connection that no longer holds.
  void ClearFailure();
  bool Busy() const { return busy_; }

  std::function<void()> OnPublish;
  // Cancel pressed while publishing; true when it was called off.
  std::function<bool()> OnCancelPublishing;

  QLabel* FactsLabel = nullptr;
  QLabel* OfflineLabel = nullptr;
  QLabel* MessageLabel = nullptr;
  QPushButton* PublishButton = nullptr;
  QPushButton* CancelButton = nullptr;

 protected:
  void reject() override;

 private:
  void Idle();
  bool busy_ = false;
  bool failure_shown_ = false;
};

// "2 tiendas sin conexión: recibirán la versión al volver", and their
// names on the next line; empty for none.
QString OfflineShopsText(const std::vector<std::string>& shops);

}  // namespace quinterra
