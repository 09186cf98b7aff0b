// Picture formats decoded by system libraries: SVG drawings (librsvg), WebP (libwebp) and
// TIFF (libtiff). Each may be left out of the build; its calls then fail.
#ifndef VELMORANE_PLATFORM_PICTURE_DECODERS_H_
#define VELMORANE_PLATFORM_PICTURE_DECODERS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmorane {

// A decoded picture: rows top to bottom, blue, green, red per pixel, transparent parts
// laid on white.
struct DecodedPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;
};

// A colour channel of a pixel with `alpha` laid on white.
inline std::uint8_t BlendOnWhite(unsigned colour, unsigned alpha) {
  return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha)) / 255);
}

// The most pixels a picture of these formats may decode to; a larger one is refused
// before anything of its size is allocated.
inline constexpr std::size_t kMaxDecodedPixels = std::size_t{25} * 1000 * 1000;

bool SvgSupported();
bool WebpSupported();
bool TiffSupported();

// The drawing's own size in pixels: its width and height, else its view box. False when
// it has neither or does not load. Nothing outside `svg` is read to find out.
[[nodiscard]] bool ReadSvgSize(std::string_view svg, double& width, double& height);

// Renders the drawing scaled into width x height pixels on white. References to other
// files or to the network are never followed (the document has no base address);
// pictures embedded as data: addresses still show.
[[nodiscard]] bool RenderSvg(std::string_view svg, int width, int height, DecodedPicture& out);

// A WebP file's size from its header, without decoding it.
[[nodiscard]] bool ReadWebpSize(std::string_view bytes, int& width, int& height);

// The first image of a WebP file (animated files are refused).
[[nodiscard]] bool DecodeWebp(std::string_view bytes, DecodedPicture& out);

// The first page of a TIFF file.
[[nodiscard]] bool DecodeTiff(std::string_view bytes, DecodedPicture& out);

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_PICTURE_DECODERS_H_
