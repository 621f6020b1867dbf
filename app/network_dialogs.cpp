#include "app/network_dialogs.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quinterra {
namespace {

QLabel* MessageLabel() {
  auto* label = new QLabel;
  label->setObjectName("LabelMensaje");
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
  EditCarpeta = new QLineEdit;
  EditCarpeta->setObjectName("EditCarpeta");
  EditCarpeta->setMinimumWidth(360);
  row->addWidget(EditCarpeta);
  BotonExaminar = Button("BotonExaminar", QString::fromUtf8("Examinar…"));
  row->addWidget(BotonExaminar);
  layout->addLayout(row);
  LabelMensaje = MessageLabel();
  layout->addWidget(LabelMensaje);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  BotonAceptar = Button("BotonAceptar", "Aceptar");
  BotonAceptar->setDefault(true);
  buttons->addWidget(BotonAceptar);
  QPushButton* cancel = Button("BotonCancelar", "Cancelar");
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(BotonExaminar, &QPushButton::clicked, this, [this] {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, "Carpeta de la red", EditCarpeta->text());
    if (!chosen.isEmpty()) EditCarpeta->setText(chosen);
  });
  connect(BotonAceptar, &QPushButton::clicked, this, [this] {
    const std::string why = OnAccept ? OnAccept(EditCarpeta->text().trimmed().toStdString())
                                     : std::string();
    if (why.empty()) {
      accept();
    } else {
      ShowMessage(LabelMensaje, QString::fromStdString(why), true);
    }
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TConfigureNetworkDialog::Open(const std::string& folder) {
  EditCarpeta->setText(QString::fromStdString(folder));
  LabelMensaje->clear();
  open();
}

TPublishDialog::TPublishDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Publicar en la red");
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  LabelDatos = new QLabel;
  LabelDatos->setObjectName("LabelDatos");
  LabelDatos->setTextFormat(Qt::PlainText);
  layout->addWidget(LabelDatos);
  LabelMensaje = MessageLabel();
  layout->addWidget(LabelMensaje);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  BotonPublicar = Button("BotonPublicar", "Publicar");
  BotonPublicar->setDefault(true);
  buttons->addWidget(BotonPublicar);
  BotonCancelar = Button("BotonCancelar", "Cancelar");
  buttons->addWidget(BotonCancelar);
  layout->addLayout(buttons);
  connect(BotonPublicar, &QPushButton::clicked, this, [this] {
    if (!busy_ && OnPublish) OnPublish();
  });
  connect(BotonCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void TPublishDialog::ShowFacts(const QString& network, std::optional<int64_t> version,
                               const QString& why, int shops) {
  LabelDatos->setText(QString::fromUtf8("Red: %1\nVersión nueva: %2\nTiendas conocidas: %3")
                          .arg(network)
                          .arg(version ? QString::number(*version) : QString::fromUtf8("—"))
                          .arg(shops));
  if (!busy_ && !why.isEmpty()) ShowMessage(LabelMensaje, why, true);
  if (!busy_) {
    BotonPublicar->setEnabled(true);
    BotonCancelar->setEnabled(true);
  }
}

void TPublishDialog::ShowPublishing() {
  busy_ = true;
  ShowMessage(LabelMensaje, QString::fromUtf8("Publicando…"), false);
  BotonPublicar->setEnabled(false);
  BotonCancelar->setEnabled(false);
}

void TPublishDialog::ShowFailure(const QString& why) {
  busy_ = false;
  ShowMessage(LabelMensaje, QString::fromUtf8("No se ha publicado: ") + why, true);
  BotonPublicar->setEnabled(true);
  BotonCancelar->setEnabled(true);
}

void TPublishDialog::ShowUnsaved(const QString& why) {
  busy_ = false;
  ShowMessage(LabelMensaje, why, true);
  BotonPublicar->setEnabled(true);
  BotonCancelar->setEnabled(true);
}

void TPublishDialog::reject() {
  // A publication under way ends by itself, within its bounds.
  if (!busy_) QDialog::reject();
}

}  // namespace quinterra
