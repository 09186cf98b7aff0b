// BMP reading into 24-bit bitmaps and 24-bit BMP writing.
#include "codecs/bitmap/bitmap.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "codecs/bitmap/byte_reader.h"

namespace velmorane {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::size_t kMaxBmpFileSize = std::size_t{512} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Scales a masked channel value to 0..255.
std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = __builtin_ctz(mask);
  std::uint64_t value = (pixel & mask) >> shift;
  std::uint64_t max = mask >> shift;
  return static_cast<std::uint8_t>(value * 255 / max);
}

}  // namespace

std::optional<Bitmap24> DecodeBmp(std::span<const std::uint8_t> file) {
  ByteReader reader(file);
  std::uint8_t b0 = 0, b1 = 0;
  std::uint32_t file_size = 0, reserved = 0, pixel_offset = 0;
  if (!reader.U8(b0) || !reader.U8(b1) || b0 != 'B' || b1 != 'M') return std::nullopt;
  if (!reader.U32Le(file_size) || !reader.U32Le(reserved) || !reader.U32Le(pixel_offset)) {
    return std::nullopt;
  }
  std::uint32_t header_size = 0, raw_width = 0, raw_height = 0, compression = 0;
  std::uint32_t image_size = 0, x_res = 0, y_res = 0, colours_used = 0, important = 0;
  std::uint16_t planes = 0, bit_count = 0;
  if (!reader.U32Le(header_size) || header_size < 40 || !reader.U32Le(raw_width) ||
      !reader.U32Le(raw_height) || !reader.U16Le(planes) || !reader.U16Le(bit_count) ||
      !reader.U32Le(compression) || !reader.U32Le(image_size) || !reader.U32Le(x_res) ||
      !reader.U32Le(y_res) || !reader.U32Le(colours_used) || !reader.U32Le(important)) {
    return std::nullopt;
  }
  const auto width = static_cast<std::int32_t>(raw_width);
  const auto signed_height = static_cast<std::int32_t>(raw_height);
  if (width <= 0 || signed_height == 0 || signed_height == INT32_MIN) return std::nullopt;
  const bool top_down = signed_height < 0;
  const std::int32_t height = top_down ? -signed_height : signed_height;
  std::size_t pixel_count = 0;
  if (!MulSize(static_cast<std::size_t>(width), static_cast<std::size_t>(height), pixel_count) ||
      pixel_count > kMaxBitmapPixels) {
    return std::nullopt;
  }

  // Channel masks: fixed for plain 16/32-bit rows, read after a 40-byte header (or
  // inside a larger one) for bit fields.
  std::uint32_t red_mask = 0x00FF0000, green_mask = 0x0000FF00, blue_mask = 0x000000FF;
  if (bit_count == 16) red_mask = 0x7C00, green_mask = 0x03E0, blue_mask = 0x001F;
  if (compression == kBiBitfields) {
    if (bit_count != 16 && bit_count != 32) return std::nullopt;
    if (!reader.Seek(kFileHeaderSize + 40) || !reader.U32Le(red_mask) ||
        !reader.U32Le(green_mask) || !reader.U32Le(blue_mask)) {
      return std::nullopt;
    }
  } else if (compression != kBiRgb) {
    return std::nullopt;
  }

  std::array<std::array<std::uint8_t, 3>, 256> palette{};
  if (bit_count == 1 || bit_count == 4 || bit_count == 8) {
    std::size_t entries = colours_used == 0 || colours_used > (1u << bit_count)
                              ? (1u << bit_count) : colours_used;
    // A table shorter than the bit count allows ends where the pixels begin.
    const std::size_t table_start = kFileHeaderSize + header_size;
    if (pixel_offset >= table_start) entries = std::min<std::size_t>(entries, (pixel_offset - table_start) / 4);
    if (!reader.Seek(table_start)) return std::nullopt;
    for (std::size_t i = 0; i < entries; ++i) {
      std::span<const std::uint8_t> entry;
      if (!reader.Take(4, entry)) return std::nullopt;
      palette[i] = {entry[0], entry[1], entry[2]};
    }
  } else if (bit_count != 16 && bit_count != 24 && bit_count != 32) {
    return std::nullopt;
  }

  const std::size_t row_bits = static_cast<std::size_t>(width) * bit_count;
  const std::size_t stride = (row_bits + 31) / 32 * 4;
  std::size_t pixel_bytes = 0;
  if (!MulSize(stride, static_cast<std::size_t>(height), pixel_bytes)) return std::nullopt;
  // The last row need not be padded.
  const std::size_t needed = pixel_bytes - stride + (row_bits + 7) / 8;
  std::span<const std::uint8_t> pixels;
  if (!reader.Seek(pixel_offset) || !reader.Take(needed, pixels)) return std::nullopt;

  Bitmap24 bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bgr.resize(pixel_count * 3);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::size_t source_row = top_down ? y : height - 1 - y;
    const std::uint8_t* in = pixels.data() + source_row * stride;
    std::uint8_t* out = bitmap.bgr.data() + static_cast<std::size_t>(y) * bitmap.RowBytes();
    for (std::int32_t x = 0; x < width; ++x, out += 3) {
      switch (bit_count) {
        case 1: case 4: case 8: {
          std::size_t bit = static_cast<std::size_t>(x) * bit_count;
          unsigned index = (in[bit / 8] >> (8 - bit_count - bit % 8)) & ((1u << bit_count) - 1);
          out[0] = palette[index][0];
          out[1] = palette[index][1];
          out[2] = palette[index][2];
          break;
        }
        case 16: {
          std::uint32_t value = in[2 * x] | in[2 * x + 1] << 8;
          out[0] = Channel(value, blue_mask);
          out[1] = Channel(value, green_mask);
          out[2] = Channel(value, red_mask);
          break;
        }
        case 24:
          out[0] = in[3 * x];
          out[1] = in[3 * x + 1];
          out[2] = in[3 * x + 2];
          break;
        default: {
          const std::uint8_t* p = in + 4 * static_cast<std::size_t>(x);
          std::uint32_t value = static_cast<std::uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 |
                                static_cast<std::uint32_t>(p[3]) << 24;
          out[0] = Channel(value, blue_mask);
          out[1] = Channel(value, green_mask);
          out[2] = Channel(value, red_mask);
          break;
        }
      }
    }
  }
  return bitmap;
}

