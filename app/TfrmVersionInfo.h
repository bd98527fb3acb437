#pragma once
#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

// The about box: product name, version, a line on what the tool does, the
// logo and a link to the maker's home page. The program creates it once
// and shows it modally (exec) each time it is asked for; closing only
// hides it.
class TfrmVersionInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmVersionInfo(QWidget* parent = nullptr);
  TfrmVersionInfo(const QUrl& homePage, QWidget* parent);

  const QUrl& homePage() const { return homePage_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void CreateControls();
  void PlaceControls();
  void btnOKClick();
  void Label4Click();
  void Label4MouseMove();
  void FormMouseMove();

  QUrl homePage_;
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* btnOK = nullptr;
};
