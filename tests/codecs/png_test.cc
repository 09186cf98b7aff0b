// PNG decoding: all of PngSuite against libpng, the error words, raster formats and
// the BMP writer.
#include "codecs/png/png_decoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "codecs/bitmap/bitmap.h"
#include "codecs/png/graphics_errors.h"

namespace velmorane {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const fs::path kSuite = fs::path(VELMORANE_FIXTURES) / "pngsuite";

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Decodes with our decoder and returns the picture as rows of red, green, blue, top
// first, by way of the BMP writer and reader.
std::optional<Bytes> DecodeToRgb(const Bytes& file, int* bits = nullptr) {
  RasterImage image;
  DecodePng(file, image);
  if (bits != nullptr) *bits = image.bits_per_pixel();
  Bytes bmp;
  WriteBmp(bmp, image);
  auto bitmap = DecodeBmp(bmp);
  if (!bitmap) return std::nullopt;
  Bytes rgb(bitmap->bgr.size());
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = bitmap->bgr[i + 2];
    rgb[i + 1] = bitmap->bgr[i + 1];
    rgb[i + 2] = bitmap->bgr[i];
  }
  return rgb;
}

// libpng's reading of the same file, turned into what our raster promises: samples cut
// to their high byte, palette entries looked up (transparency ignored), alpha blended
// over the background chunk's colour or black.
Bytes OracleRgb(const fs::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes rgb;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    ADD_FAILURE() << "libpng rejects " << path;
    return {};
  }
  png_init_io(png, file);
  png_read_info(png, info);
  const int colour_type = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  png_set_strip_16(png);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_set_packing(png);
  } else {
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const std::size_t row_bytes = png_get_rowbytes(png, info);
  const int channels = png_get_channels(png, info);
  Bytes pixels(row_bytes * height);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + y * row_bytes;
  png_read_image(png, rows.data());

  int background[3] = {0, 0, 0};
  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(png, info, &bkgd) != 0 && colour_type != PNG_COLOR_TYPE_PALETTE) {
    const bool grey = (colour_type & PNG_COLOR_MASK_COLOR) == 0;
    const int shift = depth == 16 ? 8 : 0;
    background[0] = (grey ? bkgd->gray : bkgd->red) >> shift;
    background[1] = (grey ? bkgd->gray : bkgd->green) >> shift;
    background[2] = (grey ? bkgd->gray : bkgd->blue) >> shift;
  }
  png_colorp palette = nullptr;
  int palette_size = 0;
  png_get_PLTE(png, info, &palette, &palette_size);

  for (png_uint_32 y = 0; y < height; ++y) {
    for (png_uint_32 x = 0; x < width; ++x) {
      const png_bytep p = rows[y] + x * channels;
      if (colour_type == PNG_COLOR_TYPE_PALETTE) {
        const bool known = p[0] < palette_size;
        rgb.push_back(known ? palette[p[0]].red : 0);
        rgb.push_back(known ? palette[p[0]].green : 0);
        rgb.push_back(known ? palette[p[0]].blue : 0);
      } else if (channels == 4) {
        for (int c = 0; c < 3; ++c) {
          rgb.push_back(static_cast<std::uint8_t>((p[c] * p[3] + background[c] * (255 - p[3])) / 255));
        }
      } else {
        rgb.insert(rgb.end(), p, p + 3);
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return rgb;
}

TEST(PngSuite, ValidImagesMatchLibpng) {
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(kSuite)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".png" || name[0] == 'x') continue;
    SCOPED_TRACE(name);
    std::optional<Bytes> ours;
    try {
      ours = DecodeToRgb(ReadAll(entry.path()));
    } catch (const EGraphicsException& error) {
      ADD_FAILURE() << error.what();
      continue;
    }
    ASSERT_TRUE(ours.has_value());
    EXPECT_TRUE(*ours == OracleRgb(entry.path()));
    ++checked;
  }
  EXPECT_GT(checked, 150);
}

