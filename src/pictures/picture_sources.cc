// Picture sources besides src paths.
#include "pictures/picture_sources.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace velmorane {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string LowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;  // "-" and "_": the address-safe alphabet
  if (c == '/' || c == '_') return 63;
  return -1;
}

// Percent escapes decoded; other bytes kept.
std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  unsigned buffer = 0;
  int bits = 0;
  bool padding = false;
  for (const char c : text) {
    if (IsBlank(c)) continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    const int value = Base64Value(c);
    if (value < 0 || padding) return std::nullopt;  // a stray byte, or data after "="
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  if (bits >= 6) return std::nullopt;  // one lone character cannot make a byte
  return out;
}

// The suffix of an address's path (lower case, without the dot): query and fragment
// removed.
std::string UrlSuffix(std::string_view url) {
  const std::size_t end = url.find_first_of("?#");
  if (end != std::string_view::npos) url = url.substr(0, end);
  const std::size_t slash = url.find_last_of("/\\");
  const std::size_t dot = url.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return LowerCopy(url.substr(dot + 1));
}

}  // namespace

std::vector<TagAttribute> ParseTagAttributes(std::string_view tag) {
  std::vector<TagAttribute> attributes;
  std::size_t pos = 0;
  if (pos < tag.size() && tag[pos] == '<') ++pos;
  while (pos < tag.size() && !IsBlank(tag[pos]) && tag[pos] != '>' && tag[pos] != '/') ++pos;
  while (pos < tag.size()) {
    while (pos < tag.size() && (IsBlank(tag[pos]) || tag[pos] == '/')) ++pos;
    if (pos >= tag.size() || tag[pos] == '>') break;
    TagAttribute attribute;
    const std::size_t name_start = pos;
    while (pos < tag.size() && !IsBlank(tag[pos]) && tag[pos] != '>' && tag[pos] != '=' &&
           (tag[pos] != '/' || pos == name_start)) {
      ++pos;
    }
    attribute.name = LowerCopy(tag.substr(name_start, pos - name_start));
    std::size_t look = pos;
    while (look < tag.size() && IsBlank(tag[look])) ++look;
    if (look < tag.size() && tag[look] == '=') {
      pos = look + 1;
      while (pos < tag.size() && IsBlank(tag[pos])) ++pos;
      attribute.has_value = true;
      if (pos < tag.size() && (tag[pos] == '"' || tag[pos] == '\'')) {
        const char quote = tag[pos++];
        const std::size_t close = tag.find(quote, pos);
        const std::size_t end = close == std::string_view::npos ? tag.size() : close;
        attribute.value = std::string(tag.substr(pos, end - pos));
        pos = end == tag.size() ? end : end + 1;
      } else {
        const std::size_t value_start = pos;
        while (pos < tag.size() && !IsBlank(tag[pos]) && tag[pos] != '>') ++pos;
        attribute.value = std::string(tag.substr(value_start, pos - value_start));
      }
    }
    if (!attribute.name.empty()) attributes.push_back(std::move(attribute));
  }
  return attributes;
}

const TagAttribute* FindAttribute(const std::vector<TagAttribute>& attributes,
                                  std::string_view name) {
  for (const TagAttribute& attribute : attributes) {
    if (attribute.name == name) return &attribute;
  }
  return nullptr;
}

bool IsDataUri(std::string_view source) { return StartsWithNoCase(source, "data:"); }

