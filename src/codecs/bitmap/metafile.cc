// Writes a bitmap as a standard Windows metafile.
#include "codecs/bitmap/metafile.h"

#include <algorithm>

#include "codecs/bitmap/byte_reader.h"

namespace velmorane {
namespace {

constexpr std::uint16_t kMetaSetWindowOrg = 0x020B;
constexpr std::uint16_t kMetaSetWindowExt = 0x020C;
constexpr std::uint16_t kMetaStretchDib = 0x0F43;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::uint16_t kDibRgbColors = 0;
constexpr int kMaxCoordinate = 32767;

bool FitsCoordinate(int value) { return value >= 0 && value <= kMaxCoordinate; }

// A record with two 16-bit parameters, stored in reverse order (y before x).
void PutPointRecord(std::vector<std::uint8_t>& out, std::uint16_t function, int x, int y) {
  PutU32Le(out, 5);
  PutU16Le(out, function);
  PutU16Le(out, static_cast<std::uint16_t>(y));
  PutU16Le(out, static_cast<std::uint16_t>(x));
}

}  // namespace

std::vector<std::uint8_t> EncodeMetafile(const Bitmap24& bitmap, const MetafileLayout& layout) {
  const int dest_width = layout.dest_width.value_or(bitmap.width);
  const int dest_height = layout.dest_height.value_or(bitmap.height);
  const int window_width = layout.window_width.value_or(0);
  const int window_height = layout.window_height.value_or(0);
  if (bitmap.width <= 0 || bitmap.height <= 0 || !FitsCoordinate(bitmap.width) ||
      !FitsCoordinate(bitmap.height) || !FitsCoordinate(dest_width) ||
      !FitsCoordinate(dest_height) || !FitsCoordinate(window_width) ||
      !FitsCoordinate(window_height) ||
      bitmap.bgr.size() != bitmap.RowBytes() * static_cast<std::size_t>(bitmap.height)) {
    return {};
  }
  // The DIB: the BMP file without its 14-byte file header.
  const std::vector<std::uint8_t> bmp = EncodeBmp24(bitmap);
  const std::size_t dib_size = bmp.size() - 14;
  const std::size_t draw_words = 14 + dib_size / 2;  // DIB size is a multiple of 4
  std::size_t total_words = 9 + draw_words + 3;
  if (layout.window_origin) total_words += 5;
  if (layout.window_width || layout.window_height) total_words += 5;
  if (total_words > UINT32_MAX) return {};

  std::vector<std::uint8_t> out;
  out.reserve(total_words * 2);
  PutU16Le(out, 1);       // memory metafile
  PutU16Le(out, 9);       // header size in words
  PutU16Le(out, 0x0300);  // version
  PutU32Le(out, static_cast<std::uint32_t>(total_words));
  PutU16Le(out, 0);       // no objects
  PutU32Le(out, static_cast<std::uint32_t>(std::max<std::size_t>(draw_words, 5)));
  PutU16Le(out, 0);
  if (layout.window_origin) PutPointRecord(out, kMetaSetWindowOrg, 0, 0);
  if (layout.window_width || layout.window_height) {
    PutPointRecord(out, kMetaSetWindowExt, window_width, window_height);
  }
  PutU32Le(out, static_cast<std::uint32_t>(draw_words));
  PutU16Le(out, kMetaStretchDib);
  PutU32Le(out, kSrcCopy);
  PutU16Le(out, kDibRgbColors);
  PutU16Le(out, static_cast<std::uint16_t>(bitmap.height));  // source height
  PutU16Le(out, static_cast<std::uint16_t>(bitmap.width));   // source width
  PutU16Le(out, 0);                                          // source y
  PutU16Le(out, 0);                                          // source x
  PutU16Le(out, static_cast<std::uint16_t>(dest_height));
  PutU16Le(out, static_cast<std::uint16_t>(dest_width));
  PutU16Le(out, 0);                                          // destination y
  PutU16Le(out, 0);                                          // destination x
  out.insert(out.end(), bmp.begin() + 14, bmp.end());
  PutU32Le(out, 3);  // end record
  PutU16Le(out, 0);
  return out;
}

bool SaveMetafileFile(const Bitmap24& bitmap, const MetafileLayout& layout,
                      const std::string& path) {
  const std::vector<std::uint8_t> bytes = EncodeMetafile(bitmap, layout);
  return !bytes.empty() && WriteFileBytes(path, bytes);
}

}  // namespace velmorane
