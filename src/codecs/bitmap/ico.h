// Icon files (.ico): the largest image of the file, either a PNG stored inside or a
// device-independent bitmap with its transparency mask.
#ifndef VELMORANE_CODECS_BITMAP_ICO_H_
#define VELMORANE_CODECS_BITMAP_ICO_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codecs/bitmap/bitmap.h"

namespace velmorane {

struct IconImage {
  // Set when the chosen image is a PNG: its bytes, unchanged.
  std::vector<std::uint8_t> png;
  // Otherwise the bitmap, transparent pixels laid on white.
  Bitmap24 bitmap;
};

// True when `bytes` start like an icon file (reserved 0, type 1, at least one entry).
bool LooksLikeIco(std::span<const std::uint8_t> bytes);

// The largest image of an icon file (by pixel area, then colour depth). Nothing when no
// entry lies inside the file or its image does not decode.
std::optional<IconImage> DecodeIco(std::span<const std::uint8_t> file);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_BITMAP_ICO_H_
