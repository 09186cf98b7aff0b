// The formats decoded by system libraries (WebP, TIFF, SVG), chosen by the input's bytes
// as the converter chooses them, on arbitrary contents.
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "pictures/picture_format.h"
#include "platform/picture_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  velmorane::DecodedPicture picture;
  bool decoded = false;
  switch (velmorane::SniffPictureFormat(bytes.substr(0, velmorane::kSniffBytes))) {
    case velmorane::PictureFormat::kWebp:
      decoded = velmorane::DecodeWebp(bytes, picture);
      break;
    case velmorane::PictureFormat::kTiff:
      decoded = velmorane::DecodeTiff(bytes, picture);
      break;
    case velmorane::PictureFormat::kSvg: {
      double width = 0, height = 0;
      if (!velmorane::ReadSvgSize(bytes, width, height)) width = height = 0;
      const velmorane::RenderSize render = velmorane::ChooseRenderSize(0, 0, width, height);
      // Small renderings keep the fuzzer fast; the size rules have their own tests.
      decoded = velmorane::RenderSvg(bytes, render.width % 64 + 1, render.height % 64 + 1, picture);
      break;
    }
    default:
      return 0;
  }
  if (!decoded) return 0;
  if (picture.width <= 0 || picture.height <= 0 ||
      static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) >
          velmorane::kMaxDecodedPixels) {
    velmorane::fuzz::Fail("picture size out of bounds");
  }
  if (picture.bgr.size() !=
      static_cast<std::size_t>(picture.width) * 3 * static_cast<std::size_t>(picture.height)) {
    velmorane::fuzz::Fail("pixel bytes differ from the size");
  }
  return 0;
}
