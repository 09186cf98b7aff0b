// Image tags: reading img attributes, locating and converting the picture, the imagertf
// pass-through, the picture groups written at the end, and the cell-width probe.
#include "images/pictures.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "core/append.h"
#include "core/conversion.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text_match.h"
#include "images/acquire.h"
#include "images/raw_picture.h"
#include "platform/files.h"
#include "platform/http_fetch.h"
#include "tags/tag_loop.h"

namespace velmorane {

namespace {

constexpr std::size_t kMaxSourceLength = 259;
constexpr std::size_t kMaxSizeText = 30;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return LooksAtNoCase(text, 0, prefix);
}

bool IsRemote(std::string_view source) {
  return StartsWithNoCase(source, "http://") || StartsWithNoCase(source, "https://");
}

// The source value after "src": `pos` is behind the name; on return it is on the last
// byte of the value. Character references are decoded.
std::string ReadSourceValue(std::string_view in, std::size_t& pos) {
  while (pos < in.size() && in[pos] != '=' && in[pos] != '>') ++pos;
  std::string value;
  if (pos >= in.size() || in[pos] == '>') return value;
  ++pos;  // the "="
  if (pos < in.size() && in[pos] == ' ') ++pos;
  char quote = 0;
  if (pos < in.size() && (in[pos] == '"' || in[pos] == '\'')) quote = in[pos++];
  while (pos < in.size()) {
    const char c = in[pos];
    if (quote != 0 ? (c == quote || c == '>')
                   : (c == '"' || c == '\'' || c == ' ' || c == '>')) {
      break;
    }
    if (c == '&') {
      std::string decoded;
      pos += DecodeEntity(in, pos, decoded) + 1;
      if (value.size() < kMaxSourceLength) value += decoded;
      continue;
    }
    if (value.size() < kMaxSourceLength) value += c;
    ++pos;
  }
  if (value.size() > kMaxSourceLength) value.resize(kMaxSourceLength);
  if (pos > 0) --pos;  // leave the scan on the last byte read; the tag walk moves on
  return value;
}

// The number of a width or height attribute: `pos` is behind the name.
int ReadSizeValue(std::string_view in, std::size_t& pos) {
  while (pos < in.size() && (in[pos] == ' ' || in[pos] == '"' || in[pos] == '\'' ||
                             in[pos] == '=')) {
    ++pos;
  }
  if (pos < in.size() && in[pos] == '\'') return 0;
  std::string text;
  while (pos < in.size() && text.size() < kMaxSizeText) {
    const unsigned char c = static_cast<unsigned char>(in[pos]);
    if (c <= 32 || c == '"' || c == '>' || c == '\'') break;
    text += static_cast<char>(c);
    ++pos;
  }
  return LeadingInt(text);
}

// Resolves a local source against the input folder: "file:" prefixes, "%20" blanks,
// "\" separators, "./" and "../" steps.
std::string ResolvePictureSource(std::string_view folder, std::string source, bool decode_blanks) {
  source = ToForwardSlashes(source);
  if (StartsWithNoCase(source, "file:")) {
    std::size_t cut = 5;
    while (cut < source.size() && source[cut] == '/') ++cut;
    source = "/" + source.substr(cut);
  }
  std::string path;
  if (!source.empty() && source[0] == '/') {
    path = source;
  } else if (source.size() > 1 && (source[0] == '.' || source[1] == '.')) {
    path = ResolveRelativePath(folder, source);
  } else {
    path = std::string(folder) + source;
  }
  std::string result;
  result.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (decode_blanks && path.compare(i, 3, "%20") == 0) {
      result += ' ';
      i += 2;
    } else if (path[i] == '/' && !result.empty() && result.back() == '/') {
      continue;
    } else {
      result += path[i];
    }
  }
  return result;
}

// The part of a URL after its last "/" or "\".
std::string_view UrlFileName(std::string_view url) {
  const std::size_t last = url.find_last_of("/\\");
  return last == std::string_view::npos ? url : url.substr(last + 1);
}

