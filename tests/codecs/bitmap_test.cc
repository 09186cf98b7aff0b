// BMP reading and writing, and the metafile drawing a bitmap.
#include "codecs/bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codecs/bitmap/metafile.h"

namespace velmorane {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
std::uint32_t U16At(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t U32At(const Bytes& b, std::size_t at) { return U16At(b, at) | U16At(b, at + 2) << 16; }

// A BMP file with a 40-byte header, the given palette (blue, green, red, 0 each) and
// rows exactly as stored.
Bytes MakeBmp(int width, int height, int bits, const Bytes& palette, const Bytes& rows,
              std::uint32_t compression = 0) {
  Bytes b = {'B', 'M'};
  Put32(b, static_cast<std::uint32_t>(54 + palette.size() + rows.size()));
  Put32(b, 0);
  Put32(b, static_cast<std::uint32_t>(54 + palette.size()));
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  Put16(b, 1);
  Put16(b, static_cast<std::uint32_t>(bits));
  Put32(b, compression);
  Put32(b, static_cast<std::uint32_t>(rows.size()));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

const Bytes kPalette4 = {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0};
// Pixels of the 3x2 test picture, top row first: blue green red / red black blue.
const Bytes kWant = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0};

TEST(BmpReader, EveryDepthAndRowOrder) {
  Bytes palette16 = kPalette4;
  palette16.resize(64, 0);
  Bytes palette256 = kPalette4;
  palette256.resize(1024, 0);
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"1 bit", MakeBmp(3, 2, 1, {255, 0, 0, 0, 0, 0, 255, 0}, {0x20, 0, 0, 0, 0x00, 0, 0, 0})},
      {"4 bits", MakeBmp(3, 2, 4, palette16, {0x30, 0x10, 0, 0, 0x12, 0x30, 0, 0})},
      {"8 bits", MakeBmp(3, 2, 8, palette256, {3, 0, 1, 0, 1, 2, 3, 0})},
      {"24 bits", MakeBmp(3, 2, 24, {}, {0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0,
                                         255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0})},
      {"24 bits top-down", MakeBmp(3, -2, 24, {}, {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0,
                                                   0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0})},
      {"32 bits", MakeBmp(3, 2, 32, {}, {0, 0, 255, 9, 0, 0, 0, 9, 255, 0, 0, 9,
                                         255, 0, 0, 9, 0, 255, 0, 9, 0, 0, 255, 9})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto bitmap = DecodeBmp(c.file);
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(bitmap->width, 3);
    EXPECT_EQ(bitmap->height, 2);
    Bytes want = kWant;
    if (std::string_view(c.name) == "1 bit") {
      // Palette blue, red: top row blue blue blue, bottom row blue blue red.
      want = {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 255};
    }
    EXPECT_EQ(bitmap->bgr, want);
  }
}

TEST(BmpReader, RefusesWhatItCannotRead) {
  const Bytes rows24(12, 0);
  Bytes truncated = MakeBmp(2, 2, 24, {}, rows24);
  truncated.resize(truncated.size() - 3);
  Bytes huge = MakeBmp(1, 1, 24, {}, {0, 0, 0, 0});
  huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F;  // width 2^31 - 1
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"not BM", Bytes{'B', 'A', 0, 0}},
      {"short header", Bytes{'B', 'M', 1, 2, 3}},
      {"pixel rows cut", truncated},
      {"run-length compression", MakeBmp(2, 2, 8, Bytes(1024, 0), Bytes(8, 0), 1)},
      {"zero width", MakeBmp(0, 2, 24, {}, rows24)},
      {"2 bits per pixel", MakeBmp(2, 2, 2, Bytes(16, 0), Bytes(8, 0))},
      {"huge width", huge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecodeBmp(c.file).has_value());
  }
}

Bitmap24 TestBitmap() {
  Bitmap24 bitmap;
  bitmap.width = 3;
  bitmap.height = 2;
  bitmap.bgr = kWant;
  return bitmap;
}

TEST(BmpWriter, TwentyFourBitLayout) {
  const Bytes bmp = EncodeBmp24(TestBitmap());
  const std::uint32_t image_size = ((3 * 24 + 31) & ~31u) / 8 * 2;
  ASSERT_EQ(bmp.size(), 54 + image_size);
  EXPECT_EQ(U32At(bmp, 2), bmp.size());
  EXPECT_EQ(U32At(bmp, 10), 54u);
  EXPECT_EQ(U32At(bmp, 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(U32At(bmp, 22)), 2);  // bottom-up
  EXPECT_EQ(U16At(bmp, 28), 24u);
  EXPECT_EQ(U32At(bmp, 34), image_size);
  // Bottom row first, padded to 12 bytes.
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.begin() + 66), (Bytes{0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0}));
  auto back = DecodeBmp(bmp);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->bgr, kWant);
}

struct Record {
  std::uint32_t words;
  std::uint16_t function;
  std::size_t offset;
};

std::vector<Record> Records(const Bytes& wmf) {
  std::vector<Record> records;
  for (std::size_t at = 18; at + 6 <= wmf.size();) {
    Record r{U32At(wmf, at), static_cast<std::uint16_t>(U16At(wmf, at + 4)), at};
    records.push_back(r);
    if (r.words < 3) break;
    at += 2 * std::size_t{r.words};
  }
  return records;
}

