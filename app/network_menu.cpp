#include "app/network_menu.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>

#include "app/main_window.h"
#include "app/network_dialogs.h"
#include "app/network_state_model.h"
#include "app/network_state_window.h"
#include "app/panel_picture.h"
#include "app/panels_view_window.h"
#include "network/office_network.h"
#include "platform/file_io.h"

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void TForm1::SetNetworkEditing(bool on) {
  NetworkEditing = on;
  Image1->setVisible(ResultsEditable());
  Image3->setVisible(!ResultsEditable());
  Image2->setVisible(JackpotsEditable());
  Image4->setVisible(!JackpotsEditable());
  SelectCell(nullptr);
}

TNetworkMenu::TNetworkMenu(TForm1& form) : form_(form) {
  Red1 = new QMenu("Red", &form);
  Red1->setObjectName("Red1");
  Red1->setToolTipsVisible(true);
  form.menuBar()->insertMenu(form.Administrador1->menuAction(), Red1);
  auto action = [this](const char* name, const char* caption) {
    QAction* item = Red1->addAction(QString::fromUtf8(caption));
    item->setObjectName(name);
    return item;
  };
  ConfigurarRed1 = action("ConfigurarRed1", "Configurar red…");
  PublicarEnLaRed1 = action("PublicarEnLaRed1", "Publicar en la red…");
  EstadoDeLaRed1 = action("EstadoDeLaRed1", "Estado de la red");
  // Beside "Ver paneles" (F2).
  EstadoDeLaRed1->setShortcut(Qt::Key_F3);
  PublicarEnLaRed1->setShortcut(Qt::Key_F4);
  Red1->addSeparator();
  UltimaPublicacion1 = action("UltimaPublicacion1", "");
  UltimaPublicacion1->setEnabled(false);
  QObject::connect(ConfigurarRed1, &QAction::triggered, &form, [this] { ConfigurarRed1Click(); });
  QObject::connect(PublicarEnLaRed1, &QAction::triggered, &form, [this] { PublicarEnLaRed1Click(); });
  QObject::connect(EstadoDeLaRed1, &QAction::triggered, &form, [this] { EstadoDeLaRed1Click(); });

  // The connection's state changes without a message (a broker that went
  // away): the texts are looked at again every second.
  status_tick_.setInterval(std::chrono::seconds(1));
  QObject::connect(&status_tick_, &QTimer::timeout, [this] { ShowStatus(); });
  watch_end_.setSingleShot(true);
  QObject::connect(&watch_end_, &QTimer::timeout, [this] { EndWatch(); });

  const std::string kept = form.Settings->ReadString(kNetworkSection, kNetworkFolderKey, "");
  if (!kept.empty()) Connect(kept);
  ShowStatus();
}

TNetworkMenu::~TNetworkMenu() {
  // The form is being destroyed: its pictures and bar are left as they are.
  status_tick_.stop();
  watch_end_.stop();
  delete StateWindow;
  delete PublishDialog;
  network_.reset();
  model_.reset();
}

void TNetworkMenu::Connect(const std::string& folder) {
  const bool state_shown = StateWindow && StateWindow->isVisible();
  Disconnect();
  folder_ = folder;
  std::string failure;
  network_ = TOfficeNetwork::Load(folder, &failure);
  if (network_ && !network_->Start(&failure)) network_.reset();
  if (!network_) {
    problem_ = failure;
    ShowStatus();
    return;
  }
  problem_.clear();
  TOfficeSession& session = network_->Session();
  model_ = std::make_unique<TShopsModel>(network_->Fleet(), [&session] { return session.Synced(); });
  model_->OnRefreshed = [this] { Refreshed(); };
  network_->OnMessage = [this](const std::string& topic) { model_->Changed(topic); };
  network_->OnNotice = [this](const std::string& said) { form_.ShowStatus(Q(said)); };
  StateWindow = new TNetworkStateWindow(*model_, &form_);
  StateWindow->setObjectName("EstadoDeLaRed");
  StateWindow->OnShopChosen = [this](const std::string& shop) { ShowShopPanels(shop); };
  form_.SetNetworkEditing(true);
  status_tick_.start();
  ShowStatus();
  if (state_shown) StateWindow->show();
}

void TNetworkMenu::Disconnect() {
  status_tick_.stop();
  EndWatch();
  delete StateWindow;
  // A publication under way ends with its network, unreported.
  delete PublishDialog;
  // The session's client goes first: no message may reach a dead model.
  network_.reset();
  model_.reset();
  shown_shop_.clear();
  if (form_.NetworkEditing) form_.SetNetworkEditing(false);
}

std::string TNetworkMenu::SetFolder(const std::string& typed) {
  // Kept whole, so that it names the same folder whatever the current one.
  std::error_code error;
  const std::string folder =
      typed.empty() ? typed : std::filesystem::absolute(typed, error).string();
  if (!folder.empty()) {
    std::string failure;
    if (!TOfficeNetwork::Load(folder, &failure)) return failure;
  }
  try {
    form_.Settings->WriteString(kNetworkSection, kNetworkFolderKey, folder);
  } catch (const FileError& refused) {
    return refused.what();
  }
  if (folder.empty()) {
    Disconnect();
    folder_.clear();
    problem_.clear();
    ShowStatus();
  } else {
    Connect(folder);
  }
  return {};
}

void TNetworkMenu::ConfigurarRed1Click() {
  if (!ConfigureDialog) {
    ConfigureDialog = new TConfigureNetworkDialog(&form_);
    ConfigureDialog->OnAccept = [this](const std::string& folder) { return SetFolder(folder); };
  }
  ConfigureDialog->Open(folder_);
}

