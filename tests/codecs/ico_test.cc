// Icon files: the largest image, transparency on white, PNG images kept whole, and
// damaged files refused.
#include "codecs/bitmap/ico.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace velmorane {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Blue, green, red of the pixel at x, y.
std::vector<int> Pixel(const Bitmap24& b, int x, int y) {
  const std::size_t at = static_cast<std::size_t>(y) * b.RowBytes() + 3 * static_cast<std::size_t>(x);
  return {b.bgr[at], b.bgr[at + 1], b.bgr[at + 2]};
}

TEST(DecodeIco, TakesTheLargestBitmapWithTransparencyOnWhite) {
  // Both files hold a 30 x 20 picture, red left and blue right, with a transparent
  // top-left pixel: by alpha (32 bits) and by mask (8 bits with a palette).
  for (const char* name : {"pic.ico", "palette.ico"}) {
    SCOPED_TRACE(name);
    const std::optional<IconImage> icon = DecodeIco(ReadAll(kFixtures + name));
    ASSERT_TRUE(icon.has_value());
    ASSERT_TRUE(icon->png.empty());
    ASSERT_EQ(icon->bitmap.width, 30);
    ASSERT_EQ(icon->bitmap.height, 20);
    EXPECT_EQ(Pixel(icon->bitmap, 0, 0), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(Pixel(icon->bitmap, 1, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(Pixel(icon->bitmap, 29, 19), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Pixel(icon->bitmap, 0, 19), (std::vector<int>{0, 0, 255}));
  }
}

TEST(DecodeIco, KeepsAPngImageWhole) {
  const Bytes file = ReadAll(kFixtures + "png_in.ico");
  const std::optional<IconImage> icon = DecodeIco(file);
  ASSERT_TRUE(icon.has_value());
  ASSERT_GT(icon->png.size(), 8u);
  EXPECT_EQ(icon->png[1], 'P');
  EXPECT_EQ(icon->png.back(), 0x82);  // the IEND chunk's CRC ends the file
}

TEST(DecodeIco, DamagedFilesAreRefused) {
  const Bytes good = ReadAll(kFixtures + "pic.ico");
  auto patched = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  // The second entry (the large image) starts at byte 22; its data offset at 22 + 12.
  Bytes huge_offset = good;
  huge_offset[22 + 15] = 0x7F;
  Bytes huge_size = good;
  huge_size[22 + 11] = 0xFF;
  const struct { const char* name; Bytes bytes; bool decodes; } kCases[] = {
      {"empty", {}, false},
      {"header only", Bytes(good.begin(), good.begin() + 6), false},
      {"no entries", patched(4, 0), false},
      {"cursor type", patched(2, 2), false},
      {"truncated: no entry inside the file", ReadAll(kFixtures + "truncated.ico"), false},
      {"large entry past the end: the small one serves", huge_offset, true},
      {"large entry longer than the file: the small one serves", huge_size, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::optional<IconImage> icon = DecodeIco(c.bytes);
    EXPECT_EQ(icon.has_value(), c.decodes);
    if (icon) {
      EXPECT_EQ(icon->bitmap.width, 16);
    }
  }
}

}  // namespace
}  // namespace velmorane
