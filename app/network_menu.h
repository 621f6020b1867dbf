#pragma once
// The "Red" menu of the office: the network's folder (kept as Carpeta in
// config.ini's [Red]), publishing the document being typed to every shop,
// and the state of every shop, its panels as they read back included.
// While a network is set the office's client stays connected, so the state
// is at hand; the menu follows the client's events and never waits on the
// broker. It talks to its window only through IOfficeWindow.

#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "network/office_client.h"
#include "platform/interval_timer.h"

class QAction;
class QMainWindow;
class QMenu;

namespace quinterra {

class IOfficeWindow;
class TConfigureNetworkDialog;
class TNetworkStateWindow;
class TProfileFile;
class TPublishDialog;
struct TPublishFacts;
class TShopsModel;

// config.ini's section and key of the network's folder.
inline constexpr const char* kNetworkSection = "Red";
inline constexpr const char* kNetworkFolderKey = "Carpeta";

class TNetworkMenu {
 public:
  // Adds the menu to window's menu bar before the menu of before, and
  // connects to the folder kept in settings, if any. Everything given must
  // outlive the menu.
  TNetworkMenu(QMainWindow& window, QAction* before, TProfileFile& settings, IOfficeWindow& office,
               ITimerFactory& timers, TTransportFactory transports = MqttTransports());
  ~TNetworkMenu();

  QMenu* Menu = nullptr;
  QAction* ConfigureAction = nullptr;
  QAction* PublishAction = nullptr;
  QAction* StateAction = nullptr;
  QAction* ReportAction = nullptr;  // "Informe…": the office's record, per shop and panel
  QAction* LastPublicationAction = nullptr;  // the last publication, not clickable
  QPointer<TConfigureNetworkDialog> ConfigureDialog;
  QPointer<TPublishDialog> PublishDialog;
  QPointer<TNetworkStateWindow> StateWindow;  // while a network is set

  // The network's folder; empty: none.
  const std::string& Folder() const { return folder_; }
  // Takes folder as the network's (empty: none) and keeps it, made
  // absolute, in config.ini; empty, or the reason it was refused (then
  // nothing changed).
  std::string SetFolder(const std::string& folder);
  TOfficeClient* Client() { return client_.get(); }
  TShopsModel* Model() { return model_.get(); }

  // "Configurar red…", "Publicar en la red…" (F4), "Estado de la red" (F3).
  void ConfigureNetwork();
  void PublishOnNetwork();
  void ShowNetworkState();
  void ShowReport();
  // "Vista de los paneles" with what the shop's panels read back.
  void ShowShopPanels(const std::string& shop);

  // The status line's lasting line: "Versión 7 publicada a las 12:04 · 3 de
  // 3 tiendas verificadas"; empty without a valid document.
  QString NetworkLine() const;

  // How long the progress bar follows a publication at most.
  static constexpr std::chrono::minutes kWatchBound{2};

 private:
  void Connect(const std::string& folder);
  void Disconnect();
  void LinkChanged();
  void Refreshed();
  void ShowTexts();
  void Published(const TPublishOutcome& outcome);
  void FollowPublication();
  void EndWatch();
  void UpdateShopPanels();
  TPublishFacts PublishFacts() const;

  QMainWindow& window_;
  TProfileFile& settings_;
  IOfficeWindow& office_;
  ITimerFactory& timers_;
  TTransportFactory transports_;
  std::string folder_;
  std::string problem_;  // why the kept folder could not be used
  std::unique_ptr<TOfficeClient> client_;
  std::unique_ptr<TShopsModel> model_;
  // The publication the progress bar follows.
  std::optional<int64_t> watched_version_;
  std::unique_ptr<IIntervalTimer> watch_end_;
  // The shop shown in the panels view, and what of it was drawn.
  std::string shown_shop_;
  std::string shown_signature_;
};

}  // namespace quinterra
