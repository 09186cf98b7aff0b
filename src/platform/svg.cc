// SVG drawings through librsvg. The handle is made from memory without a base file, so
// librsvg resolves no reference to another file or to the network.
#include "platform/picture_decoders.h"

#ifdef VELMORANE_HAVE_SVG
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>

#include "platform/shared_library.h"
#endif

namespace velmorane {

#ifdef VELMORANE_HAVE_SVG

namespace {

// The librsvg, cairo and GLib functions used, from librsvg (and the libraries it brings)
// opened on the first SVG picture.
struct Rsvg {
  decltype(&g_memory_input_stream_new_from_data) memory_stream = nullptr;
  decltype(&g_object_unref) object_unref = nullptr;
  decltype(&g_error_free) error_free = nullptr;
  decltype(&rsvg_handle_new_from_stream_sync) new_from_stream = nullptr;
  decltype(&rsvg_handle_set_dpi) set_dpi = nullptr;
  decltype(&rsvg_handle_get_intrinsic_size_in_pixels) intrinsic_size_in_pixels = nullptr;
  decltype(&rsvg_handle_get_intrinsic_dimensions) intrinsic_dimensions = nullptr;
  decltype(&rsvg_handle_render_document) render_document = nullptr;
  decltype(&cairo_image_surface_create) image_surface_create = nullptr;
  decltype(&cairo_surface_status) surface_status = nullptr;
  decltype(&cairo_surface_destroy) surface_destroy = nullptr;
  decltype(&cairo_create) create = nullptr;
  decltype(&cairo_set_source_rgb) set_source_rgb = nullptr;
  decltype(&cairo_paint) paint = nullptr;
  decltype(&cairo_destroy) destroy = nullptr;
  decltype(&cairo_surface_flush) surface_flush = nullptr;
  decltype(&cairo_image_surface_get_data) image_surface_get_data = nullptr;
  decltype(&cairo_image_surface_get_stride) image_surface_get_stride = nullptr;
};

const Rsvg* LoadRsvg() {
  static const Rsvg* const loaded = []() -> const Rsvg* {
    void* library = OpenSharedLibrary("librsvg-2.so.2");
    static Rsvg rsvg;
    if (library == nullptr ||
        !ResolveSymbol(library, "g_memory_input_stream_new_from_data", rsvg.memory_stream) ||
        !ResolveSymbol(library, "g_object_unref", rsvg.object_unref) ||
        !ResolveSymbol(library, "g_error_free", rsvg.error_free) ||
        !ResolveSymbol(library, "rsvg_handle_new_from_stream_sync", rsvg.new_from_stream) ||
        !ResolveSymbol(library, "rsvg_handle_set_dpi", rsvg.set_dpi) ||
        !ResolveSymbol(library, "rsvg_handle_get_intrinsic_size_in_pixels",
                       rsvg.intrinsic_size_in_pixels) ||
        !ResolveSymbol(library, "rsvg_handle_get_intrinsic_dimensions",
                       rsvg.intrinsic_dimensions) ||
        !ResolveSymbol(library, "rsvg_handle_render_document", rsvg.render_document) ||
        !ResolveSymbol(library, "cairo_image_surface_create", rsvg.image_surface_create) ||
        !ResolveSymbol(library, "cairo_surface_status", rsvg.surface_status) ||
        !ResolveSymbol(library, "cairo_surface_destroy", rsvg.surface_destroy) ||
        !ResolveSymbol(library, "cairo_create", rsvg.create) ||
        !ResolveSymbol(library, "cairo_set_source_rgb", rsvg.set_source_rgb) ||
        !ResolveSymbol(library, "cairo_paint", rsvg.paint) ||
        !ResolveSymbol(library, "cairo_destroy", rsvg.destroy) ||
        !ResolveSymbol(library, "cairo_surface_flush", rsvg.surface_flush) ||
        !ResolveSymbol(library, "cairo_image_surface_get_data", rsvg.image_surface_get_data) ||
        !ResolveSymbol(library, "cairo_image_surface_get_stride", rsvg.image_surface_get_stride)) {
      return nullptr;
    }
    return &rsvg;
  }();
  return loaded;
}

// Owns a handle loaded from `svg`; null when the bytes do not load.
class SvgHandle {
 public:
  explicit SvgHandle(std::string_view svg) {
    if (rsvg_ == nullptr || svg.empty()) return;
    GInputStream* stream =
        rsvg_->memory_stream(svg.data(), static_cast<gssize>(svg.size()), nullptr);
    GError* error = nullptr;
    // No base file: relative and absolute references to files are refused by librsvg,
    // and it has no network loader at all.
    handle_ =
        rsvg_->new_from_stream(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
    rsvg_->object_unref(stream);
    if (error != nullptr) rsvg_->error_free(error);
    if (handle_ != nullptr) rsvg_->set_dpi(handle_, 96.0);
  }
  ~SvgHandle() {
    if (handle_ != nullptr) rsvg_->object_unref(handle_);
  }
  SvgHandle(const SvgHandle&) = delete;
  SvgHandle& operator=(const SvgHandle&) = delete;
  RsvgHandle* get() const { return handle_; }
  // The library's functions; null when librsvg cannot be opened (no handle then).
  const Rsvg* functions() const { return rsvg_; }

 private:
  const Rsvg* rsvg_ = LoadRsvg();
  RsvgHandle* handle_ = nullptr;
};

}  // namespace

bool SvgSupported() { return LoadRsvg() != nullptr; }

bool ReadSvgSize(std::string_view svg, double& width, double& height) {
  SvgHandle handle(svg);
  if (handle.get() == nullptr) return false;
  const Rsvg* rsvg = handle.functions();
  double w = 0, h = 0;
  if (rsvg->intrinsic_size_in_pixels(handle.get(), &w, &h) && w > 0 && h > 0 &&
      std::isfinite(w) && std::isfinite(h)) {
    width = w;
    height = h;
    return true;
  }
  gboolean has_width = FALSE, has_height = FALSE, has_view_box = FALSE;
  RsvgLength length_w{}, length_h{};
  RsvgRectangle view_box{};
  rsvg->intrinsic_dimensions(handle.get(), &has_width, &length_w, &has_height, &length_h,
                             &has_view_box, &view_box);
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
  const Rsvg* rsvg = handle.functions();
  cairo_surface_t* surface = rsvg->image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (rsvg->surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    rsvg->surface_destroy(surface);
    return false;
  }
  cairo_t* cr = rsvg->create(surface);
  rsvg->set_source_rgb(cr, 1, 1, 1);
  rsvg->paint(cr);
  const RsvgRectangle viewport{0, 0, static_cast<double>(width), static_cast<double>(height)};
  GError* error = nullptr;
  const gboolean drawn = rsvg->render_document(handle.get(), cr, &viewport, &error);
  if (error != nullptr) rsvg->error_free(error);
  rsvg->destroy(cr);
  rsvg->surface_flush(surface);
  bool ok = false;
  if (drawn) {
    const unsigned char* data = rsvg->image_surface_get_data(surface);
    const int stride = rsvg->image_surface_get_stride(surface);
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
  rsvg->surface_destroy(surface);
  return ok;
}

#else

bool SvgSupported() { return false; }
bool ReadSvgSize(std::string_view, double&, double&) { return false; }
bool RenderSvg(std::string_view, int, int, DecodedPicture&) { return false; }

#endif

}  // namespace velmorane
