// window_snapshot FILE.png: draws the main window with sample inputs into
// a picture, as the README shows it. Not a test; run by hand.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>

#include "app/Prompter.h"
#include "app/TfrmMain.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  QTemporaryDir scratch;
  TfrmMain::Environment environment;
  environment.settingsPath = (scratch.path() + QStringLiteral("/Setting.ini")).toStdString();
  TfrmMain window(environment);
  window.findChild<QLineEdit*>(QStringLiteral("edtLocalPath"))->setText(QStringLiteral("/home/hanako/www/site"));
  window.findChild<QLineEdit*>(QStringLiteral("edtBaseURL"))->setText(QStringLiteral("https://example.jp/"));
  auto* list = window.findChild<QListWidget*>(QStringLiteral("listKakuchoshi"));
  list->addItems({QStringLiteral("htm"), QStringLiteral("html")});
  window.findChild<QCheckBox*>(QStringLiteral("chkIsPriority"))->setChecked(true);
  window.findChild<QCheckBox*>(QStringLiteral("chkIsLastMod"))->setChecked(true);
  window.show();
  app.processEvents();
  // The window's frame belongs to the desktop; the picture is its inside
  // with the caption drawn above it.
  const QPixmap inside = window.grab();
  QPixmap picture(inside.width(), inside.height() + 24);
  picture.fill(QColor(0x3c, 0x5a, 0x8c));
  QPainter painter(&picture);
  painter.setPen(Qt::white);
  QFont font = window.font();
  font.setPixelSize(13);
  painter.setFont(font);
  painter.drawText(QRect(8, 0, inside.width() - 8, 24), Qt::AlignVCenter, window.windowTitle());
  painter.drawPixmap(0, 24, inside);
  painter.end();
  return picture.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
