#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

// The file operations a safe replacement of one file needs. The program
// writes through this interface so that tests can make any step fail, also
// when they run as root, where permission bits stop nothing.
class FileLayer {
 public:
  struct Status {
    bool exists = false;
    bool isSymlink = false;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
  };

  virtual ~FileLayer() = default;

  // lstat: a missing file is not an error (exists stays false).
  virtual bool Inspect(const std::string& path, Status* status, std::string* error) = 0;
  // mkstemp on a template ending in "XXXXXX", which it fills in. Returns
  // the descriptor or -1.
  virtual int CreateTemp(std::string* pathTemplate, std::string* error) = 0;
  // Mode, and the owner where we may set it (as root).
  virtual bool SetMode(int fd, mode_t mode, uid_t owner, gid_t group, std::string* error) = 0;
  virtual bool Write(int fd, const char* data, std::size_t size, std::string* error) = 0;
  virtual bool Flush(int fd, std::string* error) = 0;
  virtual bool Close(int fd, std::string* error) = 0;
  virtual bool Rename(const std::string& from, const std::string& to, std::string* error) = 0;
  virtual bool Remove(const std::string& path) = 0;
  virtual bool SyncFolder(const std::string& folder, std::string* error) = 0;
  // The mode a new file gets: 0666 less the umask.
  virtual mode_t NewFileMode() = 0;
  // Creates a folder and its parents, for files kept under a config folder.
  virtual bool MakeFolders(const std::string& folder, std::string* error) = 0;
  // The names in a folder, "." and ".." left out.
  virtual bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* error) = 0;
  // The whole content of a regular file, every byte (NUL included). Never
  // waits: a FIFO, a device or a folder is refused at once, as not a
  // regular file. On failure errno is the cause (ENOENT: there is no file)
  // and error says it.
  virtual bool ReadWhole(const std::string& path, std::string* content, std::string* error) = 0;
};

// The real file layer, on POSIX calls.
class PosixFileLayer : public FileLayer {
 public:
  static PosixFileLayer& Instance();

  bool Inspect(const std::string& path, Status* status, std::string* error) override;
  int CreateTemp(std::string* pathTemplate, std::string* error) override;
  bool SetMode(int fd, mode_t mode, uid_t owner, gid_t group, std::string* error) override;
  bool Write(int fd, const char* data, std::size_t size, std::string* error) override;
  bool Flush(int fd, std::string* error) override;
  bool Close(int fd, std::string* error) override;
  bool Rename(const std::string& from, const std::string& to, std::string* error) override;
  bool Remove(const std::string& path) override;
  bool SyncFolder(const std::string& folder, std::string* error) override;
  mode_t NewFileMode() override;
  bool MakeFolders(const std::string& folder, std::string* error) override;
  bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* error) override;
  bool ReadWhole(const std::string& path, std::string* content, std::string* error) override;
};
