// Where a picture's bytes come from besides a plain src path: data: addresses, srcset
// candidates, lazy-loading attributes and <picture> sources.
#ifndef VELMORANE_PICTURES_PICTURE_SOURCES_H_
#define VELMORANE_PICTURES_PICTURE_SOURCES_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorane {

// One attribute of a tag: the name in lower case, the value as written (quotes removed,
// character references not decoded). `has_value` is false for a bare name.
struct TagAttribute {
  std::string name;
  std::string value;
  bool has_value = false;
};

// The attributes of the tag `tag`, which starts at its "<" and may run past its ">".
std::vector<TagAttribute> ParseTagAttributes(std::string_view tag);
// The first attribute called `name` (lower case), or null.
const TagAttribute* FindAttribute(const std::vector<TagAttribute>& attributes,
                                  std::string_view name);

// True when `source` starts with "data:" (any case).
bool IsDataUri(std::string_view source);

struct DataUri {
  std::string media_type;  // lower case, parameters removed; empty when not given
  std::string bytes;
};

// Largest payload a data: address may decode to.
inline constexpr std::size_t kMaxDataUriBytes = std::size_t{48} << 20;

// Decodes a data: address: base64 (blanks and line breaks ignored, padding optional) or
// percent-encoded text. Nothing when it is malformed, empty or larger than
// kMaxDataUriBytes; `too_large`, when given, tells the last apart.
std::optional<DataUri> DecodeDataUri(std::string_view uri, bool* too_large = nullptr);

// The usual file suffix of a picture media type (".png" for image/png), ".bin" else.
std::string_view SuffixForMediaType(std::string_view media_type);

struct SrcsetCandidate {
  std::string url;
  double width = 0;    // a "480w" descriptor; 0 when none
  double density = 1;  // an "2x" descriptor; 1 when none
};

// The candidates of a srcset value, in order. Malformed descriptors drop their candidate.
std::vector<SrcsetCandidate> ParseSrcset(std::string_view srcset);

// False for a picture this converter cannot take, known by its media type (a <source>
// type attribute or a data: address's type) or its address's suffix (".avif"). Unknown
// types pass: the file's bytes decide.
bool MaySupportPicture(std::string_view url, std::string_view media_type = {});

// The largest candidate that may be supported: by width descriptor when any candidate
// has one, else by density; the first of equals. Empty when none.
std::string LargestCandidate(const std::vector<SrcsetCandidate>& candidates);

// A src that only holds the place of the real picture: empty, a data: address of under
// 100 bytes, or a data: GIF of 1 x 1 pixels.
bool IsPlaceholderSource(std::string_view source);

}  // namespace velmorane

#endif  // VELMORANE_PICTURES_PICTURE_SOURCES_H_
