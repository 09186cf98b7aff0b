// The picture codecs as the acquisition steps use them: files in, files or bytes out.
#ifndef VELMORANE_IMAGES_CODEC_BRIDGE_H_
#define VELMORANE_IMAGES_CODEC_BRIDGE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace velmorane {

// A 24-bit picture, rows top-down, 3 bytes a pixel in blue, green, red order.
struct Bitmap24 {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr_top_down;
};

// Decodes the first image of a GIF into a BMP file; fills the logical screen size.
bool GifToBmpFile(const std::string& gif_path, const std::string& bmp_path, int& screen_width,
                  int& screen_height);

// Decodes a PNG into a BMP file. False when the PNG cannot be read or decoded.
bool PngToBmpFile(const std::string& png_path, const std::string& bmp_path);

// Loads a BMP file (1, 4, 8, 24 or 32 bits, bottom-up or top-down) as 24-bit pixels.
bool LoadBmpFile(const std::string& path, Bitmap24& bitmap);

// A standard metafile drawing the bitmap at 0,0 (with a window-extent record on request).
std::string MetafileFromBitmap(const Bitmap24& bitmap, bool window_extent);

// A 24-bit bottom-up BMP file of the bitmap.
std::string Bmp24FileBytes(const Bitmap24& bitmap);

}  // namespace velmorane

#endif  // VELMORANE_IMAGES_CODEC_BRIDGE_H_
