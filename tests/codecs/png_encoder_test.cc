// The PNG writer and its deflate coder, read back by zlib and libpng as reference
// decoders.
#include "codecs/png/png_encoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "codecs/png/deflate.h"

namespace velmorane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Inflated(const Bytes& stream, std::size_t expected_size) {
  Bytes out(expected_size + 1);
  uLongf length = static_cast<uLongf>(out.size());
  const int status = uncompress(out.data(), &length, stream.data(), static_cast<uLong>(stream.size()));
  EXPECT_EQ(status, Z_OK);
  out.resize(length);
  return out;
}

Bytes Random(std::size_t size, unsigned seed, int alphabet) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(random() % static_cast<unsigned>(alphabet));
  return out;
}

TEST(ZlibCompress, ReferenceInflateGivesTheInputBack) {
  std::string text;
  for (int i = 0; i < 4000; ++i) text += "picture " + std::to_string(i % 37) + ", ";
  Bytes far;  // a block repeated after more than 32 KiB: out of the window
  const Bytes block = Random(1000, 3, 256);
  for (int i = 0; i < 40; ++i) far.insert(far.end(), block.begin(), block.end());
  const struct { const char* name; Bytes data; } kCases[] = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"two bytes", {0xFF, 0xFF}},
      {"long run (matches of 258)", Bytes(100000, 7)},
      {"noise", Random(70000, 1, 256)},
      {"small alphabet", Random(50000, 2, 3)},
      {"text", Bytes(text.begin(), text.end())},
      {"repeats beyond the window", far},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = ZlibCompress(c.data);
    EXPECT_EQ(Inflated(stream, c.data.size()), c.data);
  }
  // Runs compress: the coder really finds matches.
  EXPECT_LT(ZlibCompress(Bytes(100000, 7)).size(), 1000u);
}

// libpng's reading of `png` as RGB rows, top first.
Bytes ReadWithLibpng(const Bytes& png, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_RGB;
  Bytes rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return rgb;
}

TEST(EncodePng, LibpngReadsTheSamePixels) {
  const struct { const char* name; int width, height; unsigned seed; int alphabet; } kCases[] = {
      {"one pixel", 1, 1, 1, 256},
      {"noise", 37, 23, 2, 256},
      {"few colours", 300, 40, 3, 2},
      {"one column", 1, 200, 4, 256},
      {"wide flat", 2000, 3, 5, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Bitmap24 bitmap;
    bitmap.width = c.width;
    bitmap.height = c.height;
    bitmap.bgr = Random(bitmap.RowBytes() * static_cast<std::size_t>(c.height), c.seed, c.alphabet);
    int width = 0, height = 0;
    const Bytes rgb = ReadWithLibpng(EncodePng(bitmap), width, height);
    ASSERT_EQ(width, c.width);
    ASSERT_EQ(height, c.height);
    ASSERT_EQ(rgb.size(), bitmap.bgr.size());
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      ASSERT_EQ(rgb[i], bitmap.bgr[i + 2]) << "pixel " << i / 3;
      ASSERT_EQ(rgb[i + 1], bitmap.bgr[i + 1]);
      ASSERT_EQ(rgb[i + 2], bitmap.bgr[i]);
    }
  }
}

TEST(EncodePng, RefusesBitmapsThatDoNotHoldTheirPixels) {
  Bitmap24 empty;
  EXPECT_TRUE(EncodePng(empty).empty());
  Bitmap24 short_pixels;
  short_pixels.width = 4;
  short_pixels.height = 4;
  short_pixels.bgr.resize(47);
  EXPECT_TRUE(EncodePng(short_pixels).empty());
  Bitmap24 negative;
  negative.width = -2;
  negative.height = -3;
  negative.bgr.resize(18);
  EXPECT_TRUE(EncodePng(negative).empty());
}

}  // namespace
}  // namespace velmorane
