// Picture acquisition: the conversion chosen by extension and image format, the temp
// names (always free names in the work folder), the hex dump and the metafile and DIB
// intermediates.
#include "images/acquire.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "core/conversion.h"
#include "images/bitmap/bitmap.h"
#include "images/bitmap/metafile.h"
#include "images/bitmap/ico.h"
#include "images/gif/gif_decoder.h"
#include "images/picture_format.h"
#include "images/png/png_decoder.h"
#include "images/png/png_encoder.h"
#include "platform/files.h"
#include "platform/jpeg.h"
#include "platform/picture_decoders.h"

namespace velmorane {

namespace {

enum class Conversion_ {
  kFailure,
  kGifToMetafile,
  kGifToDib,
  kBmpToMetafile,
  kBmpToDib,
  kJpegUnchanged,
  kJpegToDib,
  kPngUnchanged,
  kPngToMetafile,
  kDecoded,  // SVG, WebP, TIFF and icon bitmaps: decoded here, then PNG or metafile
};

// Largest file the decoders below read whole.
constexpr std::size_t kMaxDecodedFileBytes = std::size_t{64} << 20;

Conversion_ Choose(PictureFormat format, int image_format) {
  const bool wmf = image_format == 1;
  switch (format) {
    case PictureFormat::kGif: return wmf ? Conversion_::kGifToDib : Conversion_::kGifToMetafile;
    case PictureFormat::kBmp: return wmf ? Conversion_::kBmpToDib : Conversion_::kBmpToMetafile;
    case PictureFormat::kJpeg: return wmf ? Conversion_::kJpegToDib : Conversion_::kJpegUnchanged;
    case PictureFormat::kPng: return wmf ? Conversion_::kPngToMetafile : Conversion_::kPngUnchanged;
    case PictureFormat::kSvg:
    case PictureFormat::kWebp:
    case PictureFormat::kIco:
    case PictureFormat::kTiff:
      return Conversion_::kDecoded;
    case PictureFormat::kUnknown:
      break;
  }
  return Conversion_::kFailure;
}

PictureFormat SniffFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[kSniffBytes];
  in.read(head, sizeof head);
  const std::streamsize got = in.gcount();
  if (got <= 0) return PictureFormat::kUnknown;
  return SniffPictureFormat(std::string_view(head, static_cast<std::size_t>(got)));
}

// Decodes an SVG, WebP, TIFF or icon file into `bitmap`. An icon whose largest image is
// a PNG gives that PNG in `png` instead.
bool DecodeOtherFormat(const std::string& path, PictureFormat format, const SizeHint& hint,
                       Bitmap24& bitmap, std::vector<std::uint8_t>& png) {
  if (FileSize(path) > static_cast<std::int64_t>(kMaxDecodedFileBytes)) return false;
  std::string bytes;
  if (!ReadBinaryFile(path, bytes)) return false;
  DecodedPicture decoded;
  bool ok = false;
  switch (format) {
    case PictureFormat::kSvg: {
      double own_width = 0, own_height = 0;
      if (!ReadSvgSize(bytes, own_width, own_height)) own_width = own_height = 0;
      const RenderSize size =
          ChooseRenderSize(hint.width_attribute, hint.height_attribute, own_width, own_height);
      ok = RenderSvg(bytes, size.width, size.height, decoded);
      break;
    }
    case PictureFormat::kWebp:
      ok = DecodeWebp(bytes, decoded);
      break;
    case PictureFormat::kTiff:
      ok = DecodeTiff(bytes, decoded);
      break;
    case PictureFormat::kIco: {
      const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
      std::optional<IconImage> icon = DecodeIco(std::span<const std::uint8_t>(data, bytes.size()));
      if (!icon) return false;
      if (!icon->png.empty()) {
        png = std::move(icon->png);
        return true;
      }
      bitmap = std::move(icon->bitmap);
      return true;
    }
    default:
      return false;
  }
  if (!ok) return false;
  bitmap.width = decoded.width;
  bitmap.height = decoded.height;
  bitmap.bgr = std::move(decoded.bgr);
  return true;
}

// The intermediate BMP shared by the GIF and PNG metafile conversions of a document.
std::string SharedBmpPath(Conversion& c) {
  if (c.pictures.shared_bmp_name.empty()) {
    const std::string path = CreateFreeName(c.work_folder, "tmpro", ".bmp");
    if (path.empty()) return {};
    c.pictures.shared_bmp_name = path.substr(c.work_folder.size());
  }
  return c.work_folder + c.pictures.shared_bmp_name;
}

// Records a BMP file as a metafile into `metafile_path`; fills the bitmap's size.
bool BmpFileToMetafile(const std::string& bmp_path, const std::string& metafile_path,
                       bool window_extent, int& width, int& height) {
  const std::optional<Bitmap24> bitmap = LoadBmpFile(bmp_path);
  if (!bitmap) return false;
  width = bitmap->width;
  height = bitmap->height;
  MetafileLayout layout;
  if (window_extent) {
    layout.window_width = bitmap->width;
    layout.window_height = bitmap->height;
  }
  return SaveMetafileFile(*bitmap, layout, metafile_path);
}

bool GifToBmpFile(const std::string& gif_path, const std::string& bmp_path, int& width,
                  int& height) {
  GifResult result;
  if (!DecodeGifFileToBmp(gif_path, bmp_path, result) || !result.image_written) return false;
  width = result.width;
  height = result.height;
  return true;
}

bool ReadPngSize(const std::string& path, int& width, int& height) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[24];
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (int i = 0; i < 8; ++i) {
    if (header[i] != kSignature[i]) return false;
  }
  auto be32 = [&](int at) {
    return (static_cast<unsigned>(header[at]) << 24) | (header[at + 1] << 16) |
           (header[at + 2] << 8) | header[at + 3];
  };
  const unsigned w = be32(16), h = be32(20);
  if (w == 0 || h == 0 || w > 0x7fffffffu || h > 0x7fffffffu) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool ReadBmpInfoSize(const std::string& path, int& width, int& height) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[26];
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  if (header[0] != 'B' || header[1] != 'M') return false;
  auto le32 = [&](int at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(header[at]) |
                                     (static_cast<std::uint32_t>(header[at + 1]) << 8) |
                                     (static_cast<std::uint32_t>(header[at + 2]) << 16) |
                                     (static_cast<std::uint32_t>(header[at + 3]) << 24));
  };
  width = le32(18);
  height = le32(22);
  return true;
}

}  // namespace

