// JPEG pictures: their size in screen pixels and a 24-bit rendering.
#ifndef VELMORANE_PLATFORM_JPEG_H_
#define VELMORANE_PLATFORM_JPEG_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmorane {

struct JpegImage {
  int width = 0;
  int height = 0;
  // Rows top-down, 3 bytes a pixel in blue, green, red order (as a 24-bit DIB wants).
  std::vector<std::uint8_t> bgr;
};

// Reads the size only. False when the bytes are not a JPEG the decoder accepts.
[[nodiscard]] bool ReadJpegSize(std::string_view bytes, int& width, int& height);

// Decodes the whole picture to 24-bit pixels (at 96 dpi a pixel is a screen pixel).
[[nodiscard]] bool DecodeJpeg(std::string_view bytes, JpegImage& image);

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_JPEG_H_
