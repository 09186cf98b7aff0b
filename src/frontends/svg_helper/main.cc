// velmorane-svg: renders one SVG drawing for a conversion, in a process of its own that
// the converter starts with limits on time and memory (platform/svg_child.h).
// Usage: velmorane-svg ASKED-WIDTH ASKED-HEIGHT < drawing > width, height and pixels
#include <cstdlib>

#include "pictures/picture_format.h"
#include "platform/svg_child.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int asked_width = std::atoi(argv[1]);
  const int asked_height = std::atoi(argv[2]);
  const int status = velmorane::RunSvgHelper([&](double own_width, double own_height, int& width, int& height) {
    const velmorane::RenderSize size =
        velmorane::ChooseRenderSize(asked_width, asked_height, own_width, own_height);
    width = size.width;
    height = size.height;
  });
  // The pixels went out through the descriptor already; ending here skips the exit
  // handlers, among them a sanitizer's leak report on the drawing library's caches.
  std::_Exit(status);
}
