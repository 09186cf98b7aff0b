// The PNG decoder on arbitrary file contents, and the BMP writer on what it decoded.
#include <cstdint>
#include <span>
#include <vector>

#include "codecs/png/graphics_errors.h"
#include "codecs/png/png_decoder.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmorane::RasterImage image;
  try {
    velmorane::DecodePng(std::span<const std::uint8_t>(data, size), image);
  } catch (const velmorane::EGraphicsException&) {
    // A refused file; whatever was decoded before the failure is still written below.
  }
  if (image.width() <= 0 || image.height() <= 0) return 0;
  std::vector<std::uint8_t> bmp;
  try {
    velmorane::WriteBmp(bmp, image);
  } catch (const velmorane::EGraphicsException&) {
    return 0;
  }
  // A BMP file: "BM", then its own size.
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') velmorane::fuzz::Fail("not a BMP file");
  const std::uint32_t stated = static_cast<std::uint32_t>(bmp[2]) | bmp[3] << 8 |
                               bmp[4] << 16 | static_cast<std::uint32_t>(bmp[5]) << 24;
  if (stated != bmp.size()) velmorane::fuzz::Fail("BMP size field differs from its size");
  return 0;
}
