// JPEG size and decoding with libjpeg; decoder errors come back as false, never as an
// exit of the process.
#include "platform/jpeg.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace velmorane {

namespace {

constexpr int kMaxDimension = 65500;
constexpr std::size_t kMaxPixels = std::size_t{1} << 28;  // keeps a bogus header from eating memory

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
  ErrorManager* manager = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(manager->jump, 1);
}

void OnMessage(j_common_ptr, int) {}  // warnings are not shown

// Runs `body` on a decompressor reading `bytes` after its header; false on any error.
template <typename Body>
bool WithDecompressor(std::string_view bytes, Body body) {
  if (bytes.empty()) return false;
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.emit_message = OnMessage;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool ok = body(info);
  jpeg_destroy_decompress(&info);
  return ok;
}

}  // namespace

bool ReadJpegSize(std::string_view bytes, int& width, int& height) {
  return WithDecompressor(bytes, [&](jpeg_decompress_struct& info) {
    if (info.image_width == 0 || info.image_height == 0) return false;
    width = static_cast<int>(info.image_width);
    height = static_cast<int>(info.image_height);
    return true;
  });
}

bool DecodeJpeg(std::string_view bytes, JpegImage& image) {
  return WithDecompressor(bytes, [&](jpeg_decompress_struct& info) {
    if (info.image_width == 0 || info.image_height == 0 ||
        info.image_width > kMaxDimension || info.image_height > kMaxDimension ||
        static_cast<std::size_t>(info.image_width) * info.image_height > kMaxPixels) {
      return false;
    }
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const std::size_t row_bytes = static_cast<std::size_t>(info.output_width) * 3;
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.bgr.assign(row_bytes * info.output_height, 0);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = image.bgr.data() + row_bytes * info.output_scanline;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
  });
}

}  // namespace velmorane
