// PNG decoding: chunk reading and checks, image data inflation, filters, Adam7 and the
// conversion of every colour type and depth into the raster image.
#include "codecs/png/png_decoder.h"

#include <algorithm>
#include <cstring>

#include "codecs/bitmap/bitmap.h"
#include "codecs/bitmap/byte_reader.h"
#include "codecs/png/checksums.h"
#include "codecs/png/graphics_errors.h"
#include "codecs/png/inflate.h"

namespace velmorane {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::size_t kMaxPngFileSize = std::size_t{256} << 20;
constexpr std::uint32_t kMaxDimension = 0x7FFFFFFF;

constexpr int kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgbAlpha = 6;

// Adam7 pass origins and steps; a plain image is one pass starting at 0,0 with step 1.
struct Pass {
  int x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

struct Chunk {
  std::uint32_t length = 0;
  char type[5] = {};
  std::span<const std::uint8_t> type_and_data;
  std::span<const std::uint8_t> data;
  std::uint32_t crc = 0;

  bool Is(const char* name) const { return std::memcmp(type, name, 4) == 0; }
};

class PngDecoder {
 public:
  PngDecoder(std::span<const std::uint8_t> file, RasterImage& image)
      : reader_(file), image_(image) {}

  void Decode();

 private:
  friend class IdatSource;

  // False when the stream ends before a whole chunk.
  bool ReadChunk(Chunk& chunk);
  void CheckCrc(const Chunk& chunk) const;
  void HandleChunk(const Chunk& chunk);
  void HandleHeader(const Chunk& chunk);
  void HandlePalette(const Chunk& chunk);
  void HandleImageData(const Chunk& chunk);
  void HandleBackground(const Chunk& chunk);
  void HandleTransparency(const Chunk& chunk);
  void CheckAncillary(const Chunk& chunk);
  void BuildImage(std::vector<std::uint8_t>& data);
  void StoreRow(const std::uint8_t* row, int width, int y, const Pass& pass);

  int Channels() const {
    switch (colour_type_) {
      case kRgb: return 3;
      case kGreyAlpha: return 2;
      case kRgbAlpha: return 4;
      default: return 1;
    }
  }
  bool IsGrey() const { return colour_type_ == kGrey || colour_type_ == kGreyAlpha; }

  ByteReader reader_;
  RasterImage& image_;
  bool header_seen_ = false;
  bool palette_seen_ = false;
  bool end_seen_ = false;
  bool data_begun_ = false;
  bool data_ended_ = false;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  int depth_ = 0;
  int colour_type_ = 0;
  int interlace_ = 0;
  std::size_t palette_entries_ = 0;
  std::uint8_t background_grey_ = 0;  // composite over black without bKGD
  std::uint8_t background_[3] = {};  // red, green, blue
};

// Feeds IDAT chunks to the inflater: the first chunk's data, then each following
// chunk, which must be IDAT while the compressed stream goes on.
class IdatSource : public InflateSource {
 public:
  IdatSource(PngDecoder& decoder, std::span<const std::uint8_t> first)
      : decoder_(decoder), first_(first) {}

  std::span<const std::uint8_t> Next() override {
    if (!first_.empty()) {
      std::span<const std::uint8_t> piece = first_;
      first_ = {};
      return piece;
    }
    for (;;) {
      Chunk chunk;
      if (!decoder_.ReadChunk(chunk)) throw EPngError("Premature End-Of-File");
      decoder_.CheckCrc(chunk);
      if (!chunk.Is("IDAT")) throw EPngError("IDAT Block Expected");
      if (!chunk.data.empty()) return chunk.data;
    }
  }