// Downloads a remote picture into a free name in the work folder, within what is left
// of the document's download time and bytes. Empty on failure.
std::string Download(Conversion& c, std::string_view url, bool trace) {
  PictureList& list = c.pictures;
  FetchLimits limits;
  const long long time_left = list.download_milliseconds_left;
  const long long bytes_left = list.download_bytes_left;
  if (time_left <= 0 || bytes_left <= 0) {
    if (trace) c.Trace("Remote picture skipped, the document's download limit is spent:", url);
    return {};
  }
  limits.total_timeout_milliseconds = static_cast<long>(
      std::min<long long>(limits.total_timeout_milliseconds, time_left));
  limits.max_bytes = std::min(limits.max_bytes, bytes_left);

  std::string_view name = UrlFileName(url);
  std::string stem(name), suffix;
  const std::size_t dot = stem.rfind('.');
  if (dot != std::string::npos) {
    suffix = stem.substr(dot);
    stem.resize(dot);
  }
  std::string local = c.work_folder + std::string(name);
  if (FileExists(local)) {
    // Never overwrite a file of the user's: take the first free variant of the name.
    for (int k = 2; k < 10000 && FileExists(local); ++k) {
      local = c.work_folder + stem + "-" + std::to_string(k) + suffix;
    }
  }
  if (trace) c.Trace("Trying to download image: ", url);
  RegisteredTemporary registration;
  const auto start = std::chrono::steady_clock::now();
  long long received = 0;
  const int fetched = FetchUrlToFile(std::string(url), local, limits, &registration, &received);
  // A failed transfer counts too: a page cannot spend the budget many times over.
  list.download_milliseconds_left -= std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
  list.download_bytes_left -= received;
  if (fetched != 0) {
    if (trace) c.Trace("Can't save remote image to: ", local);
    return {};
  }
  list.temporaries.Adopt(local, std::move(registration));
  if (trace) c.Trace("Image was downloaded OK to: ", local);
  return local;
}

// Goal sizes from the attributes and the picture's own size, keeping proportions when
// only one attribute is given.
void SetGoalSize(PictureRecord& record, int width_attribute, int height_attribute) {
  record.goal_width = 0;
  record.goal_height = 0;
  if (width_attribute > 0) {
    record.goal_width = width_attribute;
  } else if (height_attribute > 0) {
    const int q = static_cast<int>(static_cast<double>(record.height) / height_attribute);
    if (q != 0) record.goal_width = static_cast<int>(static_cast<double>(record.width) / q);
  }
  if (height_attribute > 0) {
    record.goal_height = height_attribute;
  } else if (width_attribute > 0) {
    const int q = static_cast<int>(static_cast<double>(record.width) / width_attribute);
    if (q != 0) record.goal_height = static_cast<int>(static_cast<double>(record.height) / q);
  }
}

// Counts the record's text against the document's picture data; false (and a trace
// line) when it would go over.
bool WithinPictureTextBudget(Conversion& c, const PictureRecord& record) {
  PictureList& list = c.pictures;
  if (record.hex_length > list.picture_text_left) {
    c.Trace("Picture skipped, the document's picture data would exceed its limit");
    return false;
  }
  list.picture_text_left -= record.hex_length;
  return true;
}

