// Folder, file-name and relative-path rules shared by the pipeline, style sheets and
// pictures.
#include "base/paths.h"

#include <filesystem>

namespace velmorane {

std::string ToForwardSlashes(std::string_view path) {
  std::string result(path);
  for (char& c : result) {
    if (c == '\\') c = '/';
  }
  return result;
}

std::string UserPath(std::string_view path) {
  if (path.find('\\') == std::string_view::npos) return std::string(path);
  std::error_code error;
  const std::filesystem::path written{std::string(path)};
  if (std::filesystem::exists(written, error)) return std::string(path);
  const std::filesystem::path parent = written.parent_path();
  const bool plain_name = written.filename().string().find('\\') == std::string::npos;
  if (plain_name && !parent.empty() && std::filesystem::is_directory(parent, error)) {
    return std::string(path);
  }
  return ToForwardSlashes(path);
}

std::string WithTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (result.empty() || result.back() != '/') result += '/';
  return result;
}

std::string FolderOf(std::string_view path) {
  std::string folder;
  const std::size_t last = path.rfind('/');
  if (last != std::string_view::npos) folder.assign(path.substr(0, last + 1));
  if (folder.empty() || folder[0] != '/') {
    std::error_code error;
    std::string cwd = std::filesystem::current_path(error).string();
    if (error) cwd = ".";
    folder = WithTrailingSeparator(cwd) + folder;
  }
  return WithTrailingSeparator(folder);
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t last = path.rfind('/');
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

std::string ResolveRelativePath(std::string_view folder, std::string_view relative) {
  if (!relative.empty() && relative[0] == '/') return std::string(relative);
  // Count the parent steps in the leading run of "." and "/" characters.
  std::size_t i = 0;
  int parent_steps = 0;
  while (i < relative.size() && (relative[i] == '.' || relative[i] == '/')) {
    if (relative.substr(i, 3) == "../") {
      ++parent_steps;
      i += 3;
    } else {
      ++i;
    }
  }
  std::string_view name = relative.substr(i);
  std::string base = WithTrailingSeparator(folder);
  // Cut one trailing folder per step, never above the root.
  while (parent_steps > 0 && base.size() > 1) {
    const std::size_t cut = base.rfind('/', base.size() - 2);
    if (cut == std::string::npos) break;
    base.resize(cut + 1);
    --parent_steps;
  }
  return base + std::string(name);
}

std::string CollapseSeparators(std::string_view path) {
  std::string result;
  result.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !result.empty() && result.back() == '/') continue;
    result += c;
  }
  return result;
}

}  // namespace velmorane
