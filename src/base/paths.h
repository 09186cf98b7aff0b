// Path rules of the engine on POSIX: "/" separates, a path is absolute when it starts
// with "/", and a "\" in a path taken from HTML is read as a separator.
#ifndef VELMORANE_BASE_PATHS_H_
#define VELMORANE_BASE_PATHS_H_

#include <string>
#include <string_view>

namespace velmorane {

// Every "\" becomes "/".
std::string ToForwardSlashes(std::string_view path);

// A path the user gave (an input, an output target, a folder): "\" is an ordinary
// character in names here, so a path that exists as written is kept, and so is a new
// name without "\" in an existing folder; otherwise every "\" is read as a separator,
// as in a path from HTML.
std::string UserPath(std::string_view path);

// The folder of a file path, ending in "/"; a relative path is taken relative to the
// current directory, keeping its folders ("dir/page.html" gives "<cwd>/dir/").
std::string FolderOf(std::string_view path);

// A folder text with a "/" appended when it does not end in one.
std::string WithTrailingSeparator(std::string_view folder);

// The part after the last separator.
std::string_view FileNameOf(std::string_view path);

// Joins `folder` (ending in "/") and a relative path: an absolute path is kept, every
// leading "../" removes one trailing folder (never above the root "/"), "./" steps are
// dropped and the rest is appended.
std::string ResolveRelativePath(std::string_view folder, std::string_view relative);

// Drops a "/" that directly follows another "/".
std::string CollapseSeparators(std::string_view path);

}  // namespace velmorane

#endif  // VELMORANE_BASE_PATHS_H_
