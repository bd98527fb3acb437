#pragma once
#include <QDialog>

#include "sitemap/GenerationInputs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The further options of a run, beyond the main window's four boxes: the
// date a <lastmod> gives and where the ledger of content dates is kept,
// exclusions, noindex pages, folder URLs for index pages, followed links,
// gzip, canonical pages, robots.txt and language versions. It edits a copy
// of the window's options
// and hands it back only when the user presses OK.
class TfrmOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmOptions(QWidget* parent = nullptr);

  // Shows the options of inputs (the dialog's own fields only).
  void Show(const GenerationInputs& inputs);
  // inputs with the dialog's fields as they are now.
  GenerationInputs Applied(GenerationInputs inputs) const;

 private:
  void EnableLedgerFields(int dateChoice);

  QComboBox* cmbLastModFrom = nullptr;
  QLabel* lblLastModNote = nullptr;
  QCheckBox* chkDigestText = nullptr;
  QLineEdit* edtLedger = nullptr;  // empty: the ledger's usual place
  QPushButton* btnLedger = nullptr;
  QPlainTextEdit* memExclude = nullptr;
  QCheckBox* chkSkipNoindex = nullptr;
  QCheckBox* chkFolderUrls = nullptr;
  QLineEdit* edtIndexNames = nullptr;
  QCheckBox* chkFollowLinks = nullptr;
  QCheckBox* chkGzip = nullptr;
  QCheckBox* chkCanonical = nullptr;
  QCheckBox* chkRobotsTxt = nullptr;
  QLineEdit* edtRobotsAgent = nullptr;
  QCheckBox* chkRobotsSitemapLine = nullptr;
  QCheckBox* chkHreflang = nullptr;
};