TEST(PngSuite, CorruptedImagesFailWithTheirWord) {
  const struct {
    const char* file;
    const char* error;
  } cases[] = {
      {"xc1n0g08.png", "Invalid Color Type"},
      {"xc9n2c08.png", "Invalid Color Type"},
      {"xcrn0g04.png", "Not a PNG file"},
      {"xcsn0g01.png", "Invalid CRC"},
      {"xd0n2c08.png", "Invalid Bit Depth"},
      {"xd3n2c08.png", "Invalid Bit Depth"},
      {"xd9n2c08.png", "Invalid Bit Depth"},
      {"xdtn0g01.png", "Image Contains no Pixel Data"},
      {"xhdn0g08.png", "Invalid CRC"},
      {"xlfn0g04.png", "Not a PNG file"},
      {"xs1n0g01.png", "Not a PNG file"},
      {"xs2n0g01.png", "Not a PNG file"},
      {"xs4n0g01.png", "Not a PNG file"},
      {"xs7n0g01.png", "Not a PNG file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    RasterImage image;
    try {
      DecodePng(ReadAll(kSuite / c.file), image);
      ADD_FAILURE() << "decoded";
    } catch (const EPngError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
}

// Damaged copies of valid files either decode or fail with a codec error.
TEST(PngSuite, FlippedAndCutFilesNeverCrash) {
  for (const char* name : {"basn0g01.png", "basi3p02.png", "tbrn2c08.png"}) {
    SCOPED_TRACE(name);
    const Bytes good = ReadAll(kSuite / name);
    for (std::size_t i = 0; i < good.size(); ++i) {
      Bytes flipped = good;
      flipped[i] ^= static_cast<std::uint8_t>(1 << (i % 8));
      Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(i));
      for (const Bytes* file : {&flipped, &cut}) {
        RasterImage image;
        try {
          DecodePng(*file, image);
        } catch (const EGraphicsException&) {
        }
      }
    }
  }
}

// Builds small PNG files chunk by chunk.
class PngBuilder {
 public:
  PngBuilder() : bytes_{137, 80, 78, 71, 13, 10, 26, 10} {}

  PngBuilder& Chunk(const char* type, const Bytes& data, bool good_crc = true) {
    Put32(static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    const auto crc = static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
    Put32(good_crc ? crc : crc ^ 1);
    return *this;
  }
  PngBuilder& Header(std::uint32_t width, std::uint32_t height, int depth, int colour_type,
                     int interlace = 0) {
    Bytes data;
    for (std::uint32_t v : {width, height}) {
      for (int s = 24; s >= 0; s -= 8) data.push_back(static_cast<std::uint8_t>(v >> s));
    }
    data.insert(data.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colour_type), 0,
                             0, static_cast<std::uint8_t>(interlace)});
    return Chunk("IHDR", data);
  }
  // Compressed image data of filtered rows (each row starts with its filter byte).
  PngBuilder& Data(const Bytes& rows) { return Chunk("IDAT", Zlib(rows)); }
  PngBuilder& End() { return Chunk("IEND", {}); }
  const Bytes& bytes() const { return bytes_; }

  static Bytes Zlib(const Bytes& rows) {
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    Bytes out(size);
    compress(out.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
    out.resize(size);
    return out;
  }

 private:
  void Put32(std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) bytes_.push_back(static_cast<std::uint8_t>(v >> s));
  }
  Bytes bytes_;
};

std::string DecodeError(const Bytes& file) {
  RasterImage image;
  try {
    DecodePng(file, image);
  } catch (const EGraphicsException& error) {
    return error.what();
  }
  return "decoded";
}

TEST(PngChunks, ReportTheirErrorWords) {
  const Bytes grey_row = {0, 0x80};  // 1x1 grey 8-bit, filter none
  const Bytes palette = {255, 0, 0, 0, 255, 0};
  const Bytes zlib_row = PngBuilder::Zlib(grey_row);
  const Bytes first_half(zlib_row.begin(), zlib_row.begin() + 4);
  const Bytes second_half(zlib_row.begin() + 4, zlib_row.end());
  Bytes long_length = PngBuilder().Header(1, 1, 8, 0).bytes();
  long_length.insert(long_length.end(), {0x80, 0, 0, 0, 'I', 'D', 'A', 'T'});

  const struct {
    const char* name;
    Bytes file;
    const char* error;
  } cases[] = {
      {"first chunk not IHDR", PngBuilder().Chunk("tEXt", {'a', 0, 'b'}).Header(1, 1, 8, 0).bytes(),
       "Missing IHDR block"},
      {"only IHDR and IEND", PngBuilder().Header(1, 1, 8, 0).End().bytes(), "Image Contains no Pixel Data"},
      {"bad CRC in an ancillary chunk",
       PngBuilder().Header(1, 1, 8, 0).Chunk("tEXt", {'a', 0, 'b'}, false).Data(grey_row).End().bytes(),
       "Invalid CRC"},
      {"length with top bit", long_length, "Block length too large"},
      {"second IHDR", PngBuilder().Header(1, 1, 8, 0).Header(1, 1, 8, 0).bytes(), "Duplicate IHDR Block"},
      {"short IHDR", PngBuilder().Chunk("IHDR", Bytes(12, 1)).bytes(), "Invalid Header Length"},
      {"interlace method 2", PngBuilder().Header(1, 1, 8, 0, 2).bytes(), "Invalid Compression Method"},
      {"RGB at depth 4", PngBuilder().Header(1, 1, 4, 2).bytes(), "Invalid Bit Depth for Color Type"},
      {"palette at depth 16", PngBuilder().Header(1, 1, 16, 3).bytes(), "Invalid Bit Depth for Color Type"},
      {"colour type 5", PngBuilder().Header(1, 1, 8, 5).bytes(), "Invalid Color Type"},
      {"zero width", PngBuilder().Header(0, 1, 8, 0).bytes(), "Invalid Image Size"},
      {"unknown critical chunk", PngBuilder().Header(1, 1, 8, 0).Chunk("ABCD", {}).bytes(),
       "Unknown critical chunk"},
      {"filter type 5", PngBuilder().Header(1, 1, 8, 0).Data({5, 0x80}).End().bytes(), "Invalid Filter Method"},
      {"row data ends early", PngBuilder().Header(2, 2, 8, 0).Data({0, 1, 2}).End().bytes(),
       "Premature End-Of-File"},
      {"row data too long", PngBuilder().Header(1, 1, 8, 0).Data({0, 1, 2}).End().bytes(), "Extra data"},
      {"other chunk inside the image data",
       PngBuilder().Header(1, 1, 8, 0).Chunk("IDAT", first_half).Chunk("tEXt", {'a', 0}).bytes(),
       "IDAT Block Expected"},
      {"second image data run",
       PngBuilder().Header(1, 1, 8, 0).Data(grey_row).Chunk("tEXt", {'a', 0}).Data(grey_row).bytes(),
       "Image Contains Multiple Data Segments"},
      {"palette image without PLTE", PngBuilder().Header(1, 1, 8, 3).Data(grey_row).bytes(),
       "PLTE block must occur before IDAT"},
      {"second PLTE", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("PLTE", palette).bytes(),
       "Duplicate PLTE block"},
      {"PLTE of 4 bytes", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", {1, 2, 3, 4}).bytes(),
       "PLTE chunk length not divisible by 3"},
      {"PLTE of 257 entries", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", Bytes(771, 0)).bytes(),
       "PLTE chunk length too large"},
      {"PLTE in a grey image", PngBuilder().Header(1, 1, 8, 0).Chunk("PLTE", palette).bytes(),
       "Grayscale image contains a PLTE block"},
      {"short bKGD", PngBuilder().Header(1, 1, 8, 2).Chunk("bKGD", {0, 1}).bytes(), "bKGD Chunk too small"},
      {"bKGD grey beyond the depth", PngBuilder().Header(1, 1, 4, 0).Chunk("bKGD", {0, 16}).bytes(),
       "bKGD palette index too large"},
      {"gAMA after PLTE",
       PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("gAMA", {0, 0, 0, 1}).bytes(),
       "gAMA chunk may not occur before PLTE"},
      {"short gAMA", PngBuilder().Header(1, 1, 8, 0).Chunk("gAMA", {0, 0}).bytes(), "gAMA chunk too small"},
      {"cHRM after PLTE", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("cHRM", Bytes(32)).bytes(),
       "cHRM chunk may not occur after PLTE"},
      {"cHRM of 31 bytes", PngBuilder().Header(1, 1, 8, 0).Chunk("cHRM", Bytes(31)).bytes(),
       "Invalid cHRM chunk length"},
      {"hIST before PLTE", PngBuilder().Header(1, 1, 8, 3).Chunk("hIST", {0, 0}).bytes(),
       "hIST chunk may not appear before PLTE"},
      {"hIST of the wrong size", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("hIST", {0, 0}).bytes(),
       "Bad size for hIST chunk"},
      {"pHYs after IDAT", PngBuilder().Header(1, 1, 8, 0).Data(grey_row).Chunk("pHYs", Bytes(9)).bytes(),
       "pHYS chunk must come before IDAT chunks"},
      {"pHYs of 8 bytes", PngBuilder().Header(1, 1, 8, 0).Chunk("pHYs", Bytes(8)).bytes(), "pHYs chunk size invalid"},
      {"pHYs unit 2", PngBuilder().Header(1, 1, 8, 0).Chunk("pHYs", {0, 0, 0, 1, 0, 0, 0, 1, 2}).bytes(),
       "pHYs contains an invalid unit"},
      {"sBIT after PLTE", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("sBIT", {8, 8, 8}).bytes(),
       "sBIT chunk must occur before PTLE chunk"},
      {"sBIT of 2 bytes for RGB", PngBuilder().Header(1, 1, 8, 2).Chunk("sBIT", {8, 8}).bytes(),
       "sBIT chunk length invalid"},
      {"tEXt without keyword end", PngBuilder().Header(1, 1, 8, 0).Chunk("tEXt", {'a', 'b'}).bytes(),
       "tEXt keyword not found"},
      {"zTXt without keyword end", PngBuilder().Header(1, 1, 8, 0).Chunk("zTXt", {'a', 'b'}).bytes(),
       "ZEXt keyword not found"},
      {"tIME of 6 bytes", PngBuilder().Header(1, 1, 8, 0).Chunk("tIME", Bytes(6)).bytes(), "tIME chunk size invalid"},
      {"tRNS after IDAT", PngBuilder().Header(1, 1, 8, 0).Data(grey_row).Chunk("tRNS", {0, 0}).bytes(),
       "tRNS chunk cannot occur before IDAT chunks"},
      {"tRNS with alpha", PngBuilder().Header(1, 1, 8, 6).Chunk("tRNS", {0, 0}).bytes(),
       "Invalid Color Type of tRNS chunk"},
      {"tRNS before PLTE", PngBuilder().Header(1, 1, 8, 3).Chunk("tRNS", {0}).bytes(),
       "tRNS chunk must occur after PLTE chunk"},
      {"tRNS longer than PLTE", PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("tRNS", {0, 0, 0}).bytes(),
       "tRNS block length invalid"},
      {"grey tRNS of 1 byte", PngBuilder().Header(1, 1, 8, 0).Chunk("tRNS", {0}).bytes(), "tRNS chunk length invalid"},
      {"split image data and unknown ancillary chunk decode",
       PngBuilder().Header(1, 1, 8, 0).Chunk("abcD", {1}).Chunk("IDAT", first_half).Chunk("IDAT", {})
           .Chunk("IDAT", second_half).End().bytes(),
       "decoded"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeError(c.file), c.error);
  }
}

TEST(PngRaster, FormatsAndGreyRamps) {
  // 4x1 2-bit grey with levels 0..3: an 8-bit raster with the four-level ramp.
  RasterImage ramp;
  DecodePng(PngBuilder().Header(4, 1, 2, 0).Data({0, 0x1B}).End().bytes(), ramp);
  EXPECT_EQ(ramp.bits_per_pixel(), 8);
  ASSERT_EQ(ramp.colour_map().size(), 4u);
  const std::uint8_t want_levels[] = {0, 85, 170, 255};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ramp.colour_map()[i][0], want_levels[i]);
    EXPECT_EQ(ramp.Row(0)[i], i);
  }

  // 16-bit grey: 256-level ramp, samples by their high byte.
  RasterImage grey16;
  DecodePng(PngBuilder().Header(2, 1, 16, 0).Data({0, 0x12, 0xFF, 0xAB, 0x01}).End().bytes(), grey16);
  EXPECT_EQ(grey16.bits_per_pixel(), 8);
  ASSERT_EQ(grey16.colour_map().size(), 256u);
  EXPECT_EQ(grey16.colour_map()[200][1], 200);
  EXPECT_EQ(grey16.Row(0)[0], 0x12);
  EXPECT_EQ(grey16.Row(0)[1], 0xAB);

  // 16-bit RGB: 24-bit blue, green, red from high bytes.
  RasterImage rgb16;
  DecodePng(PngBuilder().Header(1, 1, 16, 2).Data({0, 0x10, 1, 0x20, 2, 0x30, 3}).End().bytes(), rgb16);
  EXPECT_EQ(rgb16.bits_per_pixel(), 24);
  EXPECT_EQ(Bytes(rgb16.Row(0), rgb16.Row(0) + 3), (Bytes{0x30, 0x20, 0x10}));

  // 1-bit plain keeps its depth; interlaced becomes 8 bits per pixel.
  RasterImage plain;
  DecodePng(PngBuilder().Header(9, 1, 1, 0).Data({0, 0xA5, 0x80}).End().bytes(), plain);
  EXPECT_EQ(plain.bits_per_pixel(), 1);
  EXPECT_EQ(Bytes(plain.Row(0), plain.Row(0) + 2), (Bytes{0xA5, 0x80}));
  // 2x2 interlaced: pass 1 holds (0,0), pass 6 holds (1,0), pass 7 the second row.
  RasterImage interlaced;
  DecodePng(PngBuilder().Header(2, 2, 1, 0, 1).Data({0, 0x80, 0, 0x00, 0, 0x40}).End().bytes(), interlaced);
  EXPECT_EQ(interlaced.bits_per_pixel(), 8);
  EXPECT_EQ(Bytes(interlaced.Row(1), interlaced.Row(1) + 2), (Bytes{1, 0}));  // top row
  EXPECT_EQ(Bytes(interlaced.Row(0), interlaced.Row(0) + 2), (Bytes{0, 1}));
}