// <img with a blank or line feed after the name; leaves the position on the ">".
void HandleImageTag(Conversion& c) {
  const std::string_view in = c.input;
  const std::size_t start = c.pos;
  std::string source;
  int width_attribute = 0;
  int height_attribute = 0;

  std::size_t pos = start;
  while (pos < in.size() && in[pos] != '>') {
    if (LooksAtNoCase(in, pos, "src")) {
      pos += 3;
      source = ReadSourceValue(in, pos);
    } else if (LooksAtNoCase(in, pos, "alt=")) {
      pos += 4;
      if (pos < in.size() && in[pos] != '"' && in[pos] != '\'') {
        // An unquoted alternative text runs to the ">" or to the next "src".
        while (pos < in.size() && in[pos] != '>' && !LooksAtNoCase(in, pos, "src")) ++pos;
        continue;
      }
      continue;
    } else if (LooksAtNoCase(in, pos, "width")) {
      pos += 5;
      width_attribute = ReadSizeValue(in, pos);
      continue;
    } else if (LooksAtNoCase(in, pos, "height")) {
      pos += 6;
      height_attribute = ReadSizeValue(in, pos);
      continue;
    }
    if (pos < in.size() && in[pos] != '>') ++pos;
  }
  c.pos = std::min(pos, in.size() - 1);

  PictureList& list = c.pictures;
  if (list.records.size() >= PictureList::kMaxPictures) return;
  source.erase(0, source.find_first_not_of(' ') == std::string::npos
                      ? source.size()
                      : source.find_first_not_of(' '));
  PictureRecord record;
  c.Trace("Found image tag <img src = ", source);

  std::string downloaded;
  if (c.settings.download_images == 1 && IsRemote(source)) {
    if (UrlFileName(source).size() < 5) return;
    downloaded = Download(c, source, true);
    if (downloaded.empty()) return;
    source = downloaded;
  }
  const std::string path = ResolvePictureSource(c.input_folder, source, true);

  record.output_position = c.output.size();
  if (!list.records.empty() && EqualsNoCase(path, list.previous_path)) {
    // The same picture again: share its temp file, with this tag's own goal size.
    const PictureRecord& last = list.records.back();
    record.temp_name = last.temp_name;
    record.hex_length = last.hex_length;
    record.kind = last.kind;
    record.width = last.width;
    record.height = last.height;
    record.goal_width = width_attribute < 0 ? last.goal_width : width_attribute;
    record.goal_height = height_attribute < 0 ? last.goal_height : height_attribute;
    if (WithinPictureTextBudget(c, record)) list.records.push_back(record);
  } else {
    c.Trace("Trying to convert image: ", path);
    if (AcquirePicture(c, path, record)) {
      c.Trace("OK!");
      list.previous_path = path;
      SetGoalSize(record, width_attribute, height_attribute);
      if (WithinPictureTextBudget(c, record)) {
        list.records.push_back(record);
      } else {
        list.temporaries.Remove(c.work_folder + record.temp_name);
        list.previous_path.clear();
      }
    } else {
      c.Trace("Error!");
    }
  }
  if (!downloaded.empty()) list.temporaries.Remove(downloaded);
}

// <imagertf: the text up to the ">" goes into the output unchanged when it is one
// picture group; anything else could plant an object or a field in the document, so
// the tag is dropped then.
void HandleRawRtfTag(Conversion& c) {
  const std::size_t text_start = c.pos + 10;
  const std::size_t close = c.input.find('>', text_start);
  const std::size_t end = close == std::string::npos ? c.input.size() : close;
  if (text_start < end) {
    const std::string_view text = std::string_view(c.input).substr(text_start, end - text_start);
    if (IsSinglePictureGroup(text)) {
      c.output.append(text);
    } else {
      c.Trace("Tag <imagertf> dropped, it is not one {\\pict} picture group");
    }
  }
  c.pos = std::min(end, c.input.size() - 1);
}

bool FollowedByBlankOrLineFeed(std::string_view in, std::size_t pos) {
  return pos < in.size() && (in[pos] == ' ' || in[pos] == '\n');
}

// The src value of an img tag starting at `tag` (quoted up to its quote or ">", at most
// 255 characters; unquoted up to a blank, quote or ">"), references decoded.
std::string ReadProbeSource(std::string_view in, std::size_t tag) {
  constexpr std::size_t kMaxProbeSource = 255;
  std::size_t pos = tag;
  while (pos < in.size() && in[pos] != '>' && !LooksAtNoCase(in, pos, "src")) ++pos;
  if (pos >= in.size() || in[pos] == '>') return {};
  pos += 3;
  while (pos < in.size() && (in[pos] == ' ' || in[pos] == '=')) ++pos;
  char quote = 0;
  if (pos < in.size() && (in[pos] == '"' || in[pos] == '\'')) quote = in[pos++];
  std::string value;
  while (pos < in.size() && value.size() < kMaxProbeSource) {
    const char c = in[pos];
    if (quote != 0 ? (c == quote || c == '>') : (c == ' ' || c == '"' || c == '\'' || c == '>')) {
      break;
    }
    if (c == '&') {
      std::string decoded;
      pos += DecodeEntity(in, pos, decoded) + 1;
      value += decoded;
      continue;
    }
    value += c;
    ++pos;
  }
  return value;
}

}  // namespace

