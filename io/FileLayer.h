#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

// The file operations a safe replacement of one file needs. The program
// writes through this interface so that tests can make any step fail, also
// when they run as root, where permission bits stop nothing.
//
// Files are named relative to an open folder: a folder descriptor and a
// name in it, as openat and renameat take them. A run opens its folder
// once and does everything after through that descriptor, so a folder
// whose path is made to lead elsewhere mid-run (a link a deploy flips) is
// still the one written. Names are single entries of the folder, not paths.
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

  // The folder at path (a link there is followed), for the calls below.
  // Returns the descriptor, to be given back through Close, or -1.
  virtual int OpenFolder(const std::string& path, std::string* error) = 0;
  // lstat of name in folder: a missing file is not an error (exists stays
  // false).
  virtual bool Inspect(int folder, const std::string& name, Status* status, std::string* error) = 0;
  // Creates a new file in folder under *name, which ends in "XXXXXXXX":
  // those eight characters are filled with random lowercase hex digits
  // (another draw while the name is taken). Never follows or reuses an
  // existing entry; mode 0600. Returns the descriptor or -1.
  virtual int CreateTemp(int folder, std::string* name, std::string* error) = 0;
  // Mode, and the owner where we may set it (as root).
  virtual bool SetMode(int fd, mode_t mode, uid_t owner, gid_t group, std::string* error) = 0;
  virtual bool Write(int fd, const char* data, std::size_t size, std::string* error) = 0;
  virtual bool Flush(int fd, std::string* error) = 0;
  // Any descriptor these calls gave out, files and folders alike.
  virtual bool Close(int fd, std::string* error) = 0;
  // renameat within folder.
  virtual bool Rename(int folder, const std::string& from, const std::string& to, std::string* error) = 0;
  virtual bool Remove(int folder, const std::string& name) = 0;
  // fsync of the folder itself, so that renames and removals in it last.
  virtual bool SyncFolder(int folder, std::string* error) = 0;
  // The mode a new file gets: 0666 less the umask.
  virtual mode_t NewFileMode() = 0;
  // Creates a folder and its parents, for files kept under a config folder.
  virtual bool MakeFolders(const std::string& folder, std::string* error) = 0;
  // The names in folder, "." and ".." left out.
  virtual bool ListFolder(int folder, std::vector<std::string>* names, std::string* error) = 0;
  // The whole content of a regular file, every byte (NUL included). Never
  // waits: a FIFO, a device or a folder is refused at once, as not a
  // regular file. On failure errno is the cause (ENOENT: there is no file)
  // and error says it.
  virtual bool ReadWhole(const std::string& path, std::string* content, std::string* error) = 0;
  // The same for name in folder (a link there is followed).
  virtual bool ReadWholeIn(int folder, const std::string& name, std::string* content, std::string* error) = 0;
};

// The real file layer, on POSIX calls.
class PosixFileLayer : public FileLayer {
 public:
  static PosixFileLayer& Instance();

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
  bool ListFolder(int folder, std::vector<std::string>* names, std::string* error) override;
  bool ReadWhole(const std::string& path, std::string* content, std::string* error) override;
  bool ReadWholeIn(int folder, const std::string& name, std::string* content, std::string* error) override;
};
