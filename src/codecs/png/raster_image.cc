// The raster image of the PNG decoder and its BMP writer.
#include <cstdio>

#include "codecs/bitmap/byte_reader.h"
#include "codecs/png/graphics_errors.h"
#include "codecs/png/png_decoder.h"

namespace velmorane {

void RasterImage::SetFormat(int width, int height, int bits_per_pixel, int colours) {
  if (bits_per_pixel != 1 && bits_per_pixel != 4 && bits_per_pixel != 8 && bits_per_pixel != 24) {
    throw EInvalidBitCount("Invalid bit count");
  }
  if (width < 0 || height < 0 || colours < 0 || colours > 256) {
    throw ESubscriptOutOfRange("Subscript out of range");
  }
  std::size_t stride = bits_per_pixel == 24
                           ? static_cast<std::size_t>(width) * 3
                           : (static_cast<std::size_t>(width) * bits_per_pixel + 7) / 8;
  std::size_t bytes = 0;
  if (!MulSize(stride, static_cast<std::size_t>(height), bytes) || bytes > kMaxRasterBytes) {
    throw EGraphicsAbort("Abort");
  }
  width_ = width;
  height_ = height;
  bits_per_pixel_ = bits_per_pixel;
  stride_ = stride;
  colour_map_.assign(static_cast<std::size_t>(colours), {0, 0, 0});
  pixels_.assign(bytes, 0);
  complete_ = false;
}

std::uint8_t* RasterImage::Row(int row) {
  if (row < 0 || row >= height_) throw ESubscriptOutOfRange("Subscript out of range");
  return pixels_.data() + static_cast<std::size_t>(row) * stride_;
}

const std::uint8_t* RasterImage::Row(int row) const {
  if (row < 0 || row >= height_) throw ESubscriptOutOfRange("Subscript out of range");
  return pixels_.data() + static_cast<std::size_t>(row) * stride_;
}

void RasterImage::SetColour(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  if (index < 0 || static_cast<std::size_t>(index) >= colour_map_.size()) {
    throw ESubscriptOutOfRange("Subscript out of range");
  }
  colour_map_[static_cast<std::size_t>(index)] = {blue, green, red};
}

void WriteBmp(std::vector<std::uint8_t>& out, const RasterImage& image) {
  const int bits = image.bits_per_pixel();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
    throw EBmpNotSupported("Unsupported Bitmap Format");
  }
  const std::size_t row_size = image.stride();
  const std::size_t padded = (row_size + 3) / 4 * 4;
  const std::size_t colours = bits == 24 ? 0 : image.colour_map().size();
  const std::size_t offset = 4 * colours + 54;
  const std::size_t file_size = padded * static_cast<std::size_t>(image.height()) + offset;
  out.clear();
  out.reserve(file_size);
  out.push_back('B');
  out.push_back('M');
  PutU32Le(out, static_cast<std::uint32_t>(file_size));
  PutU32Le(out, 0);  // two zero words
  PutU32Le(out, static_cast<std::uint32_t>(offset));
  PutU32Le(out, 40);
  PutU32Le(out, static_cast<std::uint32_t>(image.width()));
  PutU32Le(out, static_cast<std::uint32_t>(image.height()));
  PutU16Le(out, 1);
  PutU16Le(out, static_cast<std::uint32_t>(bits));
  for (int i = 0; i < 6; ++i) PutU32Le(out, 0);
  for (std::size_t i = 0; i < colours; ++i) {
    const auto& entry = image.colour_map()[i];
    out.insert(out.end(), entry.begin(), entry.end());
    out.push_back(0);
  }
  for (int row = 0; row < image.height(); ++row) {
    const std::uint8_t* data = image.Row(row);
    out.insert(out.end(), data, data + row_size);
    out.resize(out.size() + padded - row_size, 0);
  }
}

}  // namespace velmorane
