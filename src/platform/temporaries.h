// Temporary files and folders that must not outlive the process: each is registered
// while it exists, and SIGINT, SIGTERM, SIGHUP and SIGPIPE remove every registered one
// before the process ends.
#ifndef VELMORANE_PLATFORM_TEMPORARIES_H_
#define VELMORANE_PLATFORM_TEMPORARIES_H_

#include <string>
#include <vector>

namespace velmorane {

struct TemporarySlot;

// A registration held for the life of the object. Registering the first temporary of
// the process installs the signal handler for each of the four signals whose action is
// still the default one (a program that handles them itself, or ignores SIGPIPE, keeps
// its way).
class RegisteredTemporary {
 public:
  RegisteredTemporary() = default;
  explicit RegisteredTemporary(const std::string& path) { Register(path); }
  ~RegisteredTemporary() { Release(); }
  RegisteredTemporary(const RegisteredTemporary&) = delete;
  RegisteredTemporary& operator=(const RegisteredTemporary&) = delete;
  RegisteredTemporary(RegisteredTemporary&& other) noexcept : slot_(other.slot_) {
    other.slot_ = nullptr;
  }
  RegisteredTemporary& operator=(RegisteredTemporary&& other) noexcept;

  // Replaces any earlier registration of this object.
  void Register(const std::string& path);
  // The same for a folder of our own: the handler removes it after every registered
  // file, when nothing else is left in it.
  void RegisterFolder(const std::string& path);
  // Forgets the path without touching the file (it was renamed or removed).
  void Release();

 private:
  void Register(const std::string& path, bool folder);
  TemporarySlot* slot_ = nullptr;
};

// The temporaries of one conversion: each is registered while it exists, and whatever
// is left when the set goes is removed.
class TemporaryFileSet {
 public:
  TemporaryFileSet() = default;
  ~TemporaryFileSet() { RemoveAll(); }
  TemporaryFileSet(const TemporaryFileSet&) = delete;
  TemporaryFileSet& operator=(const TemporaryFileSet&) = delete;

  // Takes on a file this conversion has just created, with the descriptor it was
  // created with (-1: none), which the set closes with the file.
  void Add(const std::string& path, int fd = -1);
  // The same with a registration made when the file was created.
  void Adopt(const std::string& path, RegisteredTemporary registration, int fd = -1);
  // The descriptor the file of `path` is held open with; -1 when the set holds none.
  // Our temporaries are written and read back through it, never opened again by name:
  // a file another process renames into the folder under that name is never read.
  int Descriptor(const std::string& path) const;
  // Removes the file when it belongs to the set (a path it does not hold is left alone).
  void Remove(const std::string& path);
  void RemoveAll();
  std::size_t size() const { return files_.size(); }

 private:
  struct File {
    std::string path;
    RegisteredTemporary registration;
    int fd = -1;
  };
  std::vector<File> files_;
};

// Removes `path` and forgets its registration in `registration`.
void RemoveTemporary(const std::string& path, RegisteredTemporary& registration);

// How many temporaries are registered now (for tests).
int RegisteredTemporaryCount();

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_TEMPORARIES_H_
