// WebP pictures through libwebp.
#include "platform/picture_decoders.h"

#ifdef VELMORANE_HAVE_WEBP
#include <webp/decode.h>
#endif

namespace velmorane {

#ifdef VELMORANE_HAVE_WEBP

bool WebpSupported() { return true; }

bool DecodeWebp(std::string_view bytes, DecodedPicture& out) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  WebPBitstreamFeatures features;
  if (bytes.empty() || WebPGetFeatures(data, bytes.size(), &features) != VP8_STATUS_OK ||
      features.has_animation || features.width <= 0 || features.height <= 0 ||
      static_cast<std::size_t>(features.width) >
          kMaxDecodedPixels / static_cast<std::size_t>(features.height)) {
    return false;
  }
  int width = 0, height = 0;
  std::uint8_t* rgba = WebPDecodeBGRA(data, bytes.size(), &width, &height);
  if (rgba == nullptr) return false;
  if (width != features.width || height != features.height) {
    WebPFree(rgba);
    return false;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  out.width = width;
  out.height = height;
  out.bgr.resize(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned alpha = rgba[4 * i + 3];
    for (int c = 0; c < 3; ++c) {
      out.bgr[3 * i + c] =
          static_cast<std::uint8_t>((rgba[4 * i + c] * alpha + 255 * (255 - alpha)) / 255);
    }
  }
  WebPFree(rgba);
  return true;
}

#else

bool WebpSupported() { return false; }
bool DecodeWebp(std::string_view, DecodedPicture&) { return false; }

#endif

}  // namespace velmorane
