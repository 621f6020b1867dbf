#pragma once
// The message boxes of the search window, behind a small seam so that tests
// answer them without a screen.

#include <QString>

class QWidget;

namespace quinterra {

class ISearcherDialogs {
 public:
  virtual ~ISearcherDialogs() = default;
  // A plain information box with one OK button.
  virtual void ShowInfo(QWidget* parent, const QString& text) = 0;
  // A failure the operator must see (a file that could not be written).
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
};

// The real boxes.
class MessageBoxDialogs : public ISearcherDialogs {
 public:
  void ShowInfo(QWidget* parent, const QString& text) override;
  void ShowError(QWidget* parent, const QString& text) override;
};

}  // namespace quinterra