void TNetworkMenu::PublicarEnLaRed1Click() {
  if (!network_) return;
  // As "ENVIAR": a value out of range is emptied, not published.
  form_.SelectCell(nullptr);
  if (!PublishDialog) {
    PublishDialog = new TPublishDialog(&form_);
    PublishDialog->OnPublish = [this] {
      if (!network_) return;
      PublishDialog->ShowPublishing();
      network_->Publish(form_.CellSet.Texts(), [this](const std::string& failure, int64_t version,
                                                      const std::string& unsaved) {
        Published(failure, version, unsaved);
      });
    };
  }
  if (PublishDialog->Busy()) {
    PublishDialog->show();
    return;
  }
  PublishDialog->LabelMensaje->clear();
  ShowPublishFacts();
  PublishDialog->open();
}

void TNetworkMenu::Published(const std::string& failure, int64_t version,
                             const std::string& unsaved) {
  if (!failure.empty()) {
    if (PublishDialog) PublishDialog->ShowFailure(Q(failure));
    return;
  }
  if (!unsaved.empty()) {
    // Published, but the folder does not remember it: said where it lasts.
    form_.ShowStatus(Q(unsaved));
    if (PublishDialog) PublishDialog->ShowUnsaved(Q(unsaved));
  } else if (PublishDialog) {
    PublishDialog->ShowFailure(QString());  // no longer busy
    PublishDialog->accept();
  }
  watched_version_ = version;
  watch_end_.start(kWatchBound);
  form_.DeliveryProgress(0);
  ShowStatus();
}

void TNetworkMenu::EstadoDeLaRed1Click() {
  if (!StateWindow) return;
  StateWindow->show();
  StateWindow->raise();
  StateWindow->activateWindow();
}

void TNetworkMenu::ShowShopPanels(const std::string& shop) {
  if (!network_) return;
  const TFleet& fleet = network_->Fleet();
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
  shown_shop_ = shop;
  shown_signature_ = row->State ? row->State->Results.ReadHash + row->State->Jackpots.ReadHash +
                                      fleet.DocumentHash()
                                : fleet.DocumentHash();
  form_.PanelsView->ShowShopSource(std::move(source));
  form_.Verpaneles1Click();
}

void TNetworkMenu::UpdateShopPanels() {
  if (shown_shop_.empty() || !form_.PanelsView->isVisible()) return;
  const std::optional<TShopRow> row = network_->Fleet().Row(shown_shop_);
  const std::string signature =
      row && row->State ? row->State->Results.ReadHash + row->State->Jackpots.ReadHash +
                              network_->Fleet().DocumentHash()
                        : network_->Fleet().DocumentHash();
  // Redrawn only when what it shows changed: a thousand reports must not
  // redraw it a thousand times.
  if (signature != shown_signature_) ShowShopPanels(shown_shop_);
}

void TNetworkMenu::Refreshed() {
  FollowPublication();
  UpdateShopPanels();
  ShowStatus();
  if (PublishDialog && PublishDialog->isVisible() && !PublishDialog->Busy()) ShowPublishFacts();
}

void TNetworkMenu::ShowPublishFacts() {
  std::string why;
  const std::optional<int64_t> version = network_->NextVersion(&why);
  PublishDialog->ShowFacts(Q(network_->Network()), version, Q(why),
                           static_cast<int>(network_->Fleet().Rows().size()));
}

void TNetworkMenu::FollowPublication() {
  if (!watched_version_ || !model_) return;
  const TFleet& fleet = network_->Fleet();
  if (!fleet.Document() || fleet.Document()->Version != *watched_version_) {
    // Another publication took its place.
    if (fleet.Document() && fleet.Document()->Version > *watched_version_) EndWatch();
    return;
  }
  const int shops = model_->rowCount();
  int verified = 0;
  bool settled = true;
  for (int i = 0; i < shops; ++i) {
    const TShopRow& row = model_->Row(i);
    verified += row.Verdict == TVerdict::Fine;
    // A shop still connected that has not reported on it is on its way.
    const bool reported = row.State && row.State->DocumentHash == fleet.DocumentHash();
    if (!reported && row.Online == true) settled = false;
  }
  form_.DeliveryProgress(shops ? verified * 100 / shops : 100);
  if (settled) EndWatch();
}

void TNetworkMenu::EndWatch() {
  if (!watched_version_) return;
  watched_version_.reset();
  watch_end_.stop();
  form_.DeliveryEnded();
}

void TNetworkMenu::ShowStatus() {
  const bool usable = network_ != nullptr;
  const QString why =
      folder_.empty() ? QString::fromUtf8("Sin carpeta de la red: elíjala en Red > Configurar red…")
                      : QString::fromUtf8("La carpeta de la red no sirve: ") + Q(problem_);
  for (QAction* item : {PublicarEnLaRed1, EstadoDeLaRed1}) {
    item->setEnabled(usable);
    item->setToolTip(usable ? QString() : why);
  }
  UltimaPublicacion1->setVisible(usable);
  if (!usable) return;
  TOfficeSession& session = network_->Session();
  const std::string problem = session.ConnectionProblem();
  QString last;
  if (const std::optional<TPublication>& document = network_->Fleet().Document()) {
    last = QString::fromUtf8("Última publicación: versión %1, %2")
               .arg(document->Version)
               .arg(QDateTime::fromSecsSinceEpoch(document->Published).toString("dd/MM/yyyy HH:mm"));
  } else if (session.Synced()) {
    last = QString::fromUtf8("Última publicación: ninguna");
  } else {
    last = QString::fromUtf8("Última publicación: sin conexión con el servidor");
  }
  UltimaPublicacion1->setText(last);
  UltimaPublicacion1->setToolTip(Q(problem));
  if (StateWindow) StateWindow->ShowSummary(Q(problem));
}

}  // namespace quinterra
