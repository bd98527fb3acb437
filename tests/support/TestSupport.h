#pragma once
// What every test of the core shares: a scratch folder, whole-file reads
// and writes, and a run control that stops where a test says.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "scan/clCompositionFolder.h"
#include "sitemap/RunControl.h"

// How a record shows in a failed expectation.
inline std::ostream& operator<<(std::ostream& out, const clCompositionFolder& entry) {
  return out << "{" << entry.getLevel() << ", \"" << entry.name() << "\", " << entry.getIsFolder()
             << (entry.isRegularFile() || entry.getIsFolder() == 1 ? "" : ", not regular")
             << (entry.isNoindex() ? ", noindex" : "") << "}";
}

// A scratch folder under $TMPDIR (or /tmp), removed with everything in it,
// also trees too deep for paths, which is why removal goes through rm.
// Trees of hundreds of thousands of files go to memory when asked: on a
// journalled disk of a shared machine creating them takes minutes.
class TempFolder {
 public:
  enum class Place { kTemp, kMemory };

  explicit TempFolder(Place place = Place::kTemp) {
    const char* temp = std::getenv("TMPDIR");
    std::string base = temp && *temp ? temp : "/tmp";
    if (place == Place::kMemory && access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = base + "/nubika-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() { (void)!std::system(("rm -rf '" + path_ + "'").c_str()); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path_.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Every file in the folder, by name.
  std::map<std::string, std::string> Files() const;

  // What a safe replacement leaves only when it failed to clean up: its
  // temporary files, hidden names of the form ".<stem>.tmp-...".
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> found;
    for (const std::string& name : Names())
      if (name.starts_with(".") && name.find(".tmp-") != std::string::npos) found.push_back(name);
    return found;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline std::map<std::string, std::string> TempFolder::Files() const {
  std::map<std::string, std::string> files;
  for (const std::string& name : Names()) files[name] = ReadFile(*this / name);
  return files;
}

// Creates the file's folders too.
inline void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// A run control that counts the steps and asks to stop once it has seen
// stopAfter of them (0: before the first; -1: never).
class ScriptedControl : public RunControl {
 public:
  explicit ScriptedControl(int stopAfter = -1) : stopAfter_(stopAfter) {
    if (stopAfter_ == 0) stop.request_stop();
  }
  std::stop_token stopToken() const override { return stop.get_token(); }
  void StartSteps(std::size_t count) override { total = count; }
  void StepProgress() override {
    if (++steps == stopAfter_) stop.request_stop();
  }

  std::stop_source stop;
  std::size_t total = 0;
  int steps = 0;

 private:
  int stopAfter_;
};

// A one-shot gate: a thread that arrives waits until the test opens it.
class Gate {
 public:
  void Arrive() {
    std::unique_lock lock(mutex_);
    arrived_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool arrived() const {
    std::lock_guard lock(mutex_);
    return arrived_;
  }
  void WaitForArrival() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return arrived_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool open_ = false;
};
