// TIFF pictures through libtiff, read from memory; libtiff's messages are not shown.
#include "platform/picture_decoders.h"

#ifdef VELMORANE_HAVE_TIFF
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#endif

namespace velmorane {

#ifdef VELMORANE_HAVE_TIFF

namespace {

struct MemoryFile {
  std::string_view bytes;
  toff_t pos = 0;
};

tsize_t Read(thandle_t h, tdata_t buffer, tsize_t size) {
  auto* file = static_cast<MemoryFile*>(h);
  if (size <= 0 || file->pos >= file->bytes.size()) return 0;
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), file->bytes.size() - file->pos);
  std::memcpy(buffer, file->bytes.data() + file->pos, n);
  file->pos += n;
  return static_cast<tsize_t>(n);
}

tsize_t Write(thandle_t, tdata_t, tsize_t) { return 0; }

toff_t Seek(thandle_t h, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(h);
  toff_t base = 0;
  if (whence == SEEK_CUR) base = file->pos;
  if (whence == SEEK_END) base = file->bytes.size();
  const toff_t target = base + offset;  // wraps for a negative offset below 0: refused below
  if (target > file->bytes.size()) return static_cast<toff_t>(-1);
  file->pos = target;
  return target;
}

int Close(thandle_t) { return 0; }
toff_t Size(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes.size(); }
int Map(thandle_t, tdata_t*, toff_t*) { return 0; }
void Unmap(thandle_t, tdata_t, toff_t) {}

}  // namespace

bool TiffSupported() { return true; }

bool DecodeTiff(std::string_view bytes, DecodedPicture& out) {
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  MemoryFile file{bytes, 0};
  TIFF* tif = TIFFClientOpen("picture", "rm", &file, Read, Write, Seek, Close, Size, Map, Unmap);
  if (tif == nullptr) return false;
  std::uint32_t width = 0, height = 0;
  bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) == 1 &&
            TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) == 1 && width > 0 && height > 0 &&
            width <= kMaxDecodedPixels / height;
  std::vector<std::uint32_t> raster;
  if (ok) {
    const std::size_t pixels = std::size_t{width} * height;
    raster.resize(pixels);
    ok = TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 0) == 1;
    if (ok) {
      out.width = static_cast<int>(width);
      out.height = static_cast<int>(height);
      out.bgr.resize(pixels * 3);
      for (std::size_t i = 0; i < pixels; ++i) {
        // ABGR words with the colour already multiplied by alpha: add white for the rest.
        const std::uint32_t p = raster[i];
        const unsigned alpha = TIFFGetA(p);
        auto on_white = [alpha](unsigned colour) {
          return static_cast<std::uint8_t>(std::min(255u, colour + (255 - alpha)));
        };
        out.bgr[3 * i] = on_white(TIFFGetB(p));
        out.bgr[3 * i + 1] = on_white(TIFFGetG(p));
        out.bgr[3 * i + 2] = on_white(TIFFGetR(p));
      }
    }
  }
  TIFFClose(tif);
  return ok;
}

#else

bool TiffSupported() { return false; }
bool DecodeTiff(std::string_view, DecodedPicture&) { return false; }

#endif

}  // namespace velmorane
