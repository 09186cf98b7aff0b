// Recognising a picture file by its first bytes, and the size a drawing is rendered at.
#ifndef VELMORANE_PICTURES_PICTURE_FORMAT_H_
#define VELMORANE_PICTURES_PICTURE_FORMAT_H_

#include <cstdint>
#include <span>
#include <string_view>

namespace velmorane {

enum class PictureFormat { kUnknown, kGif, kBmp, kJpeg, kPng, kSvg, kWebp, kIco, kTiff };

// Bytes to pass to SniffPictureFormat: enough to find the root of an SVG file behind an
// XML declaration and comments.
inline constexpr std::size_t kSniffBytes = 4096;

// The format of a file that starts with `head`; the file name plays no part.
PictureFormat SniffPictureFormat(std::span<const std::uint8_t> head);
PictureFormat SniffPictureFormat(std::string_view head);

struct RenderSize {
  int width = 0;
  int height = 0;
};

// A drawing is rendered no larger than this on either side.
inline constexpr int kMaxRenderSide = 4096;

// The pixel size to render a drawing at: the asked width and height (0 or less = not
// asked), the missing one from the drawing's own proportions; without either, the
// drawing's own size (`own_width` and `own_height`, 0 when unknown), else 300 x 150.
// Scaled down to kMaxRenderSide keeping proportions; never below 1 x 1.
RenderSize ChooseRenderSize(int asked_width, int asked_height, double own_width,
                            double own_height);

}  // namespace velmorane

#endif  // VELMORANE_PICTURES_PICTURE_FORMAT_H_
