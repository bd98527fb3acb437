#pragma once
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

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
    std::string pattern = base + "/nubika-fault-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() { (void)!std::system(("rm -rf '" + path_ + "'").c_str()); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Names in the folder that a safe replacement leaves only when it failed
  // to clean up: its temporary files start with a dot and the target's name.
  std::vector<std::string> LeftoversOf(const std::string& targetName) const {
    std::vector<std::string> found;
    const std::string prefix = "." + targetName + ".";
    if (DIR* dir = opendir(path_.c_str())) {
      while (const dirent* entry = readdir(dir))
        if (std::string(entry->d_name).rfind(prefix, 0) == 0) found.emplace_back(entry->d_name);
      closedir(dir);
    }
    return found;
  }

 private:
  std::string path_;
};

inline void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}
