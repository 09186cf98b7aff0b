// The private temporary folder: mkdtemp gives a name nobody else holds.
#include "platform/temporary_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <vector>

namespace velmorane {

TemporaryFolder::TemporaryFolder() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return;
  std::string pattern = (base / "velmorane-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) return;
  path_ = name.data();
  registration_.RegisterFolder(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code error;
  if (!path_.empty()) std::filesystem::remove_all(path_, error);
  registration_.Release();
}

}  // namespace velmorane
