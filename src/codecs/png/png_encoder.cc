// PNG writing for pictures decoded from other formats (rendered drawings, icons, WebP
// and TIFF pictures), so that they embed as PNG like the pictures that arrive as PNG.
#include "codecs/png/png_encoder.h"

#include <cstdlib>
#include <string_view>

#include "codecs/png/checksums.h"
#include "codecs/png/deflate.h"

namespace velmorane {

namespace {

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, std::string_view type,
              std::span<const std::uint8_t> data) {
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t type_at = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  const std::uint32_t crc =
      UpdateCrc32(0, std::span<const std::uint8_t>(out.data() + type_at, out.size() - type_at));
  PutBe32(out, crc);
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Filter type `type` of `row` (RGB bytes) against the row above (`up`, zeros for the
// first row) into `out`.
void FilterRow(int type, const std::uint8_t* row, const std::uint8_t* up, std::size_t size,
               std::uint8_t* out) {
  for (std::size_t i = 0; i < size; ++i) {
    const int a = i >= 3 ? row[i - 3] : 0;
    const int b = up[i];
    const int c = i >= 3 ? up[i - 3] : 0;
    int predictor = 0;
    switch (type) {
      case 1: predictor = a; break;
      case 2: predictor = b; break;
      case 3: predictor = (a + b) / 2; break;
      case 4: predictor = Paeth(a, b, c); break;
      default: break;
    }
    out[i] = static_cast<std::uint8_t>(row[i] - predictor);
  }
}

// Sum of the filtered bytes taken as signed values: the usual choice heuristic.
long Cost(const std::uint8_t* bytes, std::size_t size) {
  long sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += std::abs(static_cast<int>(static_cast<std::int8_t>(bytes[i])));
  return sum;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap) {
  if (bitmap.width <= 0 || bitmap.height <= 0) return {};
  const std::size_t width = static_cast<std::size_t>(bitmap.width);
  const std::size_t height = static_cast<std::size_t>(bitmap.height);
  if (width > kMaxBitmapPixels / height) return {};
  const std::size_t row_size = width * 3;
  if (bitmap.bgr.size() != row_size * height) return {};

  std::vector<std::uint8_t> raw;
  raw.reserve((row_size + 1) * height);
  std::vector<std::uint8_t> rgb(row_size), above(row_size, 0), trial(row_size), best(row_size);
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* source = bitmap.bgr.data() + y * row_size;
    for (std::size_t x = 0; x < row_size; x += 3) {
      rgb[x] = source[x + 2];
      rgb[x + 1] = source[x + 1];
      rgb[x + 2] = source[x];
    }
    int best_type = 0;
    long best_cost = -1;
    for (int type = 0; type <= 4; ++type) {
      FilterRow(type, rgb.data(), above.data(), row_size, trial.data());
      const long cost = Cost(trial.data(), row_size);
      if (best_cost < 0 || cost < best_cost) {
        best_cost = cost;
        best_type = type;
        best.swap(trial);
      }
    }
    raw.push_back(static_cast<std::uint8_t>(best_type));
    raw.insert(raw.end(), best.begin(), best.end());
    above.swap(rgb);
    rgb.resize(row_size);
  }

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<std::uint8_t> header;
  PutBe32(header, static_cast<std::uint32_t>(width));
  PutBe32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive, none
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", ZlibCompress(raw));
  PutChunk(out, "IEND", {});
  return out;
}

}  // namespace velmorane
