// window_snapshot WINDOW.png [QUESTION.png [CHOOSER.png [OPTIONS.png]]]:
// draws the main window with sample inputs, the question asked before an
// extension is deleted, the folder chooser and the options dialog, into
// pictures for the documentation. Not a test; run by hand (a real X server
// under Xvfb gives the folder chooser its icons).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <QDialog>
#include <functional>

#include "app/Prompter.h"
#include "app/QtJapanese.h"
#include "app/TfrmMain.h"
#include "WithCaption.h"

namespace {

// Opens a box with open, draws it into path once it shows, and closes it
// as if cancelled.
bool SnapModal(const std::function<void()>& open, const char* path) {
  bool saved = false;
  QTimer::singleShot(300, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      saved = WithCaption(*box).save(QString::fromLocal8Bit(path));
      if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->reject();
      else box->close();
    }
  });
  open();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QtJapanese::Install(app);
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  app.setFont(font);
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
  // As after a run, to show that the longest status text fits.
  window.findChild<QLabel*>(QStringLiteral("lblStat"))->setText(QString::fromUtf8("サイトマップ(nubika_sitemap.xml)生成完了\n"));
  window.show();
  app.processEvents();
  if (!WithCaption(window).save(QString::fromLocal8Bit(argv[1]))) return 1;
  if (argc < 3) return 0;

  list->setCurrentRow(1);
  if (!SnapModal([&] { window.findChild<QAction*>(QStringLiteral("Delete1"))->trigger(); }, argv[2])) return 1;
  if (argc > 3 && !SnapModal([&] { window.btnLocalPathClick(); }, argv[3])) return 1;
  if (argc > 4 && !SnapModal([&] { window.mnuOptionsClick(); }, argv[4])) return 1;
  return 0;
}
