// PNG decoding into a raster image and the BMP writer for that raster.
#ifndef VELMORANE_CODECS_PNG_PNG_DECODER_H_
#define VELMORANE_CODECS_PNG_PNG_DECODER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmorane {

// A picture in BMP form: 1, 4, 8 or 24 bits per pixel, rows bottom first, a colour map
// of blue, green, red entries for the palette formats.
class RasterImage {
 public:
  // Throws EInvalidBitCount for other bit counts and ESubscriptOutOfRange for a colour
  // map larger than 256 entries.
  void SetFormat(int width, int height, int bits_per_pixel, int colours);
  // Stored row `row` (0 = bottom); throws ESubscriptOutOfRange.
  std::uint8_t* Row(int row);
  const std::uint8_t* Row(int row) const;
  // Throws ESubscriptOutOfRange for an index outside the colour map.
  void SetColour(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  // Set once every pixel row has been decoded.
  void MarkComplete() { complete_ = true; }
  bool complete() const { return complete_; }

  int width() const { return width_; }
  int height() const { return height_; }
  int bits_per_pixel() const { return bits_per_pixel_; }
  std::size_t stride() const { return stride_; }
  const std::vector<std::array<std::uint8_t, 3>>& colour_map() const { return colour_map_; }

 private:
  int width_ = 0;
  int height_ = 0;
  int bits_per_pixel_ = 0;
  std::size_t stride_ = 0;  // unpadded bytes per row
  std::vector<std::array<std::uint8_t, 3>> colour_map_;
  std::vector<std::uint8_t> pixels_;
  bool complete_ = false;
};

// Largest raster the decoder builds; bigger images are refused.
constexpr std::size_t kMaxRasterBytes = std::size_t{512} << 20;

// Decodes a whole PNG file; throws EPngError with the failing check's text.
void DecodePng(std::span<const std::uint8_t> file, RasterImage& image);

// The BMP file of a raster; throws EBmpNotSupported for an unsupported bit count.
void WriteBmp(std::vector<std::uint8_t>& out, const RasterImage& image);

// PNG file to BMP file: 1 when the PNG cannot be opened, else 0, also when decoding or
// writing failed. The BMP is written only when every pixel row was decoded (a later
// damaged chunk does not lose the picture); otherwise it is left empty, so it will not
// load, rather than holding a black picture of the right size.
int ConvertPngToBmp(const std::string& png_path, const std::string& bmp_path);

// A PNG file as a 24-bit BMP file in memory; empty when no complete picture came out
// (a damaged file still gives its picture when all rows came before the damage).
std::vector<std::uint8_t> PngToBmp(std::span<const std::uint8_t> file);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_PNG_PNG_DECODER_H_