TEST(PngRaster, AlphaBlendsOverBackground) {
  const Bytes pixel = {0, 200, 100, 0, 128};  // RGBA 8-bit
  RasterImage black;
  DecodePng(PngBuilder().Header(1, 1, 8, 6).Data(pixel).End().bytes(), black);
  EXPECT_EQ(Bytes(black.Row(0), black.Row(0) + 3), (Bytes{0, 100 * 128 / 255, 200 * 128 / 255}));

  RasterImage white;
  DecodePng(PngBuilder().Header(1, 1, 8, 6).Chunk("bKGD", {0, 255, 0, 255, 0, 255}).Data(pixel).End().bytes(),
            white);
  EXPECT_EQ(Bytes(white.Row(0), white.Row(0) + 3),
            (Bytes{127 * 255 / 255, (100 * 128 + 255 * 127) / 255, (200 * 128 + 255 * 127) / 255}));

  // Grey with alpha over grey 0x60: a colour index.
  RasterImage grey;
  DecodePng(PngBuilder().Header(1, 1, 8, 4).Chunk("bKGD", {0, 0x60}).Data({0, 0xF0, 0x40}).End().bytes(), grey);
  EXPECT_EQ(grey.Row(0)[0], ((255 - 0x40) * 0x60 + 0xF0 * 0x40) / 255);
}

