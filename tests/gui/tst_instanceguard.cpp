// The single-instance lock, with the other instance in a process of its
// own (lock_holder), each case in a runtime folder of its own.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/InstanceGuard.h"

using State = InstanceGuard::State;

class TestInstanceGuard : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void anotherProcessHoldingTheLockRefusesTheSecond();
  void killedHolderDoesNotBlock();
  void copyUnderAnotherNameRunsAlongside();
  void lockIsHeldUntilReleasedOrDestroyed();
  void vanishedRuntimeFolderIsNotAnotherInstance();

 private:
  // Starts lock_holder (or a copy) and returns its first line of output.
  QString StartHolder(QProcess* process, const QString& program, const QStringList& arguments = {});

  std::unique_ptr<QTemporaryDir> runtime_;
};

void TestInstanceGuard::init() {
  runtime_ = std::make_unique<QTemporaryDir>();
  QVERIFY(runtime_->isValid());
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_->path()));
}

QString TestInstanceGuard::StartHolder(QProcess* process, const QString& program, const QStringList& arguments) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_->path());
  process->setProcessEnvironment(environment);
  process->start(program, arguments);
  if (!process->waitForStarted()) return QStringLiteral("not started");
  while (!process->canReadLine())
    if (!process->waitForReadyRead(60000)) return QStringLiteral("no answer");
  return QString::fromLatin1(process->readLine()).trimmed();
}

void TestInstanceGuard::anotherProcessHoldingTheLockRefusesTheSecond() {
  QProcess first;
  QCOMPARE(StartHolder(&first, LOCK_HOLDER, {QStringLiteral("nubika-sitemap")}), QStringLiteral("held"));

  InstanceGuard second(QStringLiteral("nubika-sitemap"));
  QCOMPARE(second.lockPath(), runtime_->filePath(QStringLiteral("nubika-sitemap.lock")));
  QCOMPARE(second.acquire(), State::kHeldByAnother);
  // The refused instance leaves the first one and its lock alone.
  QCOMPARE(first.state(), QProcess::Running);
  QVERIFY(QFile::exists(second.lockPath()));

  first.closeWriteChannel();
  QVERIFY(first.waitForFinished());
  QCOMPARE(first.exitCode(), 0);
  QVERIFY(!QFile::exists(second.lockPath()));
  QCOMPARE(second.acquire(), State::kHeld);
}

void TestInstanceGuard::killedHolderDoesNotBlock() {
  QProcess holder;
  QCOMPARE(StartHolder(&holder, LOCK_HOLDER, {QStringLiteral("nubika-sitemap")}), QStringLiteral("held"));
  holder.kill();  // SIGKILL: no chance to remove the lock file
  QVERIFY(holder.waitForFinished());

  InstanceGuard next(QStringLiteral("nubika-sitemap"));
  QVERIFY(QFile::exists(next.lockPath()));
  QCOMPARE(next.acquire(), State::kHeld);
}

void TestInstanceGuard::copyUnderAnotherNameRunsAlongside() {
  QTemporaryDir programs;
  const QString copy = programs.filePath(QStringLiteral("nubika-sitemap-copy"));
  QVERIFY(QFile::copy(LOCK_HOLDER, copy));
  QVERIFY(QFile::setPermissions(copy, QFile::permissions(LOCK_HOLDER)));

  QProcess original, renamed, again;
  QCOMPARE(StartHolder(&original, LOCK_HOLDER), QStringLiteral("held"));
  QCOMPARE(StartHolder(&renamed, copy), QStringLiteral("held"));
  QVERIFY(QFile::exists(runtime_->filePath(QStringLiteral("nubika-sitemap-copy.lock"))));
  // The same program started again is still refused by its own name.
  QCOMPARE(StartHolder(&again, LOCK_HOLDER), QStringLiteral("held-by-another"));
  QVERIFY(again.waitForFinished());

  original.closeWriteChannel();
  renamed.closeWriteChannel();
  QVERIFY(original.waitForFinished());
  QVERIFY(renamed.waitForFinished());
}

void TestInstanceGuard::lockIsHeldUntilReleasedOrDestroyed() {
  QCOMPARE(InstanceGuard::ExecutableName(), QStringLiteral("tst_instanceguard"));
  InstanceGuard later;
  {
    InstanceGuard first;
    QCOMPARE(first.lockPath(), runtime_->filePath(QStringLiteral("tst_instanceguard.lock")));
    QCOMPARE(first.acquire(), State::kHeld);
    QCOMPARE(first.acquire(), State::kHeld);  // asking again keeps it
    QCOMPARE(later.acquire(), State::kHeldByAnother);
    first.release();
    QCOMPARE(first.state(), State::kNotTried);
    QCOMPARE(later.acquire(), State::kHeld);
    later.release();
    QCOMPARE(first.acquire(), State::kHeld);
  }
  QCOMPARE(later.acquire(), State::kHeld);
}

void TestInstanceGuard::vanishedRuntimeFolderIsNotAnotherInstance() {
  InstanceGuard guard(QStringLiteral("nubika-sitemap"));
  QVERIFY(runtime_->remove());
  QCOMPARE(guard.acquire(), State::kUnavailable);
}

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
