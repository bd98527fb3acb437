// The application's own guard and voice: an exception that escapes an
// event handler is shown in the error box and the program goes on, one
// that escapes the program ends it with status 1, and
// Qt's standard texts are Japanese whatever the locale (run with LC_ALL=C).
#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <stdexcept>

#include "app/GuardedApplication.h"
#include "app/Prompter.h"
#include "app/QtJapanese.h"

namespace {

class Thrower : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("disk gone");
    return QObject::event(event);
  }
};

}  // namespace

class TestGuardedApplication : public QObject {
  Q_OBJECT

 private slots:
  // Twice: the first box does not stop the program from handling the next.
  void escapedExceptionIsShown() {
    Thrower thrower;
    for (int round = 0; round < 2; ++round) {
      QStringList shown;
      QTimer::singleShot(0, this, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          shown << box->windowTitle() << box->text();
          box->accept();
        }
      });
      QEvent event(QEvent::User);
      QVERIFY(!QCoreApplication::sendEvent(&thrower, &event));
      QCOMPARE(shown, (QStringList{QString::fromUtf8(Prompter::kApplicationTitle), QStringLiteral("disk gone")}));
    }
  }

  // Out of the program's body an exception ends it with status 1. A run
  // nobody watches shows no box, and an event handler's exception ends its
  // loop with 1 rather than letting it report success.
  void escapingExceptionEndsWithOne() {
    auto& app = static_cast<GuardedApplication&>(*qApp);
    QStringList boxes;
    const auto closeBoxes = [&boxes] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes << box->text();
        box->accept();
      }
    };
    QTimer::singleShot(0, this, closeBoxes);
    QCOMPARE(app.Guarded([]() -> int { throw std::runtime_error("settings gone"); }), 1);
    QCOMPARE(boxes, QStringList{QStringLiteral("settings gone")});
    QCOMPARE(app.Guarded([] { return 0; }), 0);

    app.setUnattended(true);
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, closeBoxes);
    watch.start(20);
    QCOMPARE(app.Guarded([]() -> int { throw std::runtime_error("unwatched"); }), 1);
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCOMPARE(app.exec(), 1);
    app.setUnattended(false);
    QCOMPARE(boxes.size(), 1);
  }

  void qtStandardTextsAreJapanese() {
    QVERIFY(QtJapanese::Install(*qApp));
    QStringList buttons;
    QTimer::singleShot(0, this, [&buttons] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (auto* button : box->buttons()) buttons << button->text();
      box->reject();
    });
    const bool yes = MessageBoxPrompter().AskYesNo(QStringLiteral("確認"), QStringLiteral("削除してもいいですか？"));
    QVERIFY(!yes);  // closed as if cancelled
    buttons.sort();
    QCOMPARE(buttons, (QStringList{QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));

    QFileDialog chooser;
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    QCOMPARE(chooser.labelText(QFileDialog::LookIn), QStringLiteral("アドレス:"));
    QCOMPARE(chooser.labelText(QFileDialog::Reject), QStringLiteral("キャンセル"));
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QVERIFY(menu->actions().first()->text().startsWith(QStringLiteral("元に戻す")));
  }
};

int main(int argc, char** argv) {
  GuardedApplication app(argc, argv);
  TestGuardedApplication test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_guardedapplication.moc"
