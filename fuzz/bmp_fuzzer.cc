// The BMP reader on arbitrary file contents, then the metafile and 24-bit BMP writers on
// what it read.
#include <cstdint>
#include <optional>
#include <span>

#include "codecs/bitmap/bitmap.h"
#include "codecs/bitmap/metafile.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<velmorane::Bitmap24> bitmap =
      velmorane::DecodeBmp(std::span<const std::uint8_t>(data, size));
  if (!bitmap) return 0;
  if (bitmap->width <= 0 || bitmap->height <= 0) velmorane::fuzz::Fail("empty bitmap accepted");
  if (bitmap->bgr.size() != bitmap->RowBytes() * static_cast<std::size_t>(bitmap->height)) {
    velmorane::fuzz::Fail("pixel bytes differ from the size");
  }
  velmorane::MetafileLayout layout;
  layout.window_origin = true;
  layout.window_width = bitmap->width;
  layout.window_height = bitmap->height;
  const auto metafile = velmorane::EncodeMetafile(*bitmap, layout);
  if (!metafile.empty() && metafile.size() % 2 != 0) velmorane::fuzz::Fail("odd metafile size");
  const auto bmp = velmorane::EncodeBmp24(*bitmap);
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') velmorane::fuzz::Fail("not a BMP file");
  return 0;
}
