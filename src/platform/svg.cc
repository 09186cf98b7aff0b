// SVG drawings through librsvg. The handle is made from memory without a base file, so
// librsvg resolves no reference to another file or to the network.
#include "platform/picture_decoders.h"

#ifdef VELMORANE_HAVE_SVG
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#endif

namespace velmorane {

#ifdef VELMORANE_HAVE_SVG

namespace {

// Owns a handle loaded from `svg`; null when the bytes do not load.
class SvgHandle {
 public:
  explicit SvgHandle(std::string_view svg) {
    if (svg.empty()) return;
    GInputStream* stream =
        g_memory_input_stream_new_from_data(svg.data(), static_cast<gssize>(svg.size()), nullptr);
    GError* error = nullptr;
    // No base file: relative and absolute references to files are refused by librsvg,
    // and it has no network loader at all.
    handle_ = rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr,
                                               &error);
    g_object_unref(stream);
    if (error != nullptr) g_error_free(error);
    if (handle_ != nullptr) rsvg_handle_set_dpi(handle_, 96.0);
  }
  ~SvgHandle() {
    if (handle_ != nullptr) g_object_unref(handle_);
  }
  SvgHandle(const SvgHandle&) = delete;
  SvgHandle& operator=(const SvgHandle&) = delete;
  RsvgHandle* get() const { return handle_; }

 private:
  RsvgHandle* handle_ = nullptr;
};

}  // namespace

bool SvgSupported() { return true; }

bool ReadSvgSize(std::string_view svg, double& width, double& height) {
  SvgHandle handle(svg);
  if (handle.get() == nullptr) return false;
  double w = 0, h = 0;
  if (rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &w, &h) && w > 0 && h > 0 &&
      std::isfinite(w) && std::isfinite(h)) {
    width = w;
    height = h;
    return true;
  }
  gboolean has_width = FALSE, has_height = FALSE, has_view_box = FALSE;
  RsvgLength length_w{}, length_h{};
  RsvgRectangle view_box{};
  rsvg_handle_get_intrinsic_dimensions(handle.get(), &has_width, &length_w, &has_height,
                                       &length_h, &has_view_box, &view_box);
  if (has_view_box && view_box.width > 0 && view_box.height > 0 &&
      std::isfinite(view_box.width) && std::isfinite(view_box.height)) {
    width = view_box.width;
    height = view_box.height;
    return true;
  }
  return false;
}

bool RenderSvg(std::string_view svg, int width, int height, DecodedPicture& out) {
  if (width <= 0 || height <= 0 ||
      static_cast<std::size_t>(width) > kMaxDecodedPixels / static_cast<std::size_t>(height)) {
    return false;
  }
  SvgHandle handle(svg);
  if (handle.get() == nullptr) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  const RsvgRectangle viewport{0, 0, static_cast<double>(width), static_cast<double>(height)};
  GError* error = nullptr;
  const gboolean drawn = rsvg_handle_render_document(handle.get(), cr, &viewport, &error);
  if (error != nullptr) g_error_free(error);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  bool ok = false;
  if (drawn) {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    out.width = width;
    out.height = height;
    out.bgr.resize(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    std::uint8_t* w = out.bgr.data();
    for (int y = 0; y < height; ++y) {
      // RGB24 pixels are 32-bit words 0x00RRGGBB in the machine's byte order.
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
      for (int x = 0; x < width; ++x) {
        const std::uint32_t pixel = row[x];
        *w++ = static_cast<std::uint8_t>(pixel);
        *w++ = static_cast<std::uint8_t>(pixel >> 8);
        *w++ = static_cast<std::uint8_t>(pixel >> 16);
      }
    }
    ok = true;
  }
  cairo_surface_destroy(surface);
  return ok;
}

#else

bool SvgSupported() { return false; }
bool ReadSvgSize(std::string_view, double&, double&) { return false; }
bool RenderSvg(std::string_view, int, int, DecodedPicture&) { return false; }

#endif

}  // namespace velmorane