std::string CreateFreeName(const std::string& folder, std::string_view stem,
                           std::string_view suffix) {
  constexpr int kMaxTries = 10000;
  for (int k = 1; k <= kMaxTries; ++k) {
    std::string name(stem);
    if (k > 1) name += "-" + std::to_string(k);
    name += suffix;
    const std::string path = folder + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

long HexDumpFile(const std::string& source, long start_offset, const std::string& hex_path) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return 0;
  std::ofstream out(hex_path, std::ios::binary | std::ios::trunc);
  if (!out) return 0;
  in.seekg(start_offset, std::ios::beg);
  if (!in) return 0;
  static constexpr char kDigits[] = "0123456789abcdef";
  char block[4096];
  char text[2 * sizeof block];
  long dumped = 0;
  while (in) {
    in.read(block, sizeof block);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    for (std::streamsize i = 0; i < got; ++i) {
      const unsigned char b = static_cast<unsigned char>(block[i]);
      text[2 * i] = kDigits[b >> 4];
      text[2 * i + 1] = kDigits[b & 15];
    }
    out.write(text, 2 * got);
    dumped += static_cast<long>(got);
  }
  out.close();
  return out.fail() ? 0 : dumped;
}

bool AcquirePicture(Conversion& c, const std::string& path, PictureRecord& record,
                    const SizeHint& hint) {
  record.goal_width = 0;
  record.goal_height = 0;
  const PictureFormat format = SniffFile(path);
  Conversion_ conversion = Choose(format, c.options.image_format);
  if (conversion == Conversion_::kFailure) return false;

  const std::string number = std::to_string(c.pictures.records.size() + 1);
  const std::string hex_path = CreateFreeName(c.work_folder, number, ".tmp");
  if (hex_path.empty()) return false;
  std::string intermediate;  // n.tm, when the conversion needs one
  auto make_intermediate = [&]() {
    intermediate = CreateFreeName(c.work_folder, number, ".tm");
    return !intermediate.empty();
  };

  long dumped = 0;
  int width = 0, height = 0;
  PictureKind kind = PictureKind::kMetafile;
  // A picture decoded here continues as a PNG file (n.png) or, in metafile mode for a
  // bitmap, straight as a metafile.
  std::string source = path;
  std::string unpacked;
  if (conversion == Conversion_::kDecoded) {
    Bitmap24 bitmap;
    std::vector<std::uint8_t> png;
    conversion = Conversion_::kFailure;
    if (DecodeOtherFormat(path, format, hint, bitmap, png)) {
      if (png.empty() && c.options.image_format == 1) {
        if (make_intermediate() && SaveMetafileFile(bitmap, MetafileLayout{}, intermediate)) {
          width = bitmap.width;
          height = bitmap.height;
          dumped = HexDumpFile(intermediate, 0, hex_path);
        }
      } else {
        if (png.empty()) png = EncodePng(bitmap);
        unpacked = CreateFreeName(c.work_folder, number, ".png");
        if (!png.empty() && !unpacked.empty() && WriteFileBytes(unpacked, png)) {
          source = unpacked;
          conversion = c.options.image_format == 1 ? Conversion_::kPngToMetafile
                                                   : Conversion_::kPngUnchanged;
        }
      }
    }
  }
  switch (conversion) {
    case Conversion_::kGifToMetafile: {
      const std::string bmp = SharedBmpPath(c);
      int screen_w = 0, screen_h = 0;
      if (!bmp.empty() && GifToBmpFile(source, bmp, screen_w, screen_h) && make_intermediate() &&
          BmpFileToMetafile(bmp, intermediate, true, width, height)) {
        dumped = HexDumpFile(intermediate, 0, hex_path);
      }
      break;
    }
    case Conversion_::kGifToDib:
      kind = PictureKind::kDib;
      if (make_intermediate() && GifToBmpFile(source, intermediate, width, height)) {
        dumped = HexDumpFile(intermediate, 14, hex_path);
      }
      break;
    case Conversion_::kBmpToMetafile:
      if (make_intermediate() && BmpFileToMetafile(source, intermediate, false, width, height)) {
        dumped = HexDumpFile(intermediate, 0, hex_path);
      }
      break;
    case Conversion_::kBmpToDib:
      kind = PictureKind::kDib;
      if (ReadBmpInfoSize(source, width, height)) dumped = HexDumpFile(source, 14, hex_path);
      break;
    case Conversion_::kJpegUnchanged: {
      kind = PictureKind::kJpeg;
      std::string bytes;
      if (ReadBinaryFile(source, bytes) && ReadJpegSize(bytes, width, height)) {
        dumped = HexDumpFile(source, 0, hex_path);
      }
      break;
    }
    case Conversion_::kJpegToDib: {
      kind = PictureKind::kDib;
      std::string bytes;
      JpegImage image;
      if (ReadBinaryFile(source, bytes) && DecodeJpeg(bytes, image) && make_intermediate()) {
        Bitmap24 bitmap;
        bitmap.width = image.width;
        bitmap.height = image.height;
        bitmap.bgr = std::move(image.bgr);
        width = bitmap.width;
        height = bitmap.height;
        if (SaveBmp24File(bitmap, intermediate)) {
          dumped = HexDumpFile(intermediate, 14, hex_path);
        }
      }
      break;
    }
    case Conversion_::kPngUnchanged:
      kind = PictureKind::kPng;
      if (ReadPngSize(source, width, height)) dumped = HexDumpFile(source, 0, hex_path);
      break;
    case Conversion_::kPngToMetafile: {
      const std::string bmp = SharedBmpPath(c);
      if (!bmp.empty() && ConvertPngToBmp(source, bmp) == 0 && make_intermediate() &&
          BmpFileToMetafile(bmp, intermediate, false, width, height)) {
        dumped = HexDumpFile(intermediate, 0, hex_path);
      }
      break;
    }
    case Conversion_::kFailure:
    case Conversion_::kDecoded:
      break;
  }
  if (!intermediate.empty()) std::remove(intermediate.c_str());
  if (!unpacked.empty()) std::remove(unpacked.c_str());
  if (dumped <= 0) {
    std::remove(hex_path.c_str());
    return false;
  }
  record.temp_name = hex_path.substr(c.work_folder.size());
  record.hex_length = 2 * dumped;
  record.kind = kind;
  record.width = width;
  record.height = height;
  return true;
}

}  // namespace velmorane
