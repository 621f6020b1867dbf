#include "app/network_menu.h"

#include <QAction>
#include <QDateTime>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>

#include "app/network_dialogs.h"
#include "app/network_state_model.h"
#include "app/network_state_window.h"
#include "app/network_report_dialog.h"
#include "app/office_window.h"
#include "network/bundle.h"
#include "platform/file_io.h"
#include "platform/profile_file.h"

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TNetworkMenu::TNetworkMenu(QMainWindow& window, QAction* before, TProfileFile& settings,
                           IOfficeWindow& office, ITimerFactory& timers, TTransportFactory transports)
    : window_(window),
      settings_(settings),
      office_(office),
      timers_(timers),
      transports_(std::move(transports)),
      watch_end_(timers.CreateTimer()) {
  Menu = new QMenu("Red", &window);
  Menu->setObjectName("NetworkMenu");
  Menu->setToolTipsVisible(true);
  window.menuBar()->insertMenu(before, Menu);
  auto action = [this](const char* name, const char* caption) {
    QAction* item = Menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(name);
    return item;
  };
  ConfigureAction = action("ConfigureNetworkAction", "Configurar red…");
  PublishAction = action("PublishAction", "Publicar en la red…");
  StateAction = action("NetworkStateAction", "Estado de la red");
  ReportAction = action("NetworkReportAction", "Informe…");
  // Beside "Ver paneles" (F2).
  StateAction->setShortcut(Qt::Key_F3);
  PublishAction->setShortcut(Qt::Key_F4);
  Menu->addSeparator();
  LastPublicationAction = action("LastPublicationAction", "");
  LastPublicationAction->setEnabled(false);
  QObject::connect(ConfigureAction, &QAction::triggered, &window, [this] { ConfigureNetwork(); });
  QObject::connect(PublishAction, &QAction::triggered, &window, [this] { PublishOnNetwork(); });
  QObject::connect(StateAction, &QAction::triggered, &window, [this] { ShowNetworkState(); });
  QObject::connect(ReportAction, &QAction::triggered, &window, [this] { ShowReport(); });

  watch_end_->SetInterval(kWatchBound);
  watch_end_->OnTimer = [this] { EndWatch(); };

  const std::string kept = settings.ReadString(kNetworkSection, kNetworkFolderKey, "");
  if (!kept.empty()) Connect(kept);
  ShowTexts();
}

TNetworkMenu::~TNetworkMenu() {
  // The window is being destroyed: its pictures and bar are left as they are.
  watch_end_->SetEnabled(false);
  delete StateWindow;
  delete PublishDialog;
  client_.reset();
  model_.reset();
}

void TNetworkMenu::Connect(const std::string& folder) {
  const bool state_shown = StateWindow && StateWindow->isVisible();
  Disconnect();
  folder_ = folder;
  std::string failure;
  client_ = TOfficeClient::Open(folder, timers_, &failure, transports_);
  // The office's folder only: a shop's bundle would let the window publish
  // nothing and show a network it is not part of as its own.
  if (client_) {
    if (std::string why = OfficeFolderProblem(client_->Office().Bundle); !why.empty()) {
      failure = why;
      client_.reset();
    }
  }
  if (client_ && !client_->Start(&failure)) client_.reset();
  if (!client_) {
    problem_ = failure;
    ShowTexts();
    return;
  }
  problem_.clear();
  model_ = std::make_unique<TShopsModel>(*client_, timers_);
  model_->OnRefreshed = [this] { Refreshed(); };
  client_->OnShopChanged = [this](const std::string& shop) { model_->ShopChanged(shop); };
  client_->OnDocumentChanged = [this] { model_->DocumentChanged(); };
  client_->OnLinkChanged = [this] { LinkChanged(); };
  client_->OnPublished = [this](const TPublishOutcome& outcome) { Published(outcome); };
  client_->OnNotice = [this](const std::string& said) { office_.ShowStatus(Q(said)); };
  client_->OnWaiting = [this](const std::string& why) {
    if (PublishDialog && client_->Step() == TPublishStep::Waiting) PublishDialog->ShowWaiting(Q(why));
  };
  StateWindow = new TNetworkStateWindow(*model_, &window_);
  StateWindow->setObjectName("NetworkStateWindow");
  StateWindow->OnShopChosen = [this](const std::string& shop) { ShowShopPanels(shop); };
  office_.SetNetworkEditing(true);
  ShowTexts();
  if (state_shown) StateWindow->show();
}

void TNetworkMenu::Disconnect() {
  EndWatch();
  delete StateWindow;
  // A publication under way ends with its network, unreported.
  delete PublishDialog;
  // The client goes first: no event may reach a dead model.
  client_.reset();
  model_.reset();
  shown_shop_.clear();
  office_.SetNetworkEditing(false);
  office_.ShowNetworkLine({});
}

