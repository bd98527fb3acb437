#include "app/TfrmVersionInfo.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "app/HelpPages.h"
#include "app/ProductIcon.h"

namespace {

QFont PixelFont(int pixels, bool bold) {
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

// The maker's name, and the host when the home page is on the web.
QString LinkText(const QUrl& homePage) {
  const QString name = QStringLiteral("ヌビカのホームページ");
  return homePage.host().isEmpty() ? name : name + u'\n' + homePage.host();
}

}  // namespace

TfrmVersionInfo::TfrmVersionInfo(QWidget* parent) : TfrmVersionInfo(HelpPages().homePage(), parent) {}

TfrmVersionInfo::TfrmVersionInfo(const QUrl& homePage, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      homePage_(homePage) {
  setObjectName(QStringLiteral("frmVersionInfo"));
  setWindowTitle(QStringLiteral("バージョン情報"));
  setWindowIcon(ProductIcon::Icon());
  setFont(PixelFont(12, false));
  setFixedSize(304, 189);
  // Moves over the bare background must reach the dialog to take the hand
  // cursor back; over the link label they turn it into a hand.
  setMouseTracking(true);
  CreateControls();
  PlaceControls();
}

void TfrmVersionInfo::CreateControls() {
  Image1 = MakeLabel(this, "Image1", {});
  Image1->setPixmap(ProductIcon::Logo(64));
  Image1->setAlignment(Qt::AlignCenter);

  Label1 = MakeLabel(this, "Label1", QStringLiteral("ヌビカサイトマップ生成"));
  Label1->setFont(PixelFont(13, true));

  Label2 = MakeLabel(this, "Label2", QStringLiteral("version 2.00LE (2010/02/04)"));
  Label2->setFont(PixelFont(12, true));

  Label4 = MakeLabel(this, "Label4", LinkText(homePage_));
  QFont linkFont = PixelFont(12, false);
  linkFont.setUnderline(true);
  Label4->setFont(linkFont);
  Label4->setStyleSheet(QStringLiteral("color: blue;"));
  Label4->setWordWrap(true);
  Label4->setToolTip(homePage_.toDisplayString());
  Label4->setMouseTracking(true);
  Label4->installEventFilter(this);

  Label3 = MakeLabel(this, "Label3", QStringLiteral("ローカル環境でGoogleやYahoo等に使えるサイトマップを生成するツール"));
  Label3->setWordWrap(true);
  Label3->setBackgroundRole(QPalette::Button);
  Label3->setAutoFillBackground(true);

  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnOK->setFocus();
  connect(btnOK, &QPushButton::clicked, this, &TfrmVersionInfo::btnOKClick);
}

void TfrmVersionInfo::PlaceControls() {
  Image1->setGeometry(8, 16, 65, 65);
  // The two headings size themselves to their text, as wide as the font
  // needs: the box's fonts are not the ones the layout was drawn with.
  Label1->move(88, 16);
  Label1->adjustSize();
  Label2->move(88, 40);
  Label2->adjustSize();
  Label4->setGeometry(88, 64, 185, 30);
  Label3->setGeometry(32, 104, 257, 41);
  btnOK->setGeometry(224, 160, 75, 25);
}

bool TfrmVersionInfo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label4) {
    if (event->type() == QEvent::MouseMove) {
      Label4MouseMove();
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        Label4->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      Label4Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmVersionInfo::mouseMoveEvent(QMouseEvent* event) {
  if (childAt(event->position().toPoint()) == nullptr) FormMouseMove();
  QDialog::mouseMoveEvent(event);
}

// The hand is the box's own cursor, not the application's: shown again or
// closed from the link, the box must not leave a hand over other windows.
void TfrmVersionInfo::hideEvent(QHideEvent* event) {
  unsetCursor();
  QDialog::hideEvent(event);
}

void TfrmVersionInfo::btnOKClick() { accept(); }

void TfrmVersionInfo::Label4Click() { QDesktopServices::openUrl(homePage_); }

// The hand stays over the other controls until the mouse reaches the bare
// background: the controls take the box's cursor.
void TfrmVersionInfo::Label4MouseMove() { setCursor(Qt::PointingHandCursor); }

void TfrmVersionInfo::FormMouseMove() { unsetCursor(); }
