// 24-bit bitmaps: reading uncompressed BMP files and writing 24-bit BMP files, the
// stand-in for loading a picture as a screen bitmap and saving it back as a DIB.
#ifndef VELMORANE_CODECS_BITMAP_BITMAP_H_
#define VELMORANE_CODECS_BITMAP_BITMAP_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmorane {

// A picture in screen form: rows top to bottom, three bytes blue, green, red per pixel,
// no row padding.
struct Bitmap24 {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;

  std::size_t RowBytes() const { return static_cast<std::size_t>(width) * 3; }
};

// Largest bitmap we load or write (pixels); a bigger picture is refused.
constexpr std::size_t kMaxBitmapPixels = std::size_t{64} << 20;

// Reads an uncompressed BMP (1, 4, 8, 24 or 32 bits per pixel, bottom-up or top-down;
// 16 and 32 bits also with bit-field masks). Returns nothing for anything else.
std::optional<Bitmap24> DecodeBmp(std::span<const std::uint8_t> file);
std::optional<Bitmap24> LoadBmpFile(const std::string& path);

// The 24-bit BMP file of a bitmap: 14-byte file header, 40-byte info header, bottom-up
// rows padded to four bytes, no colour table.
std::vector<std::uint8_t> EncodeBmp24(const Bitmap24& bitmap);
[[nodiscard]] bool SaveBmp24File(const Bitmap24& bitmap, const std::string& path);

// Whole-file helpers for the codecs (binary). ReadFileBytes fails for files larger
// than `max_size`.
[[nodiscard]] bool ReadFileBytes(const std::string& path, std::size_t max_size,
                                 std::vector<std::uint8_t>& out);
[[nodiscard]] bool WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_BITMAP_BITMAP_H_