TEST(PngBmp, WriterLayout) {
  RasterImage image;
  image.SetFormat(3, 2, 1, 2);
  image.SetColour(1, 10, 20, 30);
  image.Row(0)[0] = 0xA0;
  Bytes bmp;
  WriteBmp(bmp, image);
  ASSERT_EQ(bmp.size(), 2u * 4 + 8 + 54);
  EXPECT_EQ(bmp[2], bmp.size());     // file size
  EXPECT_EQ(bmp[10], 62);            // pixel offset
  EXPECT_EQ(bmp[28], 1);             // bit count
  EXPECT_EQ(bmp[46], 0);             // colours used
  EXPECT_EQ(Bytes(bmp.begin() + 58, bmp.begin() + 62), (Bytes{30, 20, 10, 0}));
  EXPECT_EQ(Bytes(bmp.begin() + 62, bmp.begin() + 66), (Bytes{0xA0, 0, 0, 0}));

  RasterImage empty;
  EXPECT_THROW(WriteBmp(bmp, empty), EBmpNotSupported);
  EXPECT_THROW(empty.SetFormat(1, 1, 2, 4), EInvalidBitCount);
  EXPECT_THROW(image.Row(2), ESubscriptOutOfRange);
}

TEST(PngBmp, ConvertFileToFile) {
  const fs::path dir = fs::path(VELMORANE_BINARY_DIR) / "png_convert_test";
  fs::create_directories(dir);
  const std::string bmp = (dir / "out.bmp").string();
  EXPECT_EQ(ConvertPngToBmp((dir / "missing.png").string(), bmp), 1);

  EXPECT_EQ(ConvertPngToBmp((kSuite / "basn2c08.png").string(), bmp), 0);
  auto bitmap = LoadBmpFile(bmp);
  ASSERT_TRUE(bitmap.has_value());
  EXPECT_EQ(bitmap->width, 32);

  EXPECT_EQ(ConvertPngToBmp((kSuite / "xs1n0g01.png").string(), bmp), 0);
  EXPECT_EQ(fs::file_size(bmp), 0u);

  // Damage after the pixel rows keeps the picture; damage before them leaves no BMP
  // content rather than a black picture.
  const Bytes grey_row = {0, 0x80};
  const struct {
    const char* name;
    Bytes png;
    bool loads;
  } cases[] = {
      {"bad CRC after the image data",
       PngBuilder().Header(1, 1, 8, 0).Data(grey_row).Chunk("tEXt", {'a', 0}, false).End().bytes(), true},
      {"bad CRC before the image data",
       PngBuilder().Header(1, 1, 8, 0).Chunk("tEXt", {'a', 0}, false).Data(grey_row).End().bytes(), false},
      {"image data cut short", PngBuilder().Header(1, 2, 8, 0).Data(grey_row).End().bytes(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string png = (dir / "in.png").string();
    ASSERT_TRUE(WriteFileBytes(png, c.png));
    EXPECT_EQ(ConvertPngToBmp(png, bmp), 0);
    EXPECT_EQ(LoadBmpFile(bmp).has_value(), c.loads);
  }
}

}  // namespace
}  // namespace velmorane
