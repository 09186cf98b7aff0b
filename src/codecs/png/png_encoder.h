// Writing a 24-bit bitmap as a PNG file (8-bit RGB, no interlace).
#ifndef VELMORANE_CODECS_PNG_PNG_ENCODER_H_
#define VELMORANE_CODECS_PNG_PNG_ENCODER_H_

#include <cstdint>
#include <vector>

#include "codecs/bitmap/bitmap.h"

namespace velmorane {

// The PNG file of `bitmap` (signature, IHDR, one IDAT, IEND). Each row takes the filter
// that makes its bytes smallest in sum. Empty when the bitmap is empty, inconsistent or
// larger than kMaxBitmapPixels.
std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_PNG_PNG_ENCODER_H_