 private:
  PngDecoder& decoder_;
  std::span<const std::uint8_t> first_;
};

std::uint16_t U16Be(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
}

std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// Undoes one row's filter in place; `previous` is the unfiltered row above (zeros for
// the first row of a pass).
void Unfilter(int filter, std::uint8_t* row, const std::uint8_t* previous, std::size_t length,
              std::size_t bpp) {
  switch (filter) {
    case 0:
      return;
    case 1:
      for (std::size_t i = bpp; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
      return;
    case 2:
      for (std::size_t i = 0; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
      return;
    case 3:
      for (std::size_t i = 0; i < length; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + ((left + previous[i]) >> 1));
      }
      return;
    case 4:
      for (std::size_t i = 0; i < length; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int upper_left = i >= bpp ? previous[i - bpp] : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + Paeth(left, previous[i], upper_left));
      }
      return;
    default:
      throw EPngError("Invalid Filter Method");
  }
}

std::size_t PassSize(std::uint32_t full, int origin, int step) {
  return full > static_cast<std::uint32_t>(origin) ? (full - origin + step - 1) / step : 0;
}

void SetIndex(std::uint8_t* row, std::size_t x, int bits, std::uint8_t value) {
  if (bits == 8) {
    row[x] = value;
  } else if (bits == 4) {
    const int shift = x % 2 == 0 ? 4 : 0;
    row[x / 2] = static_cast<std::uint8_t>((row[x / 2] & ~(0x0F << shift)) | (value & 0x0F) << shift);
  } else {
    const int shift = 7 - static_cast<int>(x % 8);
    row[x / 8] = static_cast<std::uint8_t>((row[x / 8] & ~(1 << shift)) | (value & 1) << shift);
  }
}

}  // namespace

bool PngDecoder::ReadChunk(Chunk& chunk) {
  if (!reader_.U32Be(chunk.length)) return false;
  if (chunk.length & 0x80000000u) throw EPngError("Block length too large");
  if (chunk.length > reader_.Remaining() || reader_.Remaining() - chunk.length < 8) {
    static_cast<void>(reader_.Skip(reader_.Remaining()));
    return false;
  }
  if (!reader_.Take(4 + static_cast<std::size_t>(chunk.length), chunk.type_and_data) ||
      !reader_.U32Be(chunk.crc)) {
    return false;
  }
  std::memcpy(chunk.type, chunk.type_and_data.data(), 4);
  chunk.data = chunk.type_and_data.subspan(4);
  return true;
}

void PngDecoder::CheckCrc(const Chunk& chunk) const {
  if (UpdateCrc32(0, chunk.type_and_data) != chunk.crc) throw EPngError("Invalid CRC");
}

void PngDecoder::Decode() {
  std::span<const std::uint8_t> signature;
  if (!reader_.Take(8, signature) || !std::equal(signature.begin(), signature.end(), kSignature)) {
    throw EPngError("Not a PNG file");
  }
  Chunk chunk;
  if (!ReadChunk(chunk) || !chunk.Is("IHDR")) throw EPngError("Missing IHDR block");
  HandleChunk(chunk);
  while (!end_seen_ && ReadChunk(chunk)) HandleChunk(chunk);
  if (!data_ended_) throw EPngError("Image Contains no Pixel Data");
}

void PngDecoder::HandleChunk(const Chunk& chunk) {
  CheckCrc(chunk);
  if (chunk.Is("IHDR")) {
    HandleHeader(chunk);
  } else if (chunk.Is("IDAT")) {
    HandleImageData(chunk);
  } else if (chunk.Is("PLTE")) {
    HandlePalette(chunk);
  } else if (chunk.Is("IEND")) {
    end_seen_ = true;
  } else if (chunk.Is("bKGD")) {
    HandleBackground(chunk);
  } else if (chunk.Is("tRNS")) {
    HandleTransparency(chunk);
  } else if (chunk.Is("gAMA") || chunk.Is("cHRM") || chunk.Is("hIST") || chunk.Is("sBIT") ||
             chunk.Is("pHYs") || chunk.Is("tIME") || chunk.Is("tEXt") || chunk.Is("zTXt")) {
    CheckAncillary(chunk);
  } else if ((chunk.type[0] & 0x20) == 0) {
    throw EPngError("Unknown critical chunk");
  }
}

void PngDecoder::HandleHeader(const Chunk& chunk) {
  if (header_seen_) throw EPngError("Duplicate IHDR Block");
  header_seen_ = true;
  if (chunk.length != 13) throw EPngError("Invalid Header Length");
  const auto& d = chunk.data;
  width_ = static_cast<std::uint32_t>(U16Be(d, 0)) << 16 | U16Be(d, 2);
  height_ = static_cast<std::uint32_t>(U16Be(d, 4)) << 16 | U16Be(d, 6);
  depth_ = d[8];
  colour_type_ = d[9];
  interlace_ = d[12];
  if (d[10] != 0) throw EPngError("Invalid Compression Method");
  if (d[11] != 0) throw EPngError("Invalid Filter Method");
  if (interlace_ > 1) throw EPngError("Invalid Compression Method");
  if (depth_ != 1 && depth_ != 2 && depth_ != 4 && depth_ != 8 && depth_ != 16) {
    throw EPngError("Invalid Bit Depth");
  }
  if (colour_type_ != kGrey && colour_type_ != kRgb && colour_type_ != kPalette &&
      colour_type_ != kGreyAlpha && colour_type_ != kRgbAlpha) {
    throw EPngError("Invalid Color Type");
  }
  if (((colour_type_ == kRgb || colour_type_ == kGreyAlpha || colour_type_ == kRgbAlpha) &&
       depth_ < 8) ||
      (colour_type_ == kPalette && depth_ == 16)) {
    throw EPngError("Invalid Bit Depth for Color Type");
  }
  // The raster is sized here so that a file claiming a huge image stops at once.
  if (width_ == 0 || height_ == 0 || width_ > kMaxDimension || height_ > kMaxDimension ||
      width_ > static_cast<std::uint32_t>(INT32_MAX) / 4 ||
      height_ > static_cast<std::uint32_t>(INT32_MAX)) {
    throw EPngError("Invalid Image Size");
  }
  int bits = 0, colours = 0;
  if (colour_type_ == kRgb || colour_type_ == kRgbAlpha) {
    bits = 24;
  } else if (depth_ == 16) {
    bits = 8, colours = 256;
  } else {
    bits = (interlace_ == 1 || depth_ == 2) ? 8 : depth_;
    colours = 1 << depth_;
  }
  std::size_t stride = bits == 24 ? std::size_t{width_} * 3 : (std::size_t{width_} * bits + 7) / 8;
  std::size_t raster_bytes = 0;
  if (!MulSize(stride, height_, raster_bytes) || raster_bytes > kMaxRasterBytes) {
    throw EPngError("Image Too Large");
  }
  image_.SetFormat(static_cast<int>(width_), static_cast<int>(height_), bits, colours);
  if (IsGrey()) {
    if (depth_ >= 8) {
      for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        image_.SetColour(i, level, level, level);
      }
    } else {
      const int n = 1 << depth_;
      for (int i = 0; i < n; ++i) {
        const auto level = static_cast<std::uint8_t>((n + 255 * i - 2) / (n - 1));
        image_.SetColour(i, level, level, level);
      }
    }
  }
}

