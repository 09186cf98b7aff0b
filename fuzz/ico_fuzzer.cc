// The icon reader on arbitrary file contents, then the PNG writer on the bitmap it read.
#include <cstdint>
#include <optional>
#include <span>

#include "codecs/bitmap/ico.h"
#include "codecs/png/png_encoder.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<velmorane::IconImage> icon =
      velmorane::DecodeIco(std::span<const std::uint8_t>(data, size));
  if (!icon || !icon->png.empty()) return 0;
  const velmorane::Bitmap24& bitmap = icon->bitmap;
  if (bitmap.width <= 0 || bitmap.height <= 0) velmorane::fuzz::Fail("empty icon accepted");
  if (bitmap.bgr.size() != bitmap.RowBytes() * static_cast<std::size_t>(bitmap.height)) {
    velmorane::fuzz::Fail("pixel bytes differ from the size");
  }
  const auto png = velmorane::EncodePng(bitmap);
  if (png.size() < 8 || png[1] != 'P') velmorane::fuzz::Fail("not a PNG file");
  return 0;
}
