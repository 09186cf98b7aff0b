// SVG drawings rendered in a child process with limits on time and memory, so that no
// drawing can hang a conversion or end the process: the helper program velmorane-svg
// does the work of RenderSvg and passes the pixels back.
#ifndef VELMORANE_PLATFORM_SVG_CHILD_H_
#define VELMORANE_PLATFORM_SVG_CHILD_H_

#include <functional>
#include <string>
#include <string_view>

#include "platform/picture_decoders.h"

namespace velmorane {

// What one drawing may take.
struct SvgLimits {
  int cpu_seconds = 1;                             // processor time of the helper
  long long wall_milliseconds = 1500;              // real time, then it is killed
  long long address_space_bytes = 1024LL << 20;    // all its memory mappings
};

enum class SvgOutcome {
  kDrawn,
  kUnreadable,    // not a drawing librsvg loads, or librsvg or the helper is missing
  kTooSlow,       // went over its processor or real time
  kTooLarge,      // went over its memory (the library aborted or could not map more)
};

// Renders `svg` at the size ChooseRenderSize gives for the asked width and height
// (0 = not asked) and the drawing's own size.
SvgOutcome RenderSvgInChild(std::string_view svg, int asked_width, int asked_height,
                            const SvgLimits& limits, DecodedPicture& out);

// The helper program's path; empty when none is installed where it is looked for.
const std::string& SvgHelperPath();

// The pixel size to render at from the drawing's own size (0 x 0 when it has none).
using ChooseSvgSize = std::function<void(double own_width, double own_height, int& width,
                                         int& height)>;

// The helper program's side (its main calls it): reads the drawing from descriptor 0,
// writes width, height (32-bit little-endian) and the BGR rows to descriptor 1.
// Returns the exit status: 0 drawn, 1 not drawn.
int RunSvgHelper(const ChooseSvgSize& choose);

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_SVG_CHILD_H_
