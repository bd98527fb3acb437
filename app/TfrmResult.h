#pragma once
#include <QDialog>
#include <QString>
#include <functional>

#include "job/SitemapRun.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// What a run the user started ended with, beside the main window: what was
// written and how many URLs, the cause of a failure and what to do, and
// every entry the run left out or reported, with its reason, in a table
// that sorts, filters by reason, copies its selected rows (Ctrl+C) and
// saves as a UTF-8 text file. Not modal: the main window stays usable.
class TfrmResult : public QDialog {
  Q_OBJECT

 public:
  // Asks where to save the list; an empty answer saves nothing.
  using SaveChooser = std::function<QString(QWidget* parent)>;

  explicit TfrmResult(QWidget* parent = nullptr, SaveChooser chooser = {});

  // Fills the view with result and brings it to the front.
  void Show(const RunResult& result);

  // The rows as text, one line each: path, reason and note, separated by
  // tabs. selectedOnly: the selected rows only. Rows in the table's order.
  QString RowsText(bool selectedOnly) const;
  // Copies the selected rows to the clipboard.
  void CopySelected() const;
  // Writes every row to path as UTF-8; false with a notice when it cannot.
  bool SaveList(const QString& path);

 private:
  void FillTable(const WarningList& warnings);
  void ApplyFilter();
  void AskAndSave();

  SaveChooser chooser_;
  std::string sitemapPath_;
  std::string folder_;
  QLabel* lblHeadline = nullptr;
  QLabel* lblWritten = nullptr;
  QLabel* lblUrlCount = nullptr;
  QLabel* lblChanges = nullptr;
  QLabel* lblCause = nullptr;
  QLabel* lblAdvice = nullptr;
  QComboBox* cmbReason = nullptr;
  QTableWidget* tblLeftOut = nullptr;
  QLabel* lblMore = nullptr;
  QPushButton* btnSaveList = nullptr;
  QPushButton* btnOpenSitemap = nullptr;
  QPushButton* btnOpenFolder = nullptr;
  QPushButton* btnClose = nullptr;
};
