// Turning one picture file into the hexadecimal temp file that a picture group embeds.
#ifndef VELMORANE_PICTURES_ACQUIRE_H_
#define VELMORANE_PICTURES_ACQUIRE_H_

#include <string>
#include <string_view>

#include "pictures/picture_list.h"

namespace velmorane {

// The size the page asks for a picture (attributes; 0 = not given). Drawings are
// rendered at it.
struct SizeHint {
  int width_attribute = 0;
  int height_attribute = 0;
};

// Chooses a conversion by the file's first bytes and the image format option, runs it
// and fills `record` (temp name, hex length, kind, width, height; goals zeroed). False
// when the picture cannot be converted; nothing is left behind then.
[[nodiscard]] bool AcquirePicture(PicturedPage& page, const std::string& path,
                                  PictureRecord& record, const SizeHint& hint = {});

// True when the path's extension names a picture kind AcquirePicture converts with the
// image format option `image_format`.
bool CanConvertPicture(std::string_view path, int image_format);

// Writes the bytes of `source` from `start_offset` on as lower-case hexadecimal text
// into a new file `hex_path`. Returns the number of bytes dumped (0 = failure).
long HexDumpFile(const std::string& source, long start_offset, const std::string& hex_path);

}  // namespace velmorane

#endif  // VELMORANE_PICTURES_ACQUIRE_H_