std::string TNetworkMenu::SetFolder(const std::string& typed) {
  // Kept whole, so that it names the same folder whatever the current one.
  std::error_code error;
  const std::string folder =
      typed.empty() ? typed : std::filesystem::absolute(typed, error).string();
  if (!folder.empty()) {
    std::string failure;
    const std::optional<TOffice> office = LoadOffice(folder, &failure);
    if (!office) return failure;
    if (std::string why = OfficeFolderProblem(office->Bundle); !why.empty()) return why;
  }
  try {
    settings_.WriteString(kNetworkSection, kNetworkFolderKey, folder);
  } catch (const FileError& refused) {
    return refused.what();
  }
  if (folder.empty()) {
    Disconnect();
    folder_.clear();
    problem_.clear();
    ShowTexts();
  } else {
    Connect(folder);
  }
  return {};
}

void TNetworkMenu::ConfigureNetwork() {
  if (!ConfigureDialog) {
    ConfigureDialog = new TConfigureNetworkDialog(&window_);
    ConfigureDialog->OnAccept = [this](const std::string& folder) { return SetFolder(folder); };
  }
  ConfigureDialog->Open(folder_);
}

TPublishFacts TNetworkMenu::PublishFacts() const {
  TPublishFacts facts;
  facts.Network = Q(client_->Network());
  std::string why;
  facts.Version = client_->NextVersion(&why);
  facts.Why = Q(why);
  facts.Shops = model_->rowCount();
  facts.Offline = model_->OfflineShops();
  if (client_->Link() != TOfficeLink::Ready && client_->Link() != TOfficeLink::Connecting)
    facts.Connection = QString::fromUtf8("Sin conexión con el servidor: ") + Q(client_->LinkProblem());
  return facts;
}

void TNetworkMenu::PublishOnNetwork() {
  if (!client_) return;
  // As "ENVIAR": a value out of range is emptied, not published.
  office_.EndEditing();
  if (!PublishDialog) {
    PublishDialog = new TPublishDialog(&window_);
    PublishDialog->OnPublish = [this] {
      if (!client_) return;
      TPublishRequest request;
      request.Items = office_.TextsToPublish();
      const std::string refused = client_->Publish(std::move(request));
      if (!refused.empty()) return PublishDialog->ShowFailure(Q(refused));
      PublishDialog->ShowPublishing(true);
    };
    PublishDialog->OnCancelPublishing = [this] { return client_ && client_->Cancel(); };
  }
  model_->Refresh();
  PublishDialog->Open(PublishFacts());
}

void TNetworkMenu::Published(const TPublishOutcome& outcome) {
  if (outcome.Result != TPublishResult::Published) {
    if (PublishDialog) PublishDialog->ShowFailure(Q(outcome.Why));
    return;
  }
  if (!outcome.Why.empty()) {
    // Published, but the folder does not remember it: said where it lasts.
    office_.ShowStatus(Q(outcome.Why));
    if (PublishDialog) PublishDialog->ShowUnsaved(Q(outcome.Why));
  } else if (PublishDialog) {
    PublishDialog->ShowUnsaved({});
    PublishDialog->accept();
  }
  watched_version_ = outcome.Version;
  watch_end_->SetEnabled(false);
  watch_end_->SetEnabled(true);
  office_.ShowPublicationProgress(0);
  ShowTexts();
}

void TNetworkMenu::ShowNetworkState() {
  if (!StateWindow) return;
  StateWindow->show();
  StateWindow->raise();
  StateWindow->activateWindow();
}

