#pragma once
#include <array>
#include <string>

#include "io/FileLayer.h"

// The real file layer with one step made to fail the way a full disk or a
// failing device makes it fail, so that every step of a safe replacement
// can be hit, also as root. The failing call does what the system would
// have done first: a failing write writes part of its data, a failing
// close still releases the descriptor.
class FaultyFileLayer : public FileLayer {
 public:
  enum class Step {
    kInspect, kCreateTemp, kSetMode, kWrite, kFlush, kClose, kRename, kSyncFolder, kMakeFolders, kReadWhole,
    kOpenFolder
  };
  static constexpr int kStepCount = 11;
  static const char* NameOf(Step step);

  // Fails the nth call (1-based) of step with errorNumber; every other call
  // goes through.
  FaultyFileLayer(Step step, int nth, int errorNumber);

  // How often each step was called, to learn how many calls there are to
  // fail one by one.
  int CallsOf(Step step) const { return calls_[static_cast<int>(step)]; }
  bool Fired() const { return fired_; }

  int OpenFolder(const std::string& path, std::string* error) override;
  bool Inspect(int folder, const std::string& name, Status* status, std::string* error) override;
  int CreateTemp(int folder, std::string* name, std::string* error) override;
  bool SetMode(int fd, mode_t mode, uid_t owner, gid_t group, std::string* error) override;
  bool Write(int fd, const char* data, std::size_t size, std::string* error) override;
  bool Flush(int fd, std::string* error) override;
  bool Close(int fd, std::string* error) override;
  bool Rename(int folder, const std::string& from, const std::string& to, std::string* error) override;
  bool Remove(int folder, const std::string& name) override;
  bool SyncFolder(int folder, std::string* error) override;
  mode_t NewFileMode() override;
  bool MakeFolders(const std::string& folder, std::string* error) override;
  bool ListFolder(int folder, std::vector<std::string>* names, std::string* error) override {
    return real_.ListFolder(folder, names, error);
  }
  bool ReadWhole(const std::string& path, std::string* content, std::string* error) override;
  bool ReadWholeIn(int folder, const std::string& name, std::string* content, std::string* error) override;

 private:
  // Counts the call and tells whether it is the one to fail; error then
  // holds the system's text for the chosen error.
  bool Fails(Step step, std::string* error);

  PosixFileLayer& real_ = PosixFileLayer::Instance();
  Step step_;
  int nth_;
  int errorNumber_;
  bool fired_ = false;
  std::array<int, kStepCount> calls_{};
};
