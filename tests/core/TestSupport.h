#pragma once
// Helpers shared by the core tests: a temporary folder per test, file
// reading and writing, and stand-ins for the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "job/RunControl.h"
#include "sitemap/FileLayer.h"
#include "tests/fault/FakeDirectoryLister.h"

namespace testing_support {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "nubika-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Names in a folder other than the ones given, e.g. left-over temporary files.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The real file layer, but the nth call of one operation fails with the
// given reason.
class FailingFileLayer : public PosixFileLayer {
 public:
  enum class Step { kInspect, kCreateTemp, kSetMode, kWrite, kFlush, kClose, kRename, kMakeFolders };

  FailingFileLayer(Step step, int nth = 1, std::string reason = "No space left on device")
      : step_(step), nth_(nth), reason_(std::move(reason)) {}

  bool Inspect(const std::string& p, Status* s, std::string* e) override {
    return !Fails(Step::kInspect, e) && PosixFileLayer::Inspect(p, s, e);
  }
  int CreateTemp(std::string* t, std::string* e) override {
    return Fails(Step::kCreateTemp, e) ? -1 : PosixFileLayer::CreateTemp(t, e);
  }
  bool SetMode(int fd, mode_t m, uid_t o, gid_t g, std::string* e) override {
    return !Fails(Step::kSetMode, e) && PosixFileLayer::SetMode(fd, m, o, g, e);
  }
  bool Write(int fd, const char* d, std::size_t n, std::string* e) override {
    return !Fails(Step::kWrite, e) && PosixFileLayer::Write(fd, d, n, e);
  }
  bool Flush(int fd, std::string* e) override { return !Fails(Step::kFlush, e) && PosixFileLayer::Flush(fd, e); }
  bool Close(int fd, std::string* e) override {
    // Like close(2) on an I/O error: the descriptor is gone all the same.
    if (Fails(Step::kClose, e)) {
      std::string ignored;
      PosixFileLayer::Close(fd, &ignored);
      return false;
    }
    return PosixFileLayer::Close(fd, e);
  }
  bool Rename(const std::string& f, const std::string& t, std::string* e) override {
    return !Fails(Step::kRename, e) && PosixFileLayer::Rename(f, t, e);
  }
  bool MakeFolders(const std::string& f, std::string* e) override {
    return !Fails(Step::kMakeFolders, e) && PosixFileLayer::MakeFolders(f, e);
  }

  bool failed() const { return failed_; }

 private:
  bool Fails(Step step, std::string* error) {
    if (step != step_ || ++calls_ != nth_) return false;
    failed_ = true;
    *error = reason_;
    return true;
  }
  Step step_;
  int nth_;
  std::string reason_;
  int calls_ = 0;
  bool failed_ = false;
};

// A run control that counts and can ask to stop at its nth poll.
class ScriptedControl : public RunControl {
 public:
  explicit ScriptedControl(int stopAtPoll = 0) : stopAtPoll_(stopAtPoll) {}
  bool terminateRequested() const override {
    ++polls;
    return stopAtPoll_ != 0 && polls >= stopAtPoll_;
  }
  void StepProgress() override { ++steps; }

  mutable int polls = 0;
  int steps = 0;

 private:
  int stopAtPoll_;
};

}  // namespace testing_support
