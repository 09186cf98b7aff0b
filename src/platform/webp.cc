// WebP pictures through libwebp.
#include "platform/picture_decoders.h"

#ifdef VELMORANE_HAVE_WEBP
#include <webp/decode.h>

#include "platform/shared_library.h"
#endif

namespace velmorane {

#ifdef VELMORANE_HAVE_WEBP

namespace {

// The libwebp functions used, from the library opened on the first WebP picture.
struct Webp {
  decltype(&WebPGetFeaturesInternal) get_features = nullptr;
  decltype(&WebPDecodeBGRA) decode_bgra = nullptr;
  decltype(&WebPFree) free = nullptr;
};

const Webp* LoadWebp() {
  static const Webp* const loaded = []() -> const Webp* {
    void* library = OpenSharedLibrary("libwebp.so.7");
    static Webp webp;
    if (library == nullptr ||
        !ResolveSymbol(library, "WebPGetFeaturesInternal", webp.get_features) ||
        !ResolveSymbol(library, "WebPDecodeBGRA", webp.decode_bgra) ||
        !ResolveSymbol(library, "WebPFree", webp.free)) {
      return nullptr;
    }
    return &webp;
  }();
  return loaded;
}

}  // namespace

bool WebpSupported() { return LoadWebp() != nullptr; }

bool ReadWebpSize(std::string_view bytes, int& width, int& height) {
  const Webp* webp = LoadWebp();
  if (webp == nullptr || bytes.empty()) return false;
  WebPBitstreamFeatures features;
  if (webp->get_features(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                         &features, WEBP_DECODER_ABI_VERSION) != VP8_STATUS_OK) {
    return false;
  }
  width = features.width;
  height = features.height;
  return true;
}

bool DecodeWebp(std::string_view bytes, DecodedPicture& out) {
  const Webp* webp = LoadWebp();
  if (webp == nullptr) return false;
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  WebPBitstreamFeatures features;
  if (bytes.empty() ||
      webp->get_features(data, bytes.size(), &features, WEBP_DECODER_ABI_VERSION) !=
          VP8_STATUS_OK ||
      features.has_animation || features.width <= 0 || features.height <= 0 ||
      static_cast<std::size_t>(features.width) >
          kMaxDecodedPixels / static_cast<std::size_t>(features.height)) {
    return false;
  }
  int width = 0, height = 0;
  std::uint8_t* rgba = webp->decode_bgra(data, bytes.size(), &width, &height);
  if (rgba == nullptr) return false;
  if (width != features.width || height != features.height) {
    webp->free(rgba);
    return false;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  out.width = width;
  out.height = height;
  out.bgr.resize(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned alpha = rgba[4 * i + 3];
    for (int c = 0; c < 3; ++c) {
      out.bgr[3 * i + c] = BlendOnWhite(rgba[4 * i + c], alpha);
    }
  }
  webp->free(rgba);
  return true;
}

#else

bool WebpSupported() { return false; }
bool DecodeWebp(std::string_view, DecodedPicture&) { return false; }
bool ReadWebpSize(std::string_view, int&, int&) { return false; }

#endif

}  // namespace velmorane
