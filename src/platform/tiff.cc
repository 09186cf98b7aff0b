// TIFF pictures through libtiff, read from memory; libtiff's messages are not shown.
#include "platform/picture_decoders.h"

#ifdef VELMORANE_HAVE_TIFF
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "platform/shared_library.h"
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


// The libtiff functions used, from the library opened on the first TIFF picture; its
// messages are silenced once, when it is opened.
struct Tiff {
  decltype(&TIFFSetErrorHandler) set_error_handler = nullptr;
  decltype(&TIFFSetWarningHandler) set_warning_handler = nullptr;
  decltype(&TIFFClientOpen) client_open = nullptr;
  decltype(&TIFFGetField) get_field = nullptr;
  decltype(&TIFFReadRGBAImageOriented) read_rgba_image_oriented = nullptr;
  decltype(&TIFFClose) close = nullptr;
};

const Tiff* LoadTiff() {
  static const Tiff* const loaded = []() -> const Tiff* {
    void* library = OpenSharedLibrary("libtiff.so.6");
    static Tiff tiff;
    if (library == nullptr ||
        !ResolveSymbol(library, "TIFFSetErrorHandler", tiff.set_error_handler) ||
        !ResolveSymbol(library, "TIFFSetWarningHandler", tiff.set_warning_handler) ||
        !ResolveSymbol(library, "TIFFClientOpen", tiff.client_open) ||
        !ResolveSymbol(library, "TIFFGetField", tiff.get_field) ||
        !ResolveSymbol(library, "TIFFReadRGBAImageOriented", tiff.read_rgba_image_oriented) ||
        !ResolveSymbol(library, "TIFFClose", tiff.close)) {
      return nullptr;
    }
    tiff.set_error_handler(nullptr);
    tiff.set_warning_handler(nullptr);
    return &tiff;
  }();
  return loaded;
}

}  // namespace

bool TiffSupported() { return LoadTiff() != nullptr; }

bool DecodeTiff(std::string_view bytes, DecodedPicture& out) {
  const Tiff* tiff = LoadTiff();
  if (tiff == nullptr) return false;
  MemoryFile file{bytes, 0};
  TIFF* tif = tiff->client_open("picture", "rm", &file, Read, Write, Seek, Close, Size, Map, Unmap);
  if (tif == nullptr) return false;
  std::uint32_t width = 0, height = 0;
  bool ok = tiff->get_field(tif, TIFFTAG_IMAGEWIDTH, &width) == 1 &&
            tiff->get_field(tif, TIFFTAG_IMAGELENGTH, &height) == 1 && width > 0 && height > 0 &&
            width <= kMaxDecodedPixels / height;
  std::vector<std::uint32_t> raster;
  if (ok) {
    const std::size_t pixels = std::size_t{width} * height;
    raster.resize(pixels);
    ok = tiff->read_rgba_image_oriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 0) == 1;
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
  tiff->close(tif);
  return ok;
}

#else

bool TiffSupported() { return false; }
bool DecodeTiff(std::string_view, DecodedPicture&) { return false; }

#endif

}  // namespace velmorane
