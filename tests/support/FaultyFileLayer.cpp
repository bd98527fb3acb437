#include "FaultyFileLayer.h"

#include <unistd.h>

#include <cstring>

const char* FaultyFileLayer::NameOf(Step step) {
  static constexpr const char* kNames[kStepCount] = {"inspect", "create-temp", "set-mode",
                                                      "write",   "flush",       "close",
                                                      "rename",  "sync-folder", "make-folders",
                                                      "read-whole", "open-folder"};
  return kNames[static_cast<int>(step)];
}

FaultyFileLayer::FaultyFileLayer(Step step, int nth, int errorNumber)
    : step_(step), nth_(nth), errorNumber_(errorNumber) {}

bool FaultyFileLayer::Fails(Step step, std::string* error) {
  const int call = ++calls_[static_cast<int>(step)];
  if (step != step_ || call != nth_) return false;
  fired_ = true;
  *error = std::strerror(errorNumber_);
  errno = errorNumber_;
  return true;
}

int FaultyFileLayer::OpenFolder(const std::string& path, std::string* error) {
  return Fails(Step::kOpenFolder, error) ? -1 : real_.OpenFolder(path, error);
}

bool FaultyFileLayer::Inspect(int folder, const std::string& name, Status* status, std::string* error) {
  return !Fails(Step::kInspect, error) && real_.Inspect(folder, name, status, error);
}

int FaultyFileLayer::CreateTemp(int folder, std::string* name, std::string* error) {
  return Fails(Step::kCreateTemp, error) ? -1 : real_.CreateTemp(folder, name, error);
}

bool FaultyFileLayer::SetMode(int fd, mode_t mode, uid_t owner, gid_t group, std::string* error) {
  return !Fails(Step::kSetMode, error) && real_.SetMode(fd, mode, owner, group, error);
}

bool FaultyFileLayer::Write(int fd, const char* data, std::size_t size, std::string* error) {
  if (!Fails(Step::kWrite, error)) return real_.Write(fd, data, size, error);
  std::string ignored;
  real_.Write(fd, data, size / 2, &ignored);  // a full disk takes what fits
  return false;
}

bool FaultyFileLayer::Flush(int fd, std::string* error) {
  return !Fails(Step::kFlush, error) && real_.Flush(fd, error);
}

bool FaultyFileLayer::Close(int fd, std::string* error) {
  if (!Fails(Step::kClose, error)) return real_.Close(fd, error);
  ::close(fd);  // close() releases the descriptor even when it reports an error
  return false;
}

bool FaultyFileLayer::Rename(int folder, const std::string& from, const std::string& to, std::string* error) {
  return !Fails(Step::kRename, error) && real_.Rename(folder, from, to, error);
}

bool FaultyFileLayer::Remove(int folder, const std::string& name) { return real_.Remove(folder, name); }

bool FaultyFileLayer::SyncFolder(int folder, std::string* error) {
  return !Fails(Step::kSyncFolder, error) && real_.SyncFolder(folder, error);
}

mode_t FaultyFileLayer::NewFileMode() { return real_.NewFileMode(); }

bool FaultyFileLayer::MakeFolders(const std::string& folder, std::string* error) {
  return !Fails(Step::kMakeFolders, error) && real_.MakeFolders(folder, error);
}

bool FaultyFileLayer::ReadWhole(const std::string& path, std::string* content, std::string* error) {
  return !Fails(Step::kReadWhole, error) && real_.ReadWhole(path, content, error);
}

bool FaultyFileLayer::ReadWholeIn(int folder, const std::string& name, std::string* content, std::string* error) {
  return !Fails(Step::kReadWhole, error) && real_.ReadWholeIn(folder, name, content, error);
}
