// GIF decoding into a palette BMP file, streaming rows to their place in the file.
#ifndef VELMORANE_CODECS_GIF_GIF_DECODER_H_
#define VELMORANE_CODECS_GIF_GIF_DECODER_H_

#include <cstdio>
#include <string>

namespace velmorane {

enum class GifPictureKind { kDib };

// What the caller learns about the picture: the logical screen size.
struct GifResult {
  int width = 0;
  int height = 0;
  GifPictureKind kind = GifPictureKind::kDib;
  bool image_written = false;  // the requested image's BMP headers were written
  std::string diagnostics;     // lines about damage met in the file, each ending in "\n"
};

// Decodes image number `image_number` (counting from 1) of `gif` into `bmp`, which must
// be open for writing and seeking. Returns 1 when the trailer was reached after that
// image, else 0. Lines about damage in the file go to result.diagnostics.
int DecodeGifToBmp(std::FILE* gif, std::FILE* bmp, int image_number, GifResult& result);

// File-level entry: the first image of the GIF at `gif_path` into a new BMP file at
// `bmp_path`. True when an image was written.
[[nodiscard]] bool DecodeGifFileToBmp(const std::string& gif_path, const std::string& bmp_path,
                                      GifResult& result);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_GIF_GIF_DECODER_H_
