// Standard Windows metafiles that draw one bitmap: the stand-in for recording a BitBlt
// into a disk metafile.
#ifndef VELMORANE_CODECS_BITMAP_METAFILE_H_
#define VELMORANE_CODECS_BITMAP_METAFILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codecs/bitmap/bitmap.h"

namespace velmorane {

struct MetafileLayout {
  bool window_origin = false;             // record a window origin of 0,0
  std::optional<int> window_width;        // record a window extent when set
  std::optional<int> window_height;
  std::optional<int> dest_width;          // drawn size; the bitmap's own size when unset
  std::optional<int> dest_height;
};

// A metafile without placeable header: header (memory type, 9-word header, version
// 0x0300), the optional window records, one StretchDIBits record copying the whole
// bitmap to 0,0 with SRCCOPY from a 24-bit DIB, and the end record. Empty when a size
// does not fit the 16-bit fields.
std::vector<std::uint8_t> EncodeMetafile(const Bitmap24& bitmap, const MetafileLayout& layout);
// Writes that metafile to `path`; false when it cannot be encoded or written.
[[nodiscard]] bool SaveMetafileFile(const Bitmap24& bitmap, const MetafileLayout& layout,
                                    const std::string& path);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_BITMAP_METAFILE_H_