void TNetworkMenu::ShowReport() {
  if (!client_) return;
  // What the office's record says, from its own record: a window of its own.
  auto* dialog = new TNetworkReportDialog(folder_, &window_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

void TNetworkMenu::ShowShopPanels(const std::string& shop) {
  if (!client_) return;
  const TFleet& fleet = client_->Fleet();
  const std::optional<TShopRow> row = fleet.Row(shop);
  if (!row) return;
  PanelsViewSource source;
  source.name = "Tienda " + Q(shop);
  if (row->State) {
    source.results = row->State->Results.ReadBack.value_or(Bytes());
    source.jackpots = row->State->Jackpots.ReadBack.value_or(Bytes());
  }
  // What the shops were asked to show, not what is being typed now.
  source.compared_with = fleet.Document() ? PublicationImages(*fleet.Document()) : PanelImages();
  const TShopState* state = row->State ? &*row->State : nullptr;
  source.frame_results = fleet.Document() && fleet.Document()->Results && !(state && state->Results.ReadBack);
  source.frame_jackpots =
      fleet.Document() && fleet.Document()->Jackpots && !(state && state->Jackpots.ReadBack);
  shown_shop_ = shop;
  shown_signature_ = row->State ? row->State->Results.ReadHash + row->State->Jackpots.ReadHash +
                                      fleet.DocumentHash()
                                : fleet.DocumentHash();
  office_.ShowShopPanels(std::move(source));
}

void TNetworkMenu::UpdateShopPanels() {
  if (shown_shop_.empty() || !office_.ShopPanelsShown()) return;
  const TFleet& fleet = client_->Fleet();
  const std::optional<TShopRow> row = fleet.Row(shown_shop_);
  const std::string signature =
      row && row->State
          ? row->State->Results.ReadHash + row->State->Jackpots.ReadHash + fleet.DocumentHash()
          : fleet.DocumentHash();
  // Redrawn only when what it shows changed: a thousand reports must not
  // redraw it a thousand times.
  if (signature != shown_signature_) ShowShopPanels(shown_shop_);
}

void TNetworkMenu::LinkChanged() {
  model_->LinkChanged();
  // A failure of the connection no longer holds once it is back.
  if (client_->Link() == TOfficeLink::Ready && PublishDialog) PublishDialog->ClearFailure();
  ShowTexts();
}

void TNetworkMenu::Refreshed() {
  FollowPublication();
  UpdateShopPanels();
  ShowTexts();
  if (PublishDialog && PublishDialog->isVisible() && !PublishDialog->Busy())
    PublishDialog->ShowFacts(PublishFacts());
}

void TNetworkMenu::FollowPublication() {
  if (!watched_version_ || !model_) return;
  const TFleet& fleet = client_->Fleet();
  if (!fleet.Document() || fleet.Document()->Version != *watched_version_) {
    // Another publication took its place.
    if (fleet.Document() && fleet.Document()->Version > *watched_version_) EndWatch();
    return;
  }
  const int shops = model_->rowCount();
  bool settled = true;
  for (int i = 0; i < shops && settled; ++i) {
    const TShopRow& row = model_->Row(i);
    // A shop still connected that has not reported on it is on its way.
    const bool reported = row.State && row.State->DocumentHash == fleet.DocumentHash();
    if (!reported && row.Online == true) settled = false;
  }
  office_.ShowPublicationProgress(shops ? model_->VerifiedCount() * 100 / shops : 100);
  if (settled) EndWatch();
}

void TNetworkMenu::EndWatch() {
  if (!watched_version_) return;
  watched_version_.reset();
  watch_end_->SetEnabled(false);
  office_.ShowPublicationProgress(std::nullopt);
}

QString TNetworkMenu::NetworkLine() const {
  if (!client_ || !model_ || !client_->Fleet().Document()) return {};
  const TPublication& document = *client_->Fleet().Document();
  QString line = QString::fromUtf8("Versión %1 publicada a las %2")
                     .arg(document.Version)
                     .arg(Q(ClockText(document.Published)));
  if (client_->Link() == TOfficeLink::Lost)
    return line + QString::fromUtf8(" · la oficina no tiene conexión desde las %1")
                      .arg(Q(ClockText(client_->LinkSince())));
  return line + QString::fromUtf8(" · %1 de %2 tiendas verificadas")
                    .arg(model_->VerifiedCount())
                    .arg(model_->rowCount());
}

void TNetworkMenu::ShowTexts() {
  const bool usable = client_ != nullptr;
  const QString why =
      folder_.empty() ? QString::fromUtf8("Sin carpeta de la red: elíjala en Red > Configurar red…")
                      : QString::fromUtf8("La carpeta de la red no sirve: ") + Q(problem_);
  for (QAction* item : {PublishAction, StateAction, ReportAction}) {
    item->setEnabled(usable);
    item->setToolTip(usable ? QString() : why);
  }
  LastPublicationAction->setVisible(usable);
  if (!usable) return;
  QString last;
  if (const std::optional<TPublication>& document = client_->Fleet().Document()) {
    last = QString::fromUtf8("Última publicación: versión %1, %2")
               .arg(document->Version)
               .arg(QDateTime::fromSecsSinceEpoch(document->Published).toString("dd/MM/yyyy HH:mm"));
  } else if (client_->Link() == TOfficeLink::Ready) {
    last = QString::fromUtf8("Última publicación: ninguna");
  } else {
    last = QString::fromUtf8("Última publicación: sin conexión con el servidor");
  }
  LastPublicationAction->setText(last);
  LastPublicationAction->setToolTip(Q(client_->LinkProblem()));
  office_.ShowNetworkLine(NetworkLine());
  if (StateWindow) StateWindow->ShowSummary();
}

}  // namespace quinterra