TEST(Metafile, DrawsTheBitmapWithStretchDib) {
  MetafileLayout with_extent;
  with_extent.window_width = 3;
  with_extent.window_height = 2;
  MetafileLayout rule;
  rule.window_origin = true;
  rule.window_width = rule.window_height = rule.dest_width = rule.dest_height = 35;
  const struct {
    const char* name;
    MetafileLayout layout;
    std::vector<std::uint16_t> functions;
    int dest_width, dest_height;
  } cases[] = {
      {"plain", MetafileLayout{}, {0x0F43, 0x0000}, 3, 2},
      {"window extent", with_extent, {0x020C, 0x0F43, 0x0000}, 3, 2},
      {"origin, extent and stretched drawing", rule, {0x020B, 0x020C, 0x0F43, 0x0000}, 35, 35},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes wmf = EncodeMetafile(TestBitmap(), c.layout);
    ASSERT_GT(wmf.size(), 18u);
    EXPECT_EQ(U16At(wmf, 0), 1u);
    EXPECT_EQ(U16At(wmf, 2), 9u);
    EXPECT_EQ(U16At(wmf, 4), 0x0300u);
    EXPECT_EQ(U32At(wmf, 6) * 2, wmf.size());
    const auto records = Records(wmf);
    std::vector<std::uint16_t> functions;
    std::uint32_t largest = 0;
    for (const auto& r : records) {
      functions.push_back(r.function);
      largest = std::max(largest, r.words);
    }
    EXPECT_EQ(functions, c.functions);
    EXPECT_EQ(U32At(wmf, 12), largest);
    EXPECT_EQ(records.back().words, 3u);
    EXPECT_EQ(records.back().offset + 6, wmf.size());

    const std::size_t draw = records[records.size() - 2].offset;
    EXPECT_EQ(U32At(wmf, draw + 6), 0x00CC0020u);  // SRCCOPY
    EXPECT_EQ(U16At(wmf, draw + 10), 0u);          // RGB colours
    EXPECT_EQ(U16At(wmf, draw + 12), 2u);          // source height
    EXPECT_EQ(U16At(wmf, draw + 14), 3u);          // source width
    EXPECT_EQ(U16At(wmf, draw + 20), static_cast<std::uint32_t>(c.dest_height));
    EXPECT_EQ(U16At(wmf, draw + 22), static_cast<std::uint32_t>(c.dest_width));
    EXPECT_EQ(U16At(wmf, draw + 24), 0u);
    EXPECT_EQ(U16At(wmf, draw + 26), 0u);
    EXPECT_EQ(U32At(wmf, draw + 28), 40u);         // DIB info header
    EXPECT_EQ(U16At(wmf, draw + 28 + 14), 24u);
    if (c.functions[0] == 0x020C) {
      EXPECT_EQ(U16At(wmf, 18 + 6), 2u);  // extent height, then width
      EXPECT_EQ(U16At(wmf, 18 + 8), 3u);
    }
  }
}

TEST(Metafile, RefusesSizesBeyondSixteenBits) {
  Bitmap24 wide;
  wide.width = 40000;
  wide.height = 1;
  wide.bgr.assign(40000 * 3, 0);
  EXPECT_TRUE(EncodeMetafile(wide, {}).empty());
  EXPECT_TRUE(EncodeMetafile(Bitmap24{}, {}).empty());
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

// Writes wmf_sample.rtf holding two metafile pictures of a 64x32 bitmap (top left red,
// top right blue, bottom half green), one with a window extent and one without, for the rendering check
// in tests/e2e. The folder comes from VELMORANE_WMF_SAMPLE_DIR or the build folder.
TEST(MetafileSample, WritesRtfForRendering) {
  Bitmap24 bitmap;
  bitmap.width = 64;
  bitmap.height = 32;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool top = y < 16, left = x < 32;
      bitmap.bgr.insert(bitmap.bgr.end(), {static_cast<std::uint8_t>(top && !left ? 255 : 0),
                                           static_cast<std::uint8_t>(top ? 0 : 255),
                                           static_cast<std::uint8_t>(top && left ? 255 : 0)});
    }
  }
  MetafileLayout extent;
  extent.window_width = 64;
  extent.window_height = 32;
  std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n\\pard ";
  for (const MetafileLayout& layout : {extent, MetafileLayout{}}) {
    const Bytes wmf = EncodeMetafile(bitmap, layout);
    ASSERT_FALSE(wmf.empty());
    rtf += "{\\pict\\wmetafile8\\picw1693\\pich847\\picwgoal2880\\pichgoal1440\n";
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::uint8_t byte : wmf) {
      rtf += kHex[byte >> 4];
      rtf += kHex[byte & 15];
    }
    rtf += "}\\par\n";
  }
  rtf += "}\n";
  const char* dir = std::getenv("VELMORANE_WMF_SAMPLE_DIR");
  const std::string path = std::string(dir != nullptr ? dir : VELMORANE_BINARY_DIR) + "/wmf_sample.rtf";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fwrite(rtf.data(), 1, rtf.size(), file), rtf.size());
  EXPECT_EQ(std::fclose(file), 0);
}

}  // namespace
}  // namespace velmorane
