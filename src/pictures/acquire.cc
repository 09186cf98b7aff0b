// Picture acquisition: the conversion chosen by extension and image format, the temp
// names (always free names in the work folder), the hex dump and the metafile and DIB
// intermediates.
#include "pictures/acquire.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/append.h"
#include "codecs/bitmap/bitmap.h"
#include "codecs/bitmap/ico.h"
#include "codecs/bitmap/metafile.h"
#include "codecs/gif/gif_decoder.h"
#include "codecs/png/png_decoder.h"
#include "codecs/png/png_encoder.h"
#include "pictures/picture_format.h"
#include "pictures/picture_list.h"
#include "platform/files.h"
#include "platform/jpeg.h"
#include "platform/picture_decoders.h"
#include "platform/svg_child.h"

namespace velmorane {

namespace {

enum class Conversion_ {
  kFailure,
  kGifToMetafile,
  kGifToDib,
  kGifToPng,
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
    // A GIF is a PNG picture: as a metafile it takes twenty times the room or more.
    // Mode 2 keeps the metafile of older versions.
    case PictureFormat::kGif:
      return wmf                ? Conversion_::kGifToDib
             : image_format == 2 ? Conversion_::kGifToMetafile
                                 : Conversion_::kGifToPng;
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
  std::unique_ptr<std::FILE, decltype(&std::fclose)> in(OpenRegularFileForReading(path),
                                                        &std::fclose);
  if (!in) return PictureFormat::kUnknown;
  char head[kSniffBytes];
  const std::size_t got = std::fread(head, 1, sizeof head, in.get());
  if (got == 0) return PictureFormat::kUnknown;
  return SniffPictureFormat(std::string_view(head, got));
}

// Decodes an SVG, WebP, TIFF or icon file into `bitmap`. An icon whose largest image is
// a PNG gives that PNG in `png` instead. A drawing that goes over its limits says so in
// the list's skip reason.
bool DecodeOtherFormat(const std::string& bytes, PictureFormat format, const SizeHint& hint,
                       PictureList& list, Bitmap24& bitmap, std::vector<std::uint8_t>& png) {
  if (bytes.size() > kMaxDecodedFileBytes) return false;
  DecodedPicture decoded;
  bool ok = false;
  switch (format) {
    case PictureFormat::kSvg: {
      SvgLimits limits;
      limits.wall_milliseconds = std::min(limits.wall_milliseconds, list.decode_milliseconds_left);
      switch (RenderSvgInChild(bytes, hint.width_attribute, hint.height_attribute, limits, decoded)) {
        case SvgOutcome::kDrawn:
          ok = true;
          break;
        case SvgOutcome::kTooSlow:
          list.skip_reason = "drawing it took longer than its time limit";
          break;
        case SvgOutcome::kTooLarge:
          list.skip_reason = "drawing it needed more memory than its limit";
          break;
        case SvgOutcome::kUnreadable:
          break;
      }
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

// A file of the picture's own that this conversion removes again, also when it is
// stopped by a signal.
// The file stays open: it is written and read back through its descriptor only.
std::string MakeTemporary(PicturedPage& c, std::string_view stem, std::string_view suffix) {
  std::string path;
  const int fd = CreateFreeFile(c.work_folder, stem, suffix, path);
  if (fd < 0) return {};
  c.pictures.temporaries.Add(path, fd);
  return path;
}

// The intermediate BMP shared by the GIF metafile conversions of a document.
std::string SharedBmpPath(PicturedPage& c) {
  if (c.pictures.shared_bmp_name.empty()) {
    const std::string path = MakeTemporary(c, "tmpro", ".bmp");
    if (path.empty()) return {};
    c.pictures.shared_bmp_name = path.substr(c.work_folder.size());
  }
  return c.work_folder + c.pictures.shared_bmp_name;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A bitmap recorded as a metafile; fills the bitmap's size. Empty when it cannot be.
std::vector<std::uint8_t> BitmapToMetafile(const Bitmap24& bitmap, bool window_extent,
                                           int& width, int& height) {
  width = bitmap.width;
  height = bitmap.height;
  MetafileLayout layout;
  if (window_extent) {
    layout.window_width = bitmap.width;
    layout.window_height = bitmap.height;
  }
  return EncodeMetafile(bitmap, layout);
}

// Decodes the GIF `gif` (read from `gif_path`) into the temporary `bmp_path` and reads
// the BMP back into `bmp_bytes`. The decoder's words about a damaged file go to the
// caller's log, a line each.
bool GifToBmpFile(const PicturedPage& c, std::string_view gif, const std::string& gif_path,
                  const std::string& bmp_path, int& width, int& height, std::string& bmp_bytes) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> gif_stream(OpenBytesForReading(gif),
                                                                &std::fclose);
  if (!gif_stream) return false;
  const int bmp_fd = c.pictures.temporaries.Descriptor(bmp_path);
  if (bmp_fd < 0) return false;
  std::unique_ptr<std::FILE, decltype(&std::fclose)> bmp(RewriteStream(bmp_fd), &std::fclose);
  if (!bmp) return false;
  GifResult result;
  DecodeGifToBmp(gif_stream.get(), bmp.get(), 1, result);
  std::string_view said = result.diagnostics;
  while (!said.empty()) {
    const std::size_t end = std::min(said.find('\n'), said.size());
    c.Note(StringF("GIF %s: %.*s", gif_path.c_str(), static_cast<int>(end), said.data()));
    said.remove_prefix(std::min(end + 1, said.size()));
  }
  if (std::fclose(bmp.release()) != 0 || !result.image_written) return false;
  width = result.width;
  height = result.height;
  return ReadDescriptor(bmp_fd, bmp_bytes);
}

std::uint32_t Be32(std::string_view b, std::size_t at) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

std::int32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
      (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8) |
      (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16) |
      (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24));
}

int Le16(std::string_view b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

bool ReadPngSize(std::string_view header, int& width, int& height) {
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (header.size() < 24) return false;
  for (std::size_t i = 0; i < 8; ++i) {
    if (static_cast<unsigned char>(header[i]) != kSignature[i]) return false;
  }
  const std::uint32_t w = Be32(header, 16), h = Be32(header, 20);
  if (w == 0 || h == 0 || w > 0x7fffffffu || h > 0x7fffffffu) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool ReadBmpInfoSize(std::string_view header, int& width, int& height) {
  if (header.size() < 26 || header[0] != 'B' || header[1] != 'M') return false;
  width = Le32(header, 18);
  height = Le32(header, 22);
  return true;
}

// The larger of a GIF's logical screen and its first image, in pixels: the decoder
// builds a bitmap of the image. 0 when the file ends before the first image.
long long GifPixels(std::string_view gif) {
  if (gif.size() < 13) return 0;
  long long pixels = static_cast<long long>(Le16(gif, 6)) * Le16(gif, 8);
  std::size_t at = 13;
  if ((static_cast<unsigned char>(gif[10]) & 0x80) != 0) at += 3u << ((gif[10] & 7) + 1);
  while (at < gif.size()) {
    const unsigned char kind = static_cast<unsigned char>(gif[at]);
    if (kind == 0x2C) {
      if (gif.size() - at < 10) break;
      return std::max(pixels, static_cast<long long>(Le16(gif, at + 5)) * Le16(gif, at + 7));
    }
    if (kind != 0x21 || gif.size() - at < 2) break;
    at += 2;  // an extension: its sub-blocks up to the empty one
    while (at < gif.size() && gif[at] != 0) at += 1 + static_cast<unsigned char>(gif[at]);
    ++at;
  }
  return pixels;
}

// The pixels a conversion would decode, from the source's header; -1 when the header
// does not tell (the decoder then refuses the file itself).
long long DecodedPixels(Conversion_ conversion, std::string_view source) {
  int width = 0, height = 0;
  switch (conversion) {
    case Conversion_::kGifToMetafile:
    case Conversion_::kGifToDib:
    case Conversion_::kGifToPng:
      return GifPixels(source);
    case Conversion_::kBmpToMetafile:
      if (ReadBmpInfoSize(source, width, height)) {
        return std::llabs(static_cast<long long>(width)) * std::llabs(static_cast<long long>(height));
      }
      return -1;
    case Conversion_::kJpegToDib:
      if (ReadJpegSize(source, width, height)) return static_cast<long long>(width) * height;
      return -1;
    case Conversion_::kPngToMetafile:
      if (ReadPngSize(source, width, height)) return static_cast<long long>(width) * height;
      return -1;
    case Conversion_::kDecoded:
      if (SniffPictureFormat(source.substr(0, kSniffBytes)) == PictureFormat::kWebp &&
          ReadWebpSize(source, width, height)) {
        return static_cast<long long>(width) * height;
      }
      return -1;
    default:
      return -1;  // dumped as it is, never decoded
  }
}

bool DumpsSourceUnchanged(Conversion_ conversion) {
  return conversion == Conversion_::kBmpToDib || conversion == Conversion_::kJpegUnchanged ||
         conversion == Conversion_::kPngUnchanged;
}

// Writes `bytes` as lower-case hexadecimal text into `stream` (null: nothing) and
// closes it. Returns the number of bytes dumped (0 = failure).
long HexDumpBytes(std::string_view bytes, std::FILE* stream) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> out(stream, &std::fclose);
  if (!out) return 0;
  static constexpr char kDigits[] = "0123456789abcdef";
  char text[2 * 4096];
  for (std::size_t start = 0; start < bytes.size(); start += 4096) {
    const std::string_view block = bytes.substr(start, 4096);
    for (std::size_t i = 0; i < block.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(block[i]);
      text[2 * i] = kDigits[b >> 4];
      text[2 * i + 1] = kDigits[b & 15];
    }
    if (std::fwrite(text, 1, 2 * block.size(), out.get()) != 2 * block.size()) return 0;
  }
  if (std::fclose(out.release()) != 0) return 0;
  return static_cast<long>(bytes.size());
}

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A source decoded to pixels may be at most this large.
constexpr std::int64_t kMaxDecodedSourceSize = std::int64_t{512} << 20;

}  // namespace

long HexDumpFile(const std::string& source, long start_offset, const std::string& hex_path) {
  std::string bytes;
  if (start_offset < 0 || !ReadBinaryFile(source, bytes)) return 0;
  if (static_cast<std::size_t>(start_offset) >= bytes.size()) return 0;
  return HexDumpBytes(std::string_view(bytes).substr(static_cast<std::size_t>(start_offset)),
                      OpenOwnFileForWriting(hex_path));
}

bool CanConvertPicture(std::string_view path, int image_format) {
  return Choose(SniffFile(std::string(path)), image_format) != Conversion_::kFailure;
}

bool AcquirePicture(PicturedPage& c, const std::string& path, PictureRecord& record,
                    const SizeHint& hint) {
  record.goal_width = 0;
  record.goal_height = 0;
  PictureList& list = c.pictures;
  list.skip_reason.clear();
  // A temporary of ours (a data: address, an inline drawing, a download) is read through
  // the descriptor it was made with.
  const int own = list.temporaries.Descriptor(path);
  std::string source;
  PictureFormat format = PictureFormat::kUnknown;
  if (own >= 0) {
    if (!ReadDescriptor(own, source)) return false;
    format = SniffPictureFormat(std::string_view(source).substr(0, kSniffBytes));
  } else {
    // Only a regular file is a picture: a FIFO, a device or a folder is never read.
    const FileKind source_kind = KindOfFile(path);
    if (source_kind != FileKind::kRegular) {
      if (source_kind != FileKind::kMissing) c.Trace("Picture is not a regular file, skipped:", path);
      return false;
    }
    format = SniffFile(path);
  }
  Conversion_ conversion = Choose(format, c.options.image_format);
  if (conversion == Conversion_::kFailure) return false;
  // A picture decoded to pixels spends the document's decoding budget; one copied as
  // it is does not.
  const bool decodes = !DumpsSourceUnchanged(conversion);
  if (decodes && list.picture_text_spent) {
    list.skip_reason = "the document's pictures reached their 256 MiB limit";
    return false;
  }
  if (decodes && (list.decode_milliseconds_left <= 0 || list.decoded_pixels_left <= 0)) {
    list.skip_reason = "the document's pictures reached their decoding limit";
    return false;
  }
  const std::int64_t source_size =
      own >= 0 ? static_cast<std::int64_t>(source.size()) : FileSize(path);
  if ((DumpsSourceUnchanged(conversion) && 2 * source_size > c.pictures.picture_text_left) ||
      source_size > kMaxDecodedSourceSize) {
    c.Trace("Picture skipped, the document's picture data would exceed its limit:", path);
    return false;
  }
  if (own < 0 && !ReadBinaryFile(path, source)) return false;
  const long long pixels = DecodedPixels(conversion, source);
  if (pixels > PictureList::kMaxDecodedPixels) {
    c.Trace("Picture skipped, more than 64 million pixels:", path);
    return false;
  }
  if (decodes && pixels > list.decoded_pixels_left) {
    list.skip_reason = "the document's pictures reached their decoding limit";
    return false;
  }
  const auto decode_start = std::chrono::steady_clock::now();

  const std::string number = std::to_string(c.pictures.records.size() + 1);
  const std::string hex_path = MakeTemporary(c, number, ".tmp");
  if (hex_path.empty()) return false;
  const int hex_fd = list.temporaries.Descriptor(hex_path);
  const auto dump = [hex_fd](std::string_view bytes) {
    return HexDumpBytes(bytes, RewriteStream(hex_fd));
  };
  std::string intermediate;  // n.tm, when the conversion needs one
  auto make_intermediate = [&]() {
    intermediate = MakeTemporary(c, number, ".tm");
    return !intermediate.empty();
  };

  long dumped = 0;
  int width = 0, height = 0;
  PictureKind kind = PictureKind::kMetafile;
  // A picture decoded here continues as PNG bytes or, in metafile mode for a bitmap,
  // straight as a metafile.
  if (conversion == Conversion_::kDecoded) {
    Bitmap24 bitmap;
    std::vector<std::uint8_t> png;
    conversion = Conversion_::kFailure;
    if (DecodeOtherFormat(source, format, hint, list, bitmap, png)) {
      if (png.empty() && c.options.image_format == 1) {
        dumped = dump(AsText(BitmapToMetafile(bitmap, false, width, height)));
      } else {
        if (png.empty()) png = EncodePng(bitmap);
        if (!png.empty()) {
          source.assign(AsText(png));
          conversion = c.options.image_format == 1 ? Conversion_::kPngToMetafile
                                                   : Conversion_::kPngUnchanged;
        }
      }
    }
  }
  // The GIF's first frame, decoded through the shared BMP file.
  const auto decode_gif = [&]() -> std::optional<Bitmap24> {
    const std::string bmp = SharedBmpPath(c);
    int screen_w = 0, screen_h = 0;
    std::string bmp_bytes;
    if (bmp.empty() || !GifToBmpFile(c, source, path, bmp, screen_w, screen_h, bmp_bytes)) {
      return std::nullopt;
    }
    return DecodeBmp(AsBytes(bmp_bytes));
  };
  switch (conversion) {
    case Conversion_::kGifToMetafile: {
      if (const std::optional<Bitmap24> bitmap = decode_gif()) {
        dumped = dump(AsText(BitmapToMetafile(*bitmap, true, width, height)));
      }
      break;
    }
    case Conversion_::kGifToPng: {
      kind = PictureKind::kPng;
      if (const std::optional<Bitmap24> bitmap = decode_gif()) {
        width = bitmap->width;
        height = bitmap->height;
        dumped = dump(AsText(EncodePng(*bitmap)));
      }
      break;
    }
    case Conversion_::kGifToDib: {
      kind = PictureKind::kDib;
      std::string bmp_bytes;
      if (make_intermediate() &&
          GifToBmpFile(c, source, path, intermediate, width, height, bmp_bytes) &&
          bmp_bytes.size() > 14) {
        dumped = dump(std::string_view(bmp_bytes).substr(14));
      }
      break;
    }
    case Conversion_::kBmpToMetafile:
      if (const std::optional<Bitmap24> bitmap = DecodeBmp(AsBytes(source))) {
        dumped = dump(AsText(BitmapToMetafile(*bitmap, false, width, height)));
      }
      break;
    case Conversion_::kBmpToDib:
      kind = PictureKind::kDib;
      if (ReadBmpInfoSize(source, width, height)) {
        dumped = dump(std::string_view(source).substr(14));
      }
      break;
    case Conversion_::kJpegUnchanged:
      kind = PictureKind::kJpeg;
      if (ReadJpegSize(source, width, height)) dumped = dump(source);
      break;
    case Conversion_::kJpegToDib: {
      kind = PictureKind::kDib;
      JpegImage image;
      if (DecodeJpeg(source, image)) {
        Bitmap24 bitmap;
        bitmap.width = image.width;
        bitmap.height = image.height;
        bitmap.bgr = std::move(image.bgr);
        width = bitmap.width;
        height = bitmap.height;
        const std::vector<std::uint8_t> bmp = EncodeBmp24(bitmap);
        if (bmp.size() > 14) dumped = dump(AsText(bmp).substr(14));
      }
      break;
    }
    case Conversion_::kPngUnchanged:
      kind = PictureKind::kPng;
      if (ReadPngSize(source, width, height)) dumped = dump(source);
      break;
    case Conversion_::kPngToMetafile: {
      if (const std::optional<Bitmap24> bitmap = DecodeBmp(PngToBmp(AsBytes(source)))) {
        dumped = dump(AsText(BitmapToMetafile(*bitmap, false, width, height)));
      }
      break;
    }
    case Conversion_::kFailure:
    case Conversion_::kDecoded:
      break;
  }
  if (!intermediate.empty()) c.pictures.temporaries.Remove(intermediate);
  if (decodes) {
    list.decode_milliseconds_left -= std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - decode_start)
                                         .count();
    list.decoded_pixels_left -= std::llabs(static_cast<long long>(width)) *
                                std::llabs(static_cast<long long>(height));
  }
  if (dumped <= 0) {
    c.pictures.temporaries.Remove(hex_path);
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
