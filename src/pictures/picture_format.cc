// Picture formats by signature.
#include "pictures/picture_format.h"

#include <algorithm>
#include <cmath>

namespace velmorane {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// An XML text whose root element is svg: after a byte-order mark, blanks, an XML
// declaration, comments, processing instructions and a DOCTYPE.
bool LooksLikeSvg(std::string_view head) {
  if (StartsWith(head, "\xEF\xBB\xBF")) head.remove_prefix(3);
  std::size_t pos = 0;
  while (pos < head.size()) {
    pos = head.find_first_not_of(" \t\r\n", pos);
    if (pos == std::string_view::npos || head[pos] != '<') return false;
    const std::string_view rest = head.substr(pos);
    std::string_view close;
    if (StartsWith(rest, "<?")) {
      close = "?>";
    } else if (StartsWith(rest, "<!--")) {
      close = "-->";
    } else if (StartsWith(rest, "<!DOCTYPE") || StartsWith(rest, "<!doctype")) {
      // Drawing programs declare entities in an internal subset, whose declarations hold
      // ">" of their own: the DOCTYPE ends at the first ">" after its "]".
      const std::size_t bracket = rest.find_first_of("[>");
      if (bracket != std::string_view::npos && rest[bracket] == '[') {
        const std::size_t subset_end = head.find(']', pos + bracket);
        if (subset_end == std::string_view::npos) return false;
        const std::size_t end = head.find('>', subset_end);
        if (end == std::string_view::npos) return false;
        pos = end + 1;
        continue;
      }
      close = ">";
    } else {
      // The root element, possibly with a namespace prefix ("svg:svg").
      std::size_t name = 1;
      const std::size_t colon = rest.find_first_of(": \t\r\n>/", 1);
      if (colon != std::string_view::npos && rest[colon] == ':') name = colon + 1;
      return StartsWith(rest.substr(name), "svg") && rest.size() > name + 3 &&
             std::string_view(" \t\r\n>/").find(rest[name + 3]) != std::string_view::npos;
    }
    const std::size_t end = head.find(close, pos + 2);
    if (end == std::string_view::npos) return false;
    pos = end + close.size();
  }
  return false;
}

}  // namespace

PictureFormat SniffPictureFormat(std::string_view head) {
  if (StartsWith(head, "\x89PNG\r\n\x1A\n")) return PictureFormat::kPng;
  if (StartsWith(head, "\xFF\xD8\xFF")) return PictureFormat::kJpeg;
  if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) return PictureFormat::kGif;
  if (StartsWith(head, "BM")) return PictureFormat::kBmp;
  if (head.size() >= 12 && StartsWith(head, "RIFF") && head.substr(8, 4) == "WEBP") {
    return PictureFormat::kWebp;
  }
  if (head.size() >= 6 && StartsWith(head, std::string_view("\0\0\1\0", 4)) &&
      (head[4] != 0 || head[5] != 0)) {
    return PictureFormat::kIco;
  }
  if (StartsWith(head, std::string_view("II*\0", 4)) || StartsWith(head, std::string_view("MM\0*", 4))) {
    return PictureFormat::kTiff;
  }
  if (LooksLikeSvg(head)) return PictureFormat::kSvg;
  return PictureFormat::kUnknown;
}

PictureFormat SniffPictureFormat(std::span<const std::uint8_t> head) {
  return SniffPictureFormat(
      std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
}

RenderSize ChooseRenderSize(int asked_width, int asked_height, double own_width,
                            double own_height) {
  const bool own_known = own_width > 0 && own_height > 0 && std::isfinite(own_width) &&
                         std::isfinite(own_height);
  const double ow = own_known ? own_width : 300.0;
  const double oh = own_known ? own_height : 150.0;
  double w = 0, h = 0;
  if (asked_width > 0 && asked_height > 0) {
    w = asked_width;
    h = asked_height;
  } else if (asked_width > 0) {
    w = asked_width;
    h = asked_width * oh / ow;
  } else if (asked_height > 0) {
    h = asked_height;
    w = asked_height * ow / oh;
  } else {
    w = ow;
    h = oh;
  }
  const double largest = std::max(w, h);
  if (largest > kMaxRenderSide) {
    w = w * kMaxRenderSide / largest;
    h = h * kMaxRenderSide / largest;
  }
  RenderSize size;
  size.width = std::clamp(static_cast<int>(std::lround(w)), 1, kMaxRenderSide);
  size.height = std::clamp(static_cast<int>(std::lround(h)), 1, kMaxRenderSide);
  return size;
}

}  // namespace velmorane
