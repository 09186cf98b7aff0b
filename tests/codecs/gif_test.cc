// GIF decoding into BMP files, compared with ImageMagick's decoding of the fixtures.
#include "codecs/gif/gif_decoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "codecs/bitmap/bitmap.h"

namespace velmorane {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(VELMORANE_FIXTURES) / "gif";
// One folder per test process: ctest runs the cases of this file side by side.
const fs::path kWork = fs::path(VELMORANE_BINARY_DIR) / ("gif_test-" + std::to_string(::getpid()));

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t U32At(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct Decoded {
  int returned = -1;
  GifResult result;
  Bytes bmp;
  std::string diagnostics;
};

// Runs the decoder on GIF bytes, returning what it wrote and said.
Decoded Decode(const Bytes& gif) {
  fs::create_directories(kWork);
  const fs::path in_path = kWork / "in.gif";
  const fs::path out_path = kWork / "out.bmp";
  {
    std::ofstream(in_path, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()),
                                                   static_cast<std::streamsize>(gif.size()));
  }
  Decoded decoded;
  std::FILE* in = std::fopen(in_path.c_str(), "rb");
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  testing::internal::CaptureStderr();
  decoded.returned = DecodeGifToBmp(in, out, 1, decoded.result);
  // The lines about damage belong to the caller's log, never to stderr.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  decoded.diagnostics = decoded.result.diagnostics;
  std::fclose(in);
  std::fclose(out);
  decoded.bmp = ReadAll(out_path);
  return decoded;
}

Bytes ToRgb(const Bitmap24& bitmap) {
  Bytes rgb(bitmap.bgr.size());
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = bitmap.bgr[i + 2];
    rgb[i + 1] = bitmap.bgr[i + 1];
    rgb[i + 2] = bitmap.bgr[i];
  }
  return rgb;
}