void PngDecoder::HandlePalette(const Chunk& chunk) {
  if (palette_seen_) throw EPngError("Duplicate PLTE block");
  palette_seen_ = true;
  if (chunk.length % 3 != 0) throw EPngError("PLTE chunk length not divisible by 3");
  if (chunk.length > 3 * 256) throw EPngError("PLTE chunk length too large");
  if (IsGrey()) throw EPngError("Grayscale image contains a PLTE block");
  palette_entries_ = chunk.length / 3;
  if (colour_type_ != kPalette) return;  // a suggested palette of a true-colour image
  const std::size_t usable = std::min(palette_entries_, image_.colour_map().size());
  for (std::size_t i = 0; i < usable; ++i) {
    image_.SetColour(static_cast<int>(i), chunk.data[3 * i], chunk.data[3 * i + 1],
                     chunk.data[3 * i + 2]);
  }
}

void PngDecoder::HandleBackground(const Chunk& chunk) {
  if (colour_type_ == kPalette) {
    if (chunk.length < 1) throw EPngError("bKGD Chunk too small");
    if (chunk.data[0] >= (1u << depth_)) throw EPngError("bKGD palette index too large");
  } else if (IsGrey()) {
    if (chunk.length < 2) throw EPngError("bKGD Chunk too small");
    const std::uint16_t level = U16Be(chunk.data, 0);
    if (depth_ < 16 && level >= (1u << depth_)) throw EPngError("bKGD palette index too large");
    background_grey_ = static_cast<std::uint8_t>(depth_ == 16 ? level >> 8 : level);
  } else {
    if (chunk.length < 6) throw EPngError("bKGD Chunk too small");
    for (int i = 0; i < 3; ++i) {
      const std::uint16_t sample = U16Be(chunk.data, 2 * static_cast<std::size_t>(i));
      background_[i] = static_cast<std::uint8_t>(depth_ == 16 ? sample >> 8 : sample);
    }
  }
}

