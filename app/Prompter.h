#pragma once
#include <QString>

class QWidget;

// Every modal message and question of the window goes through here, so
// that tests can answer them without a box blocking the run.
class Prompter {
 public:
  // The caption of plain notices.
  static constexpr const char* kApplicationTitle = "ヌビカHTML自動目次生成";

  virtual ~Prompter() = default;
  // A plain notice with an OK button under the application's title.
  virtual void Notice(const QString& text) = 0;
  // A Yes/No question; Yes is the default button. True for Yes.
  virtual bool AskYesNo(const QString& caption, const QString& text) = 0;
  // An error that ended an operation, in the error box.
  virtual void Error(const QString& text) = 0;
};

// The real boxes, owned by the given window.
class MessageBoxPrompter : public Prompter {
 public:
  explicit MessageBoxPrompter(QWidget* owner = nullptr) : owner_(owner) {}
  void Notice(const QString& text) override;
  bool AskYesNo(const QString& caption, const QString& text) override;
  void Error(const QString& text) override;

 private:
  QWidget* owner_;
};
