#pragma once
// The questions and messages the main window puts to the operator, behind a
// seam so that tests answer them from a script. The program shows Qt's
// message boxes and file dialogs (qt_dialogs.h).

#include <QString>
#include <optional>

namespace quinterra {

enum class DialogAnswer { Yes, No, Cancel };

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // A warning box with Yes, No and Cancel.
  virtual DialogAnswer AskYesNoCancel(const QString& caption, const QString& text) = 0;
  // The application's error box, e.g. for a file that cannot be written.
  virtual void ShowError(const QString& text) = 0;
  virtual void ShowInfo(const QString& caption, const QString& text) = 0;

  // name_filters in Qt form ("Text (*.ltr);;All (*)"). Empty when the
  // operator cancels.
  virtual std::optional<QString> ChooseFileToOpen(const QString& name_filters) = 0;
  // default_suffix is added to a name typed without an extension;
  // preset_name is the name offered at first.
  virtual std::optional<QString> ChooseFileToSave(const QString& name_filters,
                                                  const QString& default_suffix,
                                                  const QString& preset_name) = 0;
};

}  // namespace quinterra
