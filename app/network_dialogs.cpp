#include "app/network_dialogs.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quinterra {
namespace {

QLabel* NewMessageLabel() {
  auto* label = new QLabel;
  label->setObjectName("MessageLabel");
  label->setWordWrap(true);
  label->setMinimumWidth(420);
  // Paths and the broker's words, never markup.
  label->setTextFormat(Qt::PlainText);
  return label;
}

// A failure in red, anything else in the usual colour.
void ShowMessage(QLabel* label, const QString& text, bool failure) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, failure ? QColor(190, 0, 0)
                                                 : label->parentWidget()->palette().color(
                                                       QPalette::WindowText));
  label->setPalette(palette);
  label->setText(text);
}

QPushButton* Button(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TConfigureNetworkDialog::TConfigureNetworkDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Configurar red");
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  // The dialog grows with a long message instead of cutting it.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(new QLabel(QString::fromUtf8(
      "Carpeta de la red (la que hizo quinterra-network init); vacía: sin red")));
  auto* row = new QHBoxLayout;
  FolderEdit = new QLineEdit;
  FolderEdit->setObjectName("FolderEdit");
  FolderEdit->setMinimumWidth(360);
  row->addWidget(FolderEdit);
  BrowseButton = Button("BrowseButton", QString::fromUtf8("Examinar…"));
  row->addWidget(BrowseButton);
  layout->addLayout(row);
  MessageLabel = NewMessageLabel();
  layout->addWidget(MessageLabel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  AcceptButton = Button("AcceptButton", "Aceptar");
  AcceptButton->setDefault(true);
  buttons->addWidget(AcceptButton);
  QPushButton* cancel = Button("CancelButton", "Cancelar");
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(BrowseButton, &QPushButton::clicked, this, [this] {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, "Carpeta de la red", FolderEdit->text());
    if (!chosen.isEmpty()) FolderEdit->setText(chosen);
  });
  connect(AcceptButton, &QPushButton::clicked, this, [this] {
    const std::string why = OnAccept ? OnAccept(FolderEdit->text().trimmed().toStdString())
                                     : std::string();
    if (why.empty()) {
      accept();
    } else {
      ShowMessage(MessageLabel, QString::fromStdString(why), true);
    }
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TConfigureNetworkDialog::Open(const std::string& folder) {
  FolderEdit->setText(QString::fromStdString(folder));
  MessageLabel->clear();
  open();
}

TPublishDialog::TPublishDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Publicar en la red");
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  FactsLabel = new QLabel;
  FactsLabel->setObjectName("FactsLabel");
  FactsLabel->setTextFormat(Qt::PlainText);
  layout->addWidget(FactsLabel);
  OfflineLabel = NewMessageLabel();
  OfflineLabel->setObjectName("OfflineLabel");
  layout->addWidget(OfflineLabel);
  MessageLabel = NewMessageLabel();
  layout->addWidget(MessageLabel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  PublishButton = Button("PublishButton", "Publicar");
  PublishButton->setDefault(true);
  buttons->addWidget(PublishButton);
  CancelButton = Button("CancelButton", "Cancelar");
  buttons->addWidget(CancelButton);
  layout->addLayout(buttons);
  connect(PublishButton, &QPushButton::clicked, this, [this] {
    if (!busy_ && OnPublish) OnPublish();
  });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TPublishDialog::Open(const TPublishFacts& facts) {
  if (!busy_) {
    MessageLabel->clear();
    failure_shown_ = false;
  }
  ShowFacts(facts);
  open();
}

void TPublishDialog::ShowFacts(const TPublishFacts& facts) {
  FactsLabel->setText(QString::fromUtf8("Red: %1\nVersión nueva: %2\nTiendas conocidas: %3")
                          .arg(facts.Network)
                          .arg(facts.Version ? QString::number(*facts.Version) : QString::fromUtf8("—"))
                          .arg(facts.Shops));
  const QString offline = OfflineShopsText(facts.Offline);
  OfflineLabel->setText(facts.Connection.isEmpty() ? offline : facts.Connection);
  OfflineLabel->setVisible(!OfflineLabel->text().isEmpty());
  if (busy_) return;
  if (!facts.Why.isEmpty()) {
    ShowMessage(MessageLabel, facts.Why, true);
    failure_shown_ = true;
  }
  PublishButton->setEnabled(true);
  CancelButton->setEnabled(true);
}

void TPublishDialog::ShowPublishing(bool cancellable) {
  busy_ = true;
  ShowMessage(MessageLabel, QString::fromUtf8("Publicando…"), false);
  PublishButton->setEnabled(false);
  CancelButton->setEnabled(cancellable);
}

void TPublishDialog::ShowWaiting(const QString& why) {
  if (!busy_) return;
  ShowMessage(MessageLabel, QString::fromUtf8("Publicando… esperando al servidor: ") + why, false);
}

void TPublishDialog::Idle() {
  busy_ = false;
  PublishButton->setEnabled(true);
  CancelButton->setEnabled(true);
}

void TPublishDialog::ShowFailure(const QString& why) {
  Idle();
  ShowMessage(MessageLabel, QString::fromUtf8("No se ha publicado: ") + why, true);
  failure_shown_ = true;
}

void TPublishDialog::ShowUnsaved(const QString& why) {
  Idle();
  ShowMessage(MessageLabel, why, true);
  failure_shown_ = true;
}

void TPublishDialog::ClearFailure() {
  if (busy_ || !failure_shown_) return;
  MessageLabel->clear();
  failure_shown_ = false;
}

void TPublishDialog::reject() {
  if (!busy_) return QDialog::reject();
  // Only a publication still waiting for the connection can be called off.
  if (OnCancelPublishing && OnCancelPublishing()) {
    Idle();
    ShowMessage(MessageLabel, QString::fromUtf8("Publicación cancelada: no se ha publicado nada"),
                false);
  } else {
    ShowMessage(MessageLabel,
                QString::fromUtf8("Publicando… ya se envió: se espera la respuesta del servidor"),
                false);
  }
}

QString OfflineShopsText(const std::vector<std::string>& shops) {
  if (shops.empty()) return {};
  constexpr size_t kNamed = 8;
  QStringList names;
  for (size_t i = 0; i < shops.size() && i < kNamed; ++i) names << QString::fromStdString(shops[i]);
  QString text = shops.size() == 1
                     ? QString::fromUtf8("1 tienda sin conexión: recibirá la versión al volver")
                     : QString::fromUtf8("%1 tiendas sin conexión: recibirán la versión al volver")
                           .arg(shops.size());
  text += "\n" + names.join(", ");
  if (shops.size() > kNamed) text += QString::fromUtf8(" y %1 más").arg(shops.size() - kNamed);
  return text;
}

}  // namespace quinterra
