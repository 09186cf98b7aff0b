// A folder of our own under the system temporary folder, for the picture temporaries of
// a conversion that writes no file (to standard output or to memory).
#ifndef VELMORANE_PLATFORM_TEMPORARY_FOLDER_H_
#define VELMORANE_PLATFORM_TEMPORARY_FOLDER_H_

#include <string>

#include "platform/temporaries.h"

namespace velmorane {

class TemporaryFolder {
 public:
  // Creates a fresh folder (never one that exists already); path() is empty when none
  // could be made.
  TemporaryFolder();
  // Removes the folder with everything in it. A signal that ends the process first
  // removes it too (see RegisteredTemporary).
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  RegisteredTemporary registration_;
};

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_TEMPORARY_FOLDER_H_