int ProbeCellPictureWidth(Conversion& c, std::string_view cell) {
  int width = 0;
  bool seen_image = false;
  std::size_t last_image = 0;
  for (std::size_t pos = 1; pos < cell.size(); ++pos) {
    // Every test below starts with "<": go straight to the next one.
    pos = cell.find('<', pos);
    if (pos == std::string_view::npos) break;
    if (LooksAtNoCase(cell, pos, "<table") && pos + 6 < cell.size() &&
        (cell[pos + 6] == '>' || cell[pos + 6] == ' ')) {
      // Pass over a nested table up to its own end.
      int depth = 1;
      pos += 6;
      while (pos < cell.size() && depth > 0) {
        if (cell[pos] == '<') {
          if (LooksAtNoCase(cell, pos, "<table")) ++depth;
          if (LooksAtNoCase(cell, pos, "</table")) --depth;
        }
        ++pos;
      }
      continue;
    }
    if (LooksAtNoCase(cell, pos, "</td>") || LooksAtNoCase(cell, pos, "</th>")) break;
    if (LooksAtNoCase(cell, pos, "<img ")) {
      seen_image = true;
      last_image = pos;
      for (pos += 5; pos < cell.size() && cell[pos] != '>'; ++pos) {
        if (!LooksAtNoCase(cell, pos, "width")) continue;
        while (pos < cell.size() && cell[pos] != '=' && cell[pos] != ':' && cell[pos] != '>') ++pos;
        while (pos < cell.size() && !std::isdigit(static_cast<unsigned char>(cell[pos]))) {
          if (cell[pos] == '>') return width * 16;
          ++pos;
        }
        int value = 0;
        while (pos < cell.size() && std::isdigit(static_cast<unsigned char>(cell[pos]))) {
          value = std::min(value * 10 + (cell[pos] - '0'), 1000000);
          ++pos;
        }
        width = value;
        --pos;
      }
    }
  }
  if (!seen_image || width != 0) return width * 16;

  std::string source = ReadProbeSource(cell, last_image);
  std::string downloaded;
  if (IsRemote(source)) {
    // Only with downloads allowed, and only into the work folder.
    if (c.settings.download_images != 1 || UrlFileName(source).size() < 5) return 0;
    downloaded = Download(c, source, false);
    if (downloaded.empty()) return 0;
    source = downloaded;
  }
  const std::string path = ResolvePictureSource(c.input_folder, source, false);
  if (path.size() >= 3 && LooksAtNoCase(path, path.size() - 3, "gif")) {
    std::string header;
    if (ReadBinaryFile(path, header) && header.size() >= 8) {
      width = static_cast<unsigned char>(header[6]) | (static_cast<unsigned char>(header[7]) << 8);
    }
  }
  if (!downloaded.empty()) c.pictures.temporaries.Remove(downloaded);
  return width * 16;
}

bool TryImageTag(Conversion& c) {
  const std::string_view in = c.input;
  if (c.settings.raw_rtf_passthrough == 1 && LooksAtNoCase(in, c.pos, "<imagertf") &&
      FollowedByBlankOrLineFeed(in, c.pos + 9)) {
    HandleRawRtfTag(c);
    return true;
  }
  if (LooksAtNoCase(in, c.pos, "<img") && FollowedByBlankOrLineFeed(in, c.pos + 4)) {
    HandleImageTag(c);
    return true;
  }
  return false;
}

