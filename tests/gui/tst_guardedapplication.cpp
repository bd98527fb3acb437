// An exception that escapes an event handler is shown in the error box
// and the program goes on.
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

#include "app/GuardedApplication.h"
#include "app/Prompter.h"

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
};

int main(int argc, char** argv) {
  GuardedApplication app(argc, argv);
  TestGuardedApplication test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_guardedapplication.moc"