void PngDecoder::HandleTransparency(const Chunk& chunk) {
  // Transparency is recorded by the format but not applied to the raster.
  if (data_begun_) throw EPngError("tRNS chunk cannot occur before IDAT chunks");
  if (colour_type_ == kGreyAlpha || colour_type_ == kRgbAlpha) {
    throw EPngError("Invalid Color Type of tRNS chunk");
  }
  if (colour_type_ == kPalette) {
    if (!palette_seen_) throw EPngError("tRNS chunk must occur after PLTE chunk");
    if (chunk.length > palette_entries_) throw EPngError("tRNS block length invalid");
  } else if (chunk.length != (colour_type_ == kGrey ? 2u : 6u)) {
    throw EPngError("tRNS chunk length invalid");
  }
}

void PngDecoder::CheckAncillary(const Chunk& chunk) {
  if (chunk.Is("gAMA")) {
    if (palette_seen_) throw EPngError("gAMA chunk may not occur before PLTE");
    if (data_begun_) throw EPngError("gAMA chunk may not occur before IDAT");
    if (chunk.length < 4) throw EPngError("gAMA chunk too small");
  } else if (chunk.Is("cHRM")) {
    if (palette_seen_) throw EPngError("cHRM chunk may not occur after PLTE");
    if (data_begun_) throw EPngError("cHRM chunk may not occur after IDAT");
    if (chunk.length != 32) throw EPngError("Invalid cHRM chunk length");
  } else if (chunk.Is("hIST")) {
    if (!palette_seen_) throw EPngError("hIST chunk may not appear before PLTE");
    if (data_begun_) throw EPngError("hIST chunk must appear before IDAT");
    if (chunk.length != 2 * palette_entries_) throw EPngError("Bad size for hIST chunk");
  } else if (chunk.Is("pHYs")) {
    if (data_begun_) throw EPngError("pHYS chunk must come before IDAT chunks");
    if (chunk.length != 9) throw EPngError("pHYs chunk size invalid");
    if (chunk.data[8] > 1) throw EPngError("pHYs contains an invalid unit");
  } else if (chunk.Is("sBIT")) {
    if (data_begun_) throw EPngError("sBIT chunk must occur before IDAT chunks");
    if (palette_seen_) throw EPngError("sBIT chunk must occur before PTLE chunk");
    static constexpr std::uint32_t kSignificantBytes[7] = {1, 0, 3, 3, 2, 0, 4};
    if (chunk.length != kSignificantBytes[colour_type_]) throw EPngError("sBIT chunk length invalid");
  } else if (chunk.Is("tIME")) {
    if (chunk.length != 7) throw EPngError("tIME chunk size invalid");
  } else {
    // tEXt and zTXt: a keyword ended by a NUL.
    const auto keyword_end = std::find(chunk.data.begin(), chunk.data.end(), 0);
    if (keyword_end == chunk.data.end() || keyword_end == chunk.data.begin()) {
      throw EPngError(chunk.Is("tEXt") ? "tEXt keyword not found" : "ZEXt keyword not found");
    }
  }
}

void PngDecoder::HandleImageData(const Chunk& chunk) {
  if (data_ended_) throw EPngError("Image Contains Multiple Data Segments");
  if (colour_type_ == kPalette && !palette_seen_) throw EPngError("PLTE block must occur before IDAT");
  data_begun_ = true;

  // Exactly the filtered rows of every pass; more is refused, less is an early end.
  const std::size_t pixel_bits = static_cast<std::size_t>(depth_) * Channels();
  std::size_t needed = 0;
  const int passes = interlace_ ? 7 : 1;
  for (int p = 0; p < passes; ++p) {
    const Pass& pass = interlace_ ? kAdam7[p] : kWhole;
    const std::size_t w = PassSize(width_, pass.x0, pass.dx);
    const std::size_t h = PassSize(height_, pass.y0, pass.dy);
    if (w == 0 || h == 0) continue;
    std::size_t bits = 0, rows = 0;
    if (!MulSize(w, pixel_bits, bits) || !MulSize(h, 1 + (bits + 7) / 8, rows) ||
        rows > kMaxRasterBytes * 2 - needed) {
      throw EPngError("Image Too Large");
    }
    needed += rows;
  }
  IdatSource source(*this, chunk.data);
  std::vector<std::uint8_t> data;
  InflateZlib(source, needed, data);
  data_ended_ = true;
  if (data.size() < needed) throw EPngError("Premature End-Of-File");
  BuildImage(data);
  image_.MarkComplete();
}