void ShiftPicturePositions(Conversion& c, std::size_t removal_start, std::size_t removed_length) {
  for (PictureRecord& record : c.pictures.records) {
    if (record.output_position >= removal_start + removed_length) {
      record.output_position -= removed_length;
    } else if (record.output_position > removal_start) {
      record.output_position = removal_start;
    }
  }
}

void ShiftPicturePositionsForInsert(Conversion& c, std::size_t insert_at,
                                    std::size_t inserted_length) {
  for (PictureRecord& record : c.pictures.records) {
    if (record.output_position > insert_at) record.output_position += inserted_length;
  }
}

namespace {

// RTF reads a control word's number as a signed 32-bit value; a picture's sizes are
// never negative. Truncates toward zero like the integer conversion it stands for.
long ClampToRtfNumber(double value) {
  constexpr double kMax = 2147483647.0;
  if (!(value > 0)) return 0;
  return value >= kMax ? static_cast<long>(kMax) : static_cast<long>(value);
}

}  // namespace

void WritePictures(Conversion& c, std::string& document) {
  const ConversionOptions& o = c.options;
  const long text_width = static_cast<long>(o.orientation == 1 ? o.paper_height : o.paper_width) -
                          o.margin_left - o.margin_right;
  std::string result;
  std::size_t written = 0;
  for (const PictureRecord& record : c.pictures.records) {
    const std::size_t at = std::min(record.output_position, document.size());
    if (at < written) continue;  // positions never go backwards; a stale one is dropped
    result.append(document, written, at - written);
    written = at;
    std::string hex;
    if (!ReadBinaryFile(c.work_folder + record.temp_name, hex)) continue;
    if (record.hex_length >= 0 && hex.size() > static_cast<std::size_t>(record.hex_length)) {
      hex.resize(static_cast<std::size_t>(record.hex_length));
    }
    // Sizes from file headers can be anything: a top-down bitmap stores its height
    // negated, and a header may claim two thousand million pixels.
    const double width = std::fabs(static_cast<double>(record.width));
    const double height = std::fabs(static_cast<double>(record.height));
    const long picw_mm = ClampToRtfNumber(width * 26.45);
    const long pich_mm = ClampToRtfNumber(height * 26.45);
    const long picwgoal = ClampToRtfNumber(15.0 * (record.goal_width > 0 ? record.goal_width : width));
    const long pichgoal = ClampToRtfNumber(15.0 * (record.goal_height > 0 ? record.goal_height : height));
    int scale = 100;
    if (text_width > 0 && picwgoal > text_width) {
      scale = static_cast<int>(100.0 / (static_cast<double>(picwgoal) / text_width));
    }
    if (record.kind == PictureKind::kDib) {
      AppendF(result, "\n" R"({\pict\dibitmap0\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
              picw_mm, pich_mm, picwgoal, pichgoal, scale, scale);
    } else if (o.image_format == 1) {
      AppendF(result, "\n" R"({\pict\wmetafile8\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
              picw_mm, pich_mm, picwgoal, pichgoal, scale, scale);
    } else if (record.kind == PictureKind::kJpeg) {
      AppendF(result, "\n" R"({\pict\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\jpegblip\picscalex%d\picscaley%d)" "\n",
              ClampToRtfNumber(width), ClampToRtfNumber(height), picwgoal,
              pichgoal, scale, scale);
    } else if (record.kind == PictureKind::kPng) {
      AppendF(result, "\n" R"({\pict\pngblip\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
              ClampToRtfNumber(width), ClampToRtfNumber(height), picwgoal,
              pichgoal, scale, scale);
    } else {
      AppendF(result, "\n" R"({\pict\wmetafile8\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
              picw_mm, pich_mm, picwgoal, pichgoal, scale, scale);
    }
    result += hex;
    result += "}";
  }
  // The picture temporaries, the shared bitmap with them, are no longer needed.
  c.pictures.temporaries.RemoveAll();
  if (written < document.size()) result.append(document, written, std::string::npos);
  document.swap(result);
}

}  // namespace velmorane