std::optional<DataUri> DecodeDataUri(std::string_view uri, bool* too_large) {
  if (too_large != nullptr) *too_large = false;
  const auto refuse_size = [too_large]() -> std::optional<DataUri> {
    if (too_large != nullptr) *too_large = true;
    return std::nullopt;
  };
  if (!IsDataUri(uri)) return std::nullopt;
  uri.remove_prefix(5);
  const std::size_t comma = uri.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const std::string header = LowerCopy(uri.substr(0, comma));
  const std::string_view payload = uri.substr(comma + 1);
  DataUri result;
  bool base64 = false;
  std::size_t start = 0;
  for (bool first = true;; first = false) {
    const std::size_t semicolon = header.find(';', start);
    std::string part = header.substr(start, semicolon == std::string::npos ? std::string::npos
                                                                            : semicolon - start);
    part.erase(0, part.find_first_not_of(" \t\r\n"));
    part.erase(part.find_last_not_of(" \t\r\n") + 1);
    if (first) {
      result.media_type = part;
    } else if (part == "base64") {
      base64 = true;
    }
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  // A base64 payload is no larger than 3/4 of its text; refuse a huge one before decoding.
  if (payload.size() / 4 * 3 > kMaxDataUriBytes + 3 ||
      (!base64 && payload.size() > 3 * kMaxDataUriBytes)) {
    return refuse_size();
  }
  if (base64) {
    // Percent escapes may hide in a base64 payload too ("%2B" for "+").
    const bool escaped = payload.find('%') != std::string_view::npos;
    std::optional<std::string> bytes = Base64Decode(escaped ? PercentDecode(payload) : payload);
    if (!bytes) return std::nullopt;
    result.bytes = std::move(*bytes);
  } else {
    result.bytes = PercentDecode(payload);
  }
  if (result.bytes.size() > kMaxDataUriBytes) return refuse_size();
  if (result.bytes.empty()) return std::nullopt;
  return result;
}

std::string_view SuffixForMediaType(std::string_view media_type) {
  if (media_type == "image/png") return ".png";
  if (media_type == "image/jpeg" || media_type == "image/jpg" || media_type == "image/pjpeg") {
    return ".jpg";
  }
  if (media_type == "image/gif") return ".gif";
  if (media_type == "image/bmp" || media_type == "image/x-ms-bmp") return ".bmp";
  if (media_type == "image/svg+xml") return ".svg";
  if (media_type == "image/webp") return ".webp";
  if (media_type == "image/x-icon" || media_type == "image/vnd.microsoft.icon") return ".ico";
  if (media_type == "image/tiff") return ".tif";
  return ".bin";
}

std::vector<SrcsetCandidate> ParseSrcset(std::string_view srcset) {
  std::vector<SrcsetCandidate> candidates;
  std::size_t pos = 0;
  while (pos < srcset.size()) {
    while (pos < srcset.size() && (IsBlank(srcset[pos]) || srcset[pos] == ',')) ++pos;
    if (pos >= srcset.size()) break;
    const std::size_t url_start = pos;
    while (pos < srcset.size() && !IsBlank(srcset[pos])) ++pos;
    std::string_view url = srcset.substr(url_start, pos - url_start);
    SrcsetCandidate candidate;
    bool valid = true;
    if (!url.empty() && url.back() == ',') {
      // "a.png," ends the candidate without descriptors.
      while (!url.empty() && url.back() == ',') url.remove_suffix(1);
    } else {
      // Descriptors up to the next comma outside parentheses.
      int depth = 0;
      const std::size_t start = pos;
      while (pos < srcset.size() && (srcset[pos] != ',' || depth > 0)) {
        if (srcset[pos] == '(') ++depth;
        if (srcset[pos] == ')' && depth > 0) --depth;
        ++pos;
      }
      std::string_view descriptors = srcset.substr(start, pos - start);
      std::size_t d = 0;
      while (d < descriptors.size()) {
        while (d < descriptors.size() && IsBlank(descriptors[d])) ++d;
        const std::size_t token_start = d;
        while (d < descriptors.size() && !IsBlank(descriptors[d])) ++d;
        const std::string_view token = descriptors.substr(token_start, d - token_start);
        if (token.size() < 2) {
          if (!token.empty()) valid = false;
          continue;
        }
        const std::string number(token.substr(0, token.size() - 1));
        char* end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        const bool numeric = end != nullptr && *end == '\0' && std::isfinite(value) && value > 0;
        const char unit = Lower(token.back());
        if (numeric && unit == 'w') {
          candidate.width = value;
        } else if (numeric && unit == 'x') {
          candidate.density = value;
        } else if (unit != 'h') {  // a height descriptor is allowed and ignored
          valid = false;
        }
      }
    }
    if (valid && !url.empty()) {
      candidate.url = std::string(url);
      candidates.push_back(std::move(candidate));
    }
  }
  return candidates;
}

bool MaySupportPicture(std::string_view url, std::string_view media_type) {
  static constexpr std::string_view kSupportedTypes[] = {
      "image/png", "image/jpeg", "image/jpg", "image/pjpeg", "image/gif", "image/bmp",
      "image/x-ms-bmp", "image/svg+xml", "image/webp", "image/x-icon",
      "image/vnd.microsoft.icon", "image/tiff"};
  std::string type = LowerCopy(media_type.substr(0, media_type.find(';')));
  type.erase(0, type.find_first_not_of(' '));
  type.erase(type.find_last_not_of(' ') + 1);
  if (type.empty() && IsDataUri(url)) {
    const std::string_view rest = url.substr(5);
    const std::size_t end = rest.find_first_of(";,");
    type = LowerCopy(rest.substr(0, end == std::string_view::npos ? rest.size() : end));
  }
  if (!type.empty()) {
    return std::find(std::begin(kSupportedTypes), std::end(kSupportedTypes), type) !=
           std::end(kSupportedTypes);
  }
  if (IsDataUri(url)) return true;
  static constexpr std::string_view kUnsupportedSuffixes[] = {"avif", "jxl", "heic", "heif",
                                                              "jp2", "pdf", "mp4", "webm"};
  const std::string suffix = UrlSuffix(url);
  return std::find(std::begin(kUnsupportedSuffixes), std::end(kUnsupportedSuffixes), suffix) ==
         std::end(kUnsupportedSuffixes);
}

std::string LargestCandidate(const std::vector<SrcsetCandidate>& candidates) {
  const bool by_width = std::any_of(candidates.begin(), candidates.end(),
                                    [](const SrcsetCandidate& c) { return c.width > 0; });
  const SrcsetCandidate* best = nullptr;
  for (const SrcsetCandidate& candidate : candidates) {
    if (!MaySupportPicture(candidate.url)) continue;
    const double size = by_width ? candidate.width : candidate.density;
    const double best_size = best == nullptr ? -1 : (by_width ? best->width : best->density);
    if (size > best_size) best = &candidate;
  }
  return best == nullptr ? std::string() : best->url;
}

bool IsPlaceholderSource(std::string_view source) {
  std::size_t first = 0;
  while (first < source.size() && IsBlank(source[first])) ++first;
  source.remove_prefix(first);
  if (source.empty()) return true;
  if (!IsDataUri(source)) return false;
  if (source.size() < 100) return true;
  const std::optional<DataUri> data = DecodeDataUri(source);
  if (!data) return true;  // nothing to show either way
  const std::string& b = data->bytes;
  return b.size() >= 10 && b.compare(0, 4, "GIF8") == 0 && b[6] == 1 && b[7] == 0 && b[8] == 1 &&
         b[9] == 0;
}

}  // namespace velmorane
