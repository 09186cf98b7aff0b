// Icon decoding. A bitmap entry is an info header whose height counts the colour rows and
// the mask rows together, the colour rows, then a one-bit mask (1 = transparent).
#include "codecs/bitmap/ico.h"

#include <algorithm>

#include "codecs/bitmap/byte_reader.h"
#include "platform/picture_decoders.h"

namespace velmorane {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// One bitmap entry (`dib` starts at its info header).
std::optional<Bitmap24> DecodeIconBitmap(std::span<const std::uint8_t> dib) {
  if (dib.size() < 40) return std::nullopt;
  const std::uint32_t header_size = Le32(dib, 0);
  const auto width = static_cast<std::int32_t>(Le32(dib, 4));
  const auto both_heights = static_cast<std::int32_t>(Le32(dib, 8));
  const std::uint16_t bit_count = Le16(dib, 14);
  const std::uint32_t compression = Le32(dib, 16);
  std::uint32_t colours_used = Le32(dib, 32);
  if (header_size < 40 || header_size > dib.size() || width <= 0 || width > 4096 ||
      both_heights < 2 || both_heights > 8192 || compression != 0) {
    return std::nullopt;
  }
  const int height = both_heights / 2;
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32) {
    return std::nullopt;
  }
  if (bit_count <= 8 && (colours_used == 0 || colours_used > (1u << bit_count))) {
    colours_used = 1u << bit_count;
  }
  if (bit_count > 8) colours_used = 0;
  const std::size_t palette_at = header_size;
  const std::size_t pixels_at = palette_at + 4 * std::size_t{colours_used};
  const std::size_t stride = (static_cast<std::size_t>(width) * bit_count + 31) / 32 * 4;
  const std::size_t mask_stride = (static_cast<std::size_t>(width) + 31) / 32 * 4;
  const std::size_t mask_at = pixels_at + stride * static_cast<std::size_t>(height);
  if (mask_at > dib.size()) return std::nullopt;
  // Some icons leave the mask out after 32-bit rows; it is then taken as all opaque.
  const bool has_mask = mask_at + mask_stride * static_cast<std::size_t>(height) <= dib.size();

  bool alpha_used = false;
  if (bit_count == 32) {
    for (int y = 0; y < height && !alpha_used; ++y) {
      const std::size_t row = pixels_at + static_cast<std::size_t>(y) * stride;
      for (int x = 0; x < width; ++x) {
        if (dib[row + 4 * static_cast<std::size_t>(x) + 3] != 0) {
          alpha_used = true;
          break;
        }
      }
    }
  }

  Bitmap24 bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bgr.resize(bitmap.RowBytes() * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const std::size_t stored = static_cast<std::size_t>(height - 1 - y);  // rows bottom first
    const std::size_t row = pixels_at + stored * stride;
    std::uint8_t* out = bitmap.bgr.data() + static_cast<std::size_t>(y) * bitmap.RowBytes();
    for (int x = 0; x < width; ++x) {
      const auto ux = static_cast<std::size_t>(x);
      std::uint8_t b = 0, g = 0, r = 0, a = 255;
      if (bit_count == 32) {
        b = dib[row + 4 * ux];
        g = dib[row + 4 * ux + 1];
        r = dib[row + 4 * ux + 2];
        if (alpha_used) a = dib[row + 4 * ux + 3];
      } else if (bit_count == 24) {
        b = dib[row + 3 * ux];
        g = dib[row + 3 * ux + 1];
        r = dib[row + 3 * ux + 2];
      } else {
        const std::size_t bit = ux * bit_count;
        const unsigned index =
            (dib[row + bit / 8] >> (8 - bit_count - bit % 8)) & ((1u << bit_count) - 1);
        if (index < colours_used) {
          const std::size_t entry = palette_at + 4 * std::size_t{index};
          b = dib[entry];
          g = dib[entry + 1];
          r = dib[entry + 2];
        }
      }
      if (!alpha_used && has_mask) {
        const std::size_t mask_row = mask_at + stored * mask_stride;
        if ((dib[mask_row + ux / 8] >> (7 - ux % 8)) & 1) a = 0;
      }
      out[3 * ux] = BlendOnWhite(b, a);
      out[3 * ux + 1] = BlendOnWhite(g, a);
      out[3 * ux + 2] = BlendOnWhite(r, a);
    }
  }
  return bitmap;
}

}  // namespace

bool LooksLikeIco(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0 &&
         (bytes[4] != 0 || bytes[5] != 0);
}

std::optional<IconImage> DecodeIco(std::span<const std::uint8_t> file) {
  if (!LooksLikeIco(file)) return std::nullopt;
  const std::size_t count = Le16(file, 4);
  struct Entry {
    long area;
    int bits;
    std::size_t offset, size;
  };
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + 16 * i;
    if (at + 16 > file.size()) break;
    const long w = file[at] == 0 ? 256 : file[at];
    const long h = file[at + 1] == 0 ? 256 : file[at + 1];
    const std::size_t size = Le32(file, at + 8), offset = Le32(file, at + 12);
    if (offset >= file.size() || size == 0 || size > file.size() - offset) continue;
    entries.push_back({w * h, Le16(file, at + 6), offset, size});
  }
  // Largest first; a broken entry gives way to the next one.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.area != b.area ? a.area > b.area : a.bits > b.bits;
  });
  for (const Entry& entry : entries) {
    const std::span<const std::uint8_t> data = file.subspan(entry.offset, entry.size);
    IconImage image;
    if (data.size() >= 8 && std::equal(data.begin(), data.begin() + 8, kPngSignature)) {
      image.png.assign(data.begin(), data.end());
      return image;
    }
    if (std::optional<Bitmap24> bitmap = DecodeIconBitmap(data)) {
      image.bitmap = std::move(*bitmap);
      return image;
    }
  }
  return std::nullopt;
}

}  // namespace velmorane