std::optional<Bitmap24> LoadBmpFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, kMaxBmpFileSize, bytes)) return std::nullopt;
  return DecodeBmp(bytes);
}

std::vector<std::uint8_t> EncodeBmp24(const Bitmap24& bitmap) {
  const std::size_t stride = (static_cast<std::size_t>(bitmap.width) * 24 + 31) / 32 * 4;
  const std::size_t image_size = stride * static_cast<std::size_t>(bitmap.height);
  std::vector<std::uint8_t> out;
  if (bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.bgr.size() != bitmap.RowBytes() * static_cast<std::size_t>(bitmap.height)) {
    return out;
  }
  out.reserve(54 + image_size);
  out.push_back('B');
  out.push_back('M');
  PutU32Le(out, static_cast<std::uint32_t>(54 + image_size));
  PutU32Le(out, 0);  // two reserved words
  PutU32Le(out, 54);
  PutU32Le(out, 40);
  PutU32Le(out, static_cast<std::uint32_t>(bitmap.width));
  PutU32Le(out, static_cast<std::uint32_t>(bitmap.height));
  PutU16Le(out, 1);
  PutU16Le(out, 24);
  PutU32Le(out, 0);
  PutU32Le(out, static_cast<std::uint32_t>(image_size));
  for (int i = 0; i < 4; ++i) PutU32Le(out, 0);  // resolutions and colour counts
  const std::size_t row_bytes = bitmap.RowBytes();
  for (int y = bitmap.height - 1; y >= 0; --y) {
    const auto* row = bitmap.bgr.data() + static_cast<std::size_t>(y) * row_bytes;
    out.insert(out.end(), row, row + row_bytes);
    out.resize(out.size() + stride - row_bytes, 0);
  }
  return out;
}

bool SaveBmp24File(const Bitmap24& bitmap, const std::string& path) {
  return WriteFileBytes(path, EncodeBmp24(bitmap));
}

bool ReadFileBytes(const std::string& path, std::size_t max_size, std::vector<std::uint8_t>& out) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  out.clear();
  std::array<std::uint8_t, 65536> block;
  std::size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    if (got > max_size - out.size()) return false;
    out.insert(out.end(), block.data(), block.data() + got);
  }
  return std::ferror(file.get()) == 0;
}

bool WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return false;
  }
  return std::fclose(file.release()) == 0;
}

}  // namespace velmorane