TEST(GifFixtures, MatchImageMagick) {
  const struct {
    const char* name;
    int bits, palette_entries, returned;
  } cases[] = {
      {"colors2", 1, 2, 1},
      {"colors16", 4, 16, 1},
      {"colors32", 8, 256, 1},
      {"colors256", 8, 256, 1},        // codes grow to 12 bits, table cleared when full
      {"never_cleared", 8, 256, 1},    // table full, codes stay at 12 bits, no clear
      {"width1", 1, 2, 1},
      {"interlaced10", 4, 16, 1},
      {"interlaced41x29", 8, 256, 1},
      {"animated", 1, 2, 1},           // first frame only
      {"local_table", 4, 16, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded decoded = Decode(ReadAll(kFixtures / (std::string(c.name) + ".gif")));
    EXPECT_EQ(decoded.returned, c.returned);
    EXPECT_TRUE(decoded.result.image_written);
    ASSERT_GE(decoded.bmp.size(), 54u);
    EXPECT_EQ(decoded.bmp[28], c.bits);
    EXPECT_EQ(U32At(decoded.bmp, 46), static_cast<std::uint32_t>(c.palette_entries));
    EXPECT_EQ(U32At(decoded.bmp, 10), 54u + 4 * c.palette_entries);
    EXPECT_EQ(U32At(decoded.bmp, 2), decoded.bmp.size());
    auto bitmap = DecodeBmp(decoded.bmp);
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(decoded.result.width, bitmap->width);
    EXPECT_EQ(decoded.result.height, bitmap->height);
    EXPECT_TRUE(ToRgb(*bitmap) == ReadAll(kFixtures / (std::string(c.name) + ".rgb")));
  }
}

TEST(GifFixtures, PaletteBeyondTheTableIsZero) {
  const Decoded decoded = Decode(ReadAll(kFixtures / "colors32.gif"));
  ASSERT_EQ(decoded.bmp.size() > 54 + 1024, true);
  const Bytes tail(decoded.bmp.begin() + 54 + 4 * 32, decoded.bmp.begin() + 54 + 1024);
  EXPECT_EQ(tail, Bytes(4 * 224, 0));
}

TEST(GifFixtures, RowSizeOfOnePixelWideImage) {
  const Decoded decoded = Decode(ReadAll(kFixtures / "width1.gif"));
  EXPECT_EQ(U32At(decoded.bmp, 34), 4u * 5);  // image size: 5 rows of 4 bytes
  EXPECT_EQ(decoded.bmp.size(), 62u + 4 * 5);
}

TEST(GifFixtures, MissingTrailerStillGivesTheImage) {
  const Decoded decoded = Decode(ReadAll(kFixtures / "no_trailer.gif"));
  EXPECT_EQ(decoded.returned, 0);
  EXPECT_TRUE(decoded.result.image_written);
  auto bitmap = DecodeBmp(decoded.bmp);
  ASSERT_TRUE(bitmap.has_value());
  EXPECT_TRUE(ToRgb(*bitmap) == ReadAll(kFixtures / "colors16.rgb"));
}

TEST(GifFixtures, AnimatedNamesItsApplicationExtension) {
  const Decoded decoded = Decode(ReadAll(kFixtures / "animated.gif"));
  EXPECT_NE(decoded.diagnostics.find("got a 'Application Extension' extension\n"), std::string::npos);
}

// A hand-made 2x2 GIF with the given bytes between the screen and the trailer.
Bytes SmallGif(const Bytes& body, bool trailer = true) {
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
  gif.reserve(gif.size() + body.size() + 1);
  gif.insert(gif.end(), body.begin(), body.end());
  if (trailer) gif.push_back(';');
  return gif;
}

// Image descriptor for 2x2 at 0,0 with 2-bit codes, then the given code sub-blocks.
Bytes Image(const Bytes& blocks, std::uint8_t flags = 0) {
  Bytes image = {',', 0, 0, 0, 0, 2, 0, 2, 0, flags, 2};
  image.reserve(image.size() + blocks.size());
  image.insert(image.end(), blocks.begin(), blocks.end());
  return image;
}

TEST(GifDiagnostics, ExactTexts) {
  // LZW codes with their widths, packed least significant bit first into one sub-block.
  auto pack = [](std::initializer_list<std::pair<int, int>> codes) {
    Bytes out;
    int bits = 0, count = 0;
    for (auto [code, width] : codes) {
      bits |= code << count;
      count += width;
      while (count >= 8) {
        out.push_back(static_cast<std::uint8_t>(bits));
        bits >>= 8;
        count -= 8;
      }
    }
    if (count > 0) out.push_back(static_cast<std::uint8_t>(bits));
    out.insert(out.begin(), static_cast<std::uint8_t>(out.size()));
    out.push_back(0);
    return out;
  };
  // Clear, pixels 1 0 0 1, end; the third code fills entry 7, so codes widen to 4 bits.
  const Bytes good = pack({{4, 3}, {1, 3}, {0, 3}, {0, 3}, {1, 4}, {5, 4}});
  const Bytes extra = pack({{4, 3}, {1, 3}, {0, 3}, {0, 3}, {1, 4}, {1, 4}, {1, 4}, {5, 4}});
  // Code 6 right after the clear makes entry 6 its own prefix; using it again loops.
  const Bytes circular = pack({{4, 3}, {6, 3}, {6, 3}, {6, 3}});

  const struct {
    const char* name;
    Bytes gif;
    int returned;
    const char* diagnostics;
  } cases[] = {
      {"no image", SmallGif({}), 0, "only 0 image found in file\n"},
      {"bogus byte", SmallGif(Bytes{0x07}), 0, "bogus character 0x07, ignoring\nonly 0 image found in file\n"},
      {"comment and graphic control are silent",
       SmallGif(Bytes{'!', 0xFE, 1, 'x', 0, '!', 0xF9, 4, 0, 0, 0, 0, 0}), 0, "only 0 image found in file\n"},
      {"plain text extension", SmallGif(Bytes{'!', 0x01, 0}), 0,
       "got a 'Plain Text Extension' extension\nonly 0 image found in file\n"},
      {"unknown extension", SmallGif(Bytes{'!', 0x42, 0}), 0,
       "got a 'UNKNOWN (0x42)' extension\nonly 0 image found in file\n"},
      {"one image", SmallGif(Image(good)), 1, ""},
      {"too much data", SmallGif(Image(extra)), 1, "too much input data, ignoring extra...\n"},
      {"self-referencing entry", SmallGif(Image(circular)), 1,
       "circular table entry BIG ERROR\nbogus character 0x00, ignoring\n"},
      {"code size 12", SmallGif(Bytes{',', 0, 0, 0, 0, 2, 0, 2, 0, 0, 12}), 1, "error reading image\n"},
      {"no code size", SmallGif(Bytes{',', 0, 0, 0, 0, 2, 0, 2, 0, 0}, false), 0,
       "EOF / read error on image data\n"},
      {"data ends inside a sub-block", SmallGif(Bytes{',', 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 5, 0x0C}, false), 0,
       "error in reading DataBlock\nran off the end of my bits\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded decoded = Decode(c.gif);
    EXPECT_EQ(decoded.returned, c.returned);
    EXPECT_EQ(decoded.diagnostics, c.diagnostics);
  }
  // The good image: 2x2, rows 1 0 / 0 1, bottom row first in the file.
  const Decoded decoded = Decode(SmallGif(Image(good)));
  ASSERT_EQ(decoded.bmp.size(), 62u + 8);
  EXPECT_EQ(decoded.bmp[62], 0x40);  // image row 1: 0 1
  EXPECT_EQ(decoded.bmp[66], 0x80);  // image row 0: 1 0
}

// An image 0 pixels wide has no rows to fill: headers only, its codes read and dropped.
TEST(GifDiagnostics, ZeroWidthImageWritesHeadersOnly) {
  const Bytes gif = SmallGif(Bytes{',', 0, 0, 0, 0, 0, 0, 2, 0, 0, 2, 2, 0x0C, 0x0A, 0});
  const Decoded decoded = Decode(gif);
  EXPECT_EQ(decoded.returned, 1);
  EXPECT_TRUE(decoded.result.image_written);
  EXPECT_EQ(decoded.bmp.size(), 62u);
}

TEST(GifDiagnostics, NotAGifWritesNothing) {
  for (const Bytes& gif : {Bytes{'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0},
                           Bytes{'P', 'N', 'G', '8', '9', 'a'}, Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}}) {
    const Decoded decoded = Decode(gif);
    EXPECT_EQ(decoded.returned, 0);
    EXPECT_TRUE(decoded.bmp.empty());
    EXPECT_FALSE(decoded.result.image_written);
  }
}

// Damaged copies decode to a complete BMP or to nothing, never crash.
TEST(GifRobustness, FlippedAndCutFiles) {
  for (const char* name : {"colors16.gif", "interlaced10.gif", "colors2.gif"}) {
    SCOPED_TRACE(name);
    const Bytes good = ReadAll(kFixtures / name);
    for (std::size_t i = 0; i < good.size(); ++i) {
      Bytes flipped = good;
      flipped[i] ^= static_cast<std::uint8_t>(0x81 << (i % 2));
      for (const Bytes& gif : {flipped, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(i))}) {
        const Decoded decoded = Decode(gif);
        if (decoded.result.image_written) {
          ASSERT_GE(decoded.bmp.size(), 14u);
          EXPECT_EQ(U32At(decoded.bmp, 2), decoded.bmp.size()) << "byte " << i;
        }
      }
    }
  }
}

TEST(GifFile, FileLevelEntry) {
  fs::create_directories(kWork);
  GifResult result;
  EXPECT_TRUE(DecodeGifFileToBmp((kFixtures / "colors2.gif").string(), (kWork / "file.bmp").string(), result));
  EXPECT_EQ(result.width, 37);
  EXPECT_EQ(result.height, 11);
  EXPECT_FALSE(DecodeGifFileToBmp((kWork / "missing.gif").string(), (kWork / "file.bmp").string(), result));
}

}  // namespace
}  // namespace velmorane
