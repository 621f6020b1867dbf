#pragma once
// The dialogs of the program: Qt message boxes and file dialogs, modal to
// the given window.

#include <QPointer>
#include <QWidget>

#include "app/dialogs.h"

namespace quinterra {

class TQtDialogs : public IDialogs {
 public:
  // owner may be set later (the window is created after its dialogs).
  explicit TQtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  DialogAnswer AskYesNoCancel(const QString& caption, const QString& text) override;
  void ShowError(const QString& text) override;
  void ShowInfo(const QString& caption, const QString& text) override;
  std::optional<QString> ChooseFileToOpen(const QString& name_filters) override;
  std::optional<QString> ChooseFileToSave(const QString& name_filters, const QString& default_suffix,
                                          const QString& preset_name) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace quinterra
