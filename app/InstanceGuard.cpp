#include "app/InstanceGuard.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

InstanceGuard::InstanceGuard(const QString& name) : lockPath_(LockPathFor(name)), lock_(lockPath_) {
  lock_.setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard() { release(); }

InstanceGuard::State InstanceGuard::acquire() {
  if (state_ == State::kHeld) return state_;
  if (lockPath_.isEmpty()) return state_ = State::kUnavailable;
  if (lock_.tryLock(0)) return state_ = State::kHeld;
  state_ = lock_.error() == QLockFile::LockFailedError ? State::kHeldByAnother : State::kUnavailable;
  return state_;
}

void InstanceGuard::release() {
  if (state_ == State::kHeld) lock_.unlock();
  state_ = State::kNotTried;
}

QString InstanceGuard::ExecutableName() { return QFileInfo(QCoreApplication::applicationFilePath()).fileName(); }

QString InstanceGuard::LockPathFor(const QString& name) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) return {};
  return folder + u'/' + name + QStringLiteral(".lock");
}
