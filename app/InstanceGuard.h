#pragma once
#include <QLockFile>
#include <QString>

// Keeps a second copy of the program from running. The lock lives in the
// user's runtime folder and is named after the executable's file name, so a
// copy of the program under another name runs alongside. A lock left behind
// by a killed instance does not block: the lock records its holder's pid and
// a dead holder is detected. Age alone never breaks the lock, since the
// program may well run for days.
class InstanceGuard {
 public:
  enum class State {
    kNotTried,       // acquire() has not been called, or the lock was released
    kHeld,           // this instance holds the lock until release or destruction
    kHeldByAnother,  // another running instance holds it
    kUnavailable,    // no lock could be made (no runtime folder, I/O error)
  };

  explicit InstanceGuard(const QString& name = ExecutableName());
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // Tries once, without waiting. Only kHeldByAnother means that another
  // instance runs; kUnavailable leaves the program free to run unguarded
  // rather than locking the user out of it.
  State acquire();
  void release();

  State state() const { return state_; }
  // Empty when the user's runtime folder cannot be had.
  const QString& lockPath() const { return lockPath_; }

  // The running executable's file name, without its folder.
  static QString ExecutableName();
  // The lock file for a name: <runtime folder>/<name>.lock, or empty.
  static QString LockPathFor(const QString& name);

 private:
  QString lockPath_;
  QLockFile lock_;
  State state_ = State::kNotTried;
};
