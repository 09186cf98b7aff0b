// The GIF decoder on arbitrary file contents, writing into a bounded memory file, for the
// first and the second image of the file.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "codecs/gif/gif_decoder.h"
#include "fuzz_support.h"

namespace {

// Output room: a larger picture fails its writes, which the decoder must survive.
constexpr std::size_t kOutputRoom = std::size_t{4} << 20;

// The decoder reports damage on stderr; millions of such lines would only slow the run.
// Sanitizer and libFuzzer reports do not go through the stdio stream and still show.
void QuietDiagnostics() {
  static const bool quiet = [] {
    if (std::FILE* sink = std::fopen("/dev/null", "w")) stderr = sink;
    return true;
  }();
  (void)quiet;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuietDiagnostics();
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  static std::vector<char> room(kOutputRoom);
  std::vector<char> bytes(data, data + size);
  for (int image = 1; image <= 2; ++image) {
    std::FILE* gif = ::fmemopen(bytes.data(), bytes.size(), "rb");
    std::FILE* bmp = ::fmemopen(room.data(), room.size(), "w+b");
    if (gif == nullptr || bmp == nullptr) {
      if (gif != nullptr) std::fclose(gif);
      if (bmp != nullptr) std::fclose(bmp);
      return 0;
    }
    velmorane::GifResult result;
    const int trailer = velmorane::DecodeGifToBmp(gif, bmp, image, result);
    std::fclose(gif);
    std::fclose(bmp);
    if (trailer != 0 && trailer != 1) velmorane::fuzz::Fail("unexpected return value");
    if (result.width < 0 || result.width > 0xFFFF || result.height < 0 || result.height > 0xFFFF) {
      velmorane::fuzz::Fail("screen size outside 16 bits");
    }
  }
  return 0;
}