void PngDecoder::BuildImage(std::vector<std::uint8_t>& data) {
  const std::size_t pixel_bits = static_cast<std::size_t>(depth_) * Channels();
  const std::size_t filter_bpp = std::max<std::size_t>(1, pixel_bits / 8);
  std::size_t pos = 0;
  const int passes = interlace_ ? 7 : 1;
  for (int p = 0; p < passes; ++p) {
    const Pass& pass = interlace_ ? kAdam7[p] : kWhole;
    const std::size_t w = PassSize(width_, pass.x0, pass.dx);
    const std::size_t h = PassSize(height_, pass.y0, pass.dy);
    if (w == 0 || h == 0) continue;
    const std::size_t row_bytes = (w * pixel_bits + 7) / 8;
    const std::vector<std::uint8_t> zeros(row_bytes, 0);
    const std::uint8_t* previous = zeros.data();
    for (std::size_t y = 0; y < h; ++y) {
      const int filter = data[pos];
      std::uint8_t* row = data.data() + pos + 1;
      Unfilter(filter, row, previous, row_bytes, filter_bpp);
      StoreRow(row, static_cast<int>(w), static_cast<int>(pass.y0 + y * pass.dy), pass);
      previous = row;
      pos += 1 + row_bytes;
    }
  }
}

// Converts one unfiltered row of a pass into raster pixels; image row y lands on raster
// row height - 1 - y.
void PngDecoder::StoreRow(const std::uint8_t* row, int width, int y, const Pass& pass) {
  std::uint8_t* out = image_.Row(static_cast<int>(height_) - 1 - y);
  const int raster_bits = image_.bits_per_pixel();
  const int channels = Channels();
  // Sample c of pixel i, reduced to 8 bits by taking the high byte of 16-bit samples.
  auto sample = [&](int i, int c) -> std::uint8_t {
    const std::size_t index = static_cast<std::size_t>(i) * channels + c;
    switch (depth_) {
      case 16: return row[2 * index];
      case 8: return row[index];
      case 1: case 2: case 4: {
        const std::size_t bit = index * depth_;
        return static_cast<std::uint8_t>((row[bit / 8] >> (8 - depth_ - bit % 8)) & ((1 << depth_) - 1));
      }
      default: throw EPngError("Invalid Bit Depth");
    }
  };
  for (int i = 0; i < width; ++i) {
    const std::size_t x = static_cast<std::size_t>(pass.x0) + static_cast<std::size_t>(i) * pass.dx;
    switch (colour_type_) {
      case kGrey:
      case kPalette:
        SetIndex(out, x, raster_bits, sample(i, 0));
        break;
      case kGreyAlpha: {
        const int grey = sample(i, 0), alpha = sample(i, 1);
        out[x] = static_cast<std::uint8_t>(((255 - alpha) * background_grey_ + grey * alpha) / 255);
        break;
      }
      case kRgb:
        out[3 * x] = sample(i, 2);
        out[3 * x + 1] = sample(i, 1);
        out[3 * x + 2] = sample(i, 0);
        break;
      case kRgbAlpha: {
        const int alpha = sample(i, 3);
        for (int c = 0; c < 3; ++c) {
          out[3 * x + 2 - c] = static_cast<std::uint8_t>(
              (sample(i, c) * alpha + background_[c] * (255 - alpha)) / 255);
        }
        break;
      }
      default:
        throw EPngError("Invalid Color Type");
    }
  }
}

void DecodePng(std::span<const std::uint8_t> file, RasterImage& image) {
  PngDecoder decoder(file, image);
  decoder.Decode();
}

std::vector<std::uint8_t> PngToBmp(std::span<const std::uint8_t> file) {
  RasterImage image;
  try {
    DecodePng(file, image);
  } catch (...) {
    // A damaged file still gives its picture when all rows were decoded before the damage.
  }
  std::vector<std::uint8_t> bmp;
  try {
    if (image.complete()) WriteBmp(bmp, image);
  } catch (...) {
    bmp.clear();
  }
  return bmp;
}

int ConvertPngToBmp(const std::string& png_path, const std::string& bmp_path) {
  std::FILE* probe = std::fopen(png_path.c_str(), "rb");
  if (probe == nullptr) return 1;
  std::fclose(probe);
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> bmp;
  if (ReadFileBytes(png_path, kMaxPngFileSize, bytes)) bmp = PngToBmp(bytes);
  static_cast<void>(WriteFileBytes(bmp_path, bmp));
  return 0;
}

}  // namespace velmorane
