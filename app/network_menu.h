#pragma once
// The "Red" menu of the office: the network's folder (kept as Carpeta in
// config.ini's [Red]), publishing the document being typed to every shop,
// and the state of every shop, its panels as they read back included.
// While a network is set the office's session stays connected, so the
// state is at hand; nothing here waits on the broker.

#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QMenu;

namespace quinterra {

class TConfigureNetworkDialog;
class TForm1;
class TNetworkStateWindow;
class TOfficeNetwork;
class TPublishDialog;
class TShopsModel;

// config.ini's section and key of the network's folder.
inline constexpr const char* kNetworkSection = "Red";
inline constexpr const char* kNetworkFolderKey = "Carpeta";

class TNetworkMenu {
 public:
  // Adds the menu after "Comunicaciones" and connects to the folder kept
  // in the form's settings, if any.
  explicit TNetworkMenu(TForm1& form);
  ~TNetworkMenu();

  QMenu* Red1 = nullptr;
  QAction* ConfigurarRed1 = nullptr;
  QAction* PublicarEnLaRed1 = nullptr;
  QAction* EstadoDeLaRed1 = nullptr;
  QAction* UltimaPublicacion1 = nullptr;  // the last publication, not clickable
  QPointer<TConfigureNetworkDialog> ConfigureDialog;
  QPointer<TPublishDialog> PublishDialog;
  QPointer<TNetworkStateWindow> StateWindow;  // while a network is set

  // The network's folder; empty: none.
  const std::string& Folder() const { return folder_; }
  // Takes folder as the network's (empty: none) and keeps it, made
  // absolute, in config.ini; empty, or the reason it was refused (then
  // nothing changed).
  std::string SetFolder(const std::string& folder);
  TOfficeNetwork* Network() { return network_.get(); }
  TShopsModel* Model() { return model_.get(); }

  void ConfigurarRed1Click();
  void PublicarEnLaRed1Click();
  void EstadoDeLaRed1Click();
  // "Vista de los paneles" with what the shop's panels read back.
  void ShowShopPanels(const std::string& shop);

  // How long the progress bar follows a publication at most.
  static constexpr std::chrono::minutes kWatchBound{2};

 private:
  void Connect(const std::string& folder);
  void Disconnect();
  void Refreshed();
  void ShowStatus();
  void Published(const std::string& failure, int64_t version, const std::string& unsaved);
  void ShowPublishFacts();
  void FollowPublication();
  void EndWatch();
  void UpdateShopPanels();

  TForm1& form_;
  std::string folder_;
  std::string problem_;  // why the kept folder could not be used
  std::unique_ptr<TOfficeNetwork> network_;
  std::unique_ptr<TShopsModel> model_;
  QTimer status_tick_;
  // The publication the progress bar follows.
  std::optional<int64_t> watched_version_;
  QTimer watch_end_;
  // The shop shown in the panels view, and what of it was drawn.
  std::string shown_shop_;
  std::string shown_signature_;
};

}  // namespace quinterra
