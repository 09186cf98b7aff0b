// Image tags: reading img attributes, locating and converting the picture, the imagertf
// pass-through, the picture groups written at the end, and the cell-width probe.
#include "rtf/pictures.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "base/append.h"
#include "base/options.h"
#include "base/paths.h"
#include "base/text_match.h"
#include "pictures/acquire.h"
#include "pictures/picture_sources.h"
#include "pictures/raw_picture.h"
#include "platform/files.h"
#include "platform/http_fetch.h"
#include "rtf/conversion.h"
#include "rtf/tables/tables.h"
#include "rtf/tag_loop.h"

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
  int fd = -1;
  const int fetched =
      FetchUrlToFile(std::string(url), local, limits, &registration, &received, &fd);
  // A failed transfer counts too: a page cannot spend the budget many times over.
  list.download_milliseconds_left -= std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
  list.download_bytes_left -= received;
  if (fetched != 0) {
    if (trace) c.Trace("Can't save remote image to: ", local);
    return {};
  }
  list.temporaries.Adopt(local, std::move(registration), fd);
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
// line and a warning) when it would go over.
bool WithinPictureTextBudget(Conversion& c, const PictureRecord& record) {
  PictureList& list = c.pictures;
  if (record.hex_length > list.picture_text_left) {
    c.Trace("Picture skipped, the document's picture data would exceed its limit");
    c.Warn("picture skipped, the document's pictures reached their 256 MiB limit");
    list.picture_text_spent = true;
    return false;
  }
  list.picture_text_left -= record.hex_length;
  return true;
}

// One warning for a picture that stays out of the document, with the reason when it can
// be told: `source` as the page gives it, `path` the file tried (a download's local copy
// when `fetched`).
void WarnPictureSkipped(Conversion& c, const std::string& source, const std::string& path,
                        bool fetched) {
  const std::string& shown = fetched ? source : path;
  if (!c.pictures.skip_reason.empty()) {
    c.Warn(StringF("picture skipped, %s: %s", c.pictures.skip_reason.c_str(), shown.c_str()));
  } else if (!fetched && IsRemote(source)) {
    c.Warn(StringF("picture skipped, remote and downloads are off: %s", source.c_str()));
  } else if (!fetched && !FileExists(path)) {
    c.Warn(StringF("picture skipped, not found: %s", path.c_str()));
  } else if (const FileKind kind = KindOfFile(path);
             !fetched && kind != FileKind::kRegular && kind != FileKind::kMissing) {
    // A FIFO, a device or a folder is never read, so its format is not known.
    c.Warn(StringF("picture skipped, not a regular file: %s", path.c_str()));
  } else if (!CanConvertPicture(path, c.options.image_format)) {
    c.Warn(StringF("picture skipped, format not supported: %s", shown.c_str()));
  } else {
    c.Warn(StringF("picture skipped, cannot be read: %s", shown.c_str()));
  }
}

// How far back from an img tag an enclosing <picture> is looked for.
constexpr std::size_t kPictureLookBehind = 8192;

// Attribute value with its character references decoded (as src values are).
std::string DecodedValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '&') {
      i += DecodeEntity(value, i, out);
    } else {
      out += value[i];
    }
  }
  return out;
}

// The srcset candidates of the <source> tags of a <picture> that encloses the img tag
// starting at `tag_start`.
std::vector<SrcsetCandidate> PictureSourceCandidates(std::string_view in, std::size_t tag_start) {
  std::vector<SrcsetCandidate> candidates;
  const std::size_t from = tag_start > kPictureLookBehind ? tag_start - kPictureLookBehind : 0;
  const std::string_view before = in.substr(from, tag_start - from);
  std::size_t open = std::string_view::npos;
  for (std::size_t at = before.size(); at-- > 0;) {
    if (before[at] != '<') continue;
    if (LooksAtNoCase(before, at, "</picture")) return candidates;
    if (LooksAtNoCase(before, at, "<picture") && at + 8 < before.size() &&
        std::string_view(" \n\t>").find(before[at + 8]) != std::string_view::npos) {
      open = at;
      break;
    }
  }
  if (open == std::string_view::npos) return candidates;
  for (std::size_t at = before.find('<', open + 1); at != std::string_view::npos;
       at = before.find('<', at + 1)) {
    if (!LooksAtNoCase(before, at, "<source") || at + 7 >= before.size() ||
        std::string_view(" \n\t/>").find(before[at + 7]) == std::string_view::npos) {
      continue;
    }
    const std::vector<TagAttribute> attributes = ParseTagAttributes(before.substr(at));
    const TagAttribute* srcset = FindAttribute(attributes, "srcset");
    if (srcset == nullptr) srcset = FindAttribute(attributes, "data-srcset");
    if (srcset == nullptr) continue;
    const TagAttribute* type = FindAttribute(attributes, "type");
    if (type != nullptr && !MaySupportPicture({}, type->value)) continue;
    for (SrcsetCandidate& candidate : ParseSrcset(DecodedValue(srcset->value))) {
      candidates.push_back(std::move(candidate));
    }
  }
  return candidates;
}

// The source to use when the tag names alternatives to src (srcset, lazy-loading
// attributes, an enclosing <picture>): src itself unless it is missing or a placeholder,
// else data-src, else the largest candidate. `found` is false when the tag has no
// alternatives, so that src is read as before.
std::string ChooseAlternativeSource(std::string_view in, std::size_t tag_start,
                                    const std::vector<TagAttribute>& attributes, bool& found) {
  const TagAttribute* src = FindAttribute(attributes, "src");
  const TagAttribute* lazy = FindAttribute(attributes, "data-src");
  std::vector<SrcsetCandidate> candidates;
  for (const char* name : {"srcset", "data-srcset"}) {
    if (const TagAttribute* srcset = FindAttribute(attributes, name)) {
      for (SrcsetCandidate& candidate : ParseSrcset(DecodedValue(srcset->value))) {
        candidates.push_back(std::move(candidate));
      }
    }
  }
  std::vector<SrcsetCandidate> from_picture = PictureSourceCandidates(in, tag_start);
  candidates.insert(candidates.end(), std::make_move_iterator(from_picture.begin()),
                    std::make_move_iterator(from_picture.end()));
  found = lazy != nullptr || !candidates.empty() ||
          FindAttribute(attributes, "srcset") != nullptr;
  if (!found) return {};
  std::string source = src == nullptr ? std::string() : DecodedValue(src->value);
  if (!IsPlaceholderSource(source)) return source;
  if (lazy != nullptr) {
    std::string value = DecodedValue(lazy->value);
    if (!IsPlaceholderSource(value) && MaySupportPicture(value)) return value;
  }
  std::string best = LargestCandidate(candidates);
  if (best.empty()) return source;
  // A scheme-relative address takes the secure scheme.
  if (best.size() > 2 && best[0] == '/' && best[1] == '/') best.insert(0, "https:");
  return best;
}

// Writes the bytes of a data: address into a new temporary in the work folder. Empty on
// failure (malformed or too large address, no free name, write error); `too_large`
// tells an address over kMaxDataUriBytes.
std::string SaveDataUri(Conversion& c, std::string_view uri, bool& too_large) {
  const std::optional<DataUri> data = DecodeDataUri(uri, &too_large);
  if (!data) return {};
  std::string path;
  const int fd =
      CreateFreeFile(c.work_folder, "data-uri", SuffixForMediaType(data->media_type), path);
  if (fd < 0) return {};
  c.pictures.temporaries.Add(path, fd);
  if (!RewriteDescriptor(fd, data->bytes)) {
    c.pictures.temporaries.Remove(path);
    return {};
  }
  return path;
}

enum class Placed { kYes, kUnreadable, kOverBudget };

// Places a converted picture (or the previous one again).
Placed PlacePicture(Conversion& c, const std::string& path, const std::string& identity,
                    int width_attribute, int height_attribute) {
  PictureList& list = c.pictures;
  PictureRecord record;
  const std::size_t place = c.output.size();
  // A picture in a table cell is kept inside the cell.
  if (CurrentRowHasOpenCell(c)) record.fit_width = CurrentCellWidth(c);
  // Paths compare without regard to case; a data: address's bytes are case-sensitive.
  const bool same = IsDataUri(identity) ? identity == list.previous_path
                                        : EqualsNoCase(identity, list.previous_path);
  if (!list.records.empty() && same) {
    // The same picture again: share its temp file, with this tag's own goal size.
    const PictureRecord& last = list.records.back();
    record.temp_name = last.temp_name;
    record.hex_length = last.hex_length;
    record.kind = last.kind;
    record.width = last.width;
    record.height = last.height;
    record.goal_width = width_attribute < 0 ? last.goal_width : width_attribute;
    record.goal_height = height_attribute < 0 ? last.goal_height : height_attribute;
    if (!WithinPictureTextBudget(c, record)) return Placed::kOverBudget;
    list.records.push_back(record);
    c.output.AddAnchor(place);
    return Placed::kYes;
  }
  c.Trace("Trying to convert image: ", path);
  if (!AcquirePicture(c, path, record, SizeHint{width_attribute, height_attribute})) {
    c.Trace("Error!");
    return Placed::kUnreadable;
  }
  c.Trace("OK!");
  SetGoalSize(record, width_attribute, height_attribute);
  if (!WithinPictureTextBudget(c, record)) {
    list.temporaries.Remove(c.work_folder + record.temp_name);
    return Placed::kOverBudget;
  }
  list.previous_path = identity;
  list.records.push_back(record);
  c.output.AddAnchor(place);
  return Placed::kYes;
}

// <img with a blank or line feed after the name; leaves the position on the ">". A
// picture that cannot be placed leaves its alternative text.
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

  const std::vector<TagAttribute> attributes =
      ParseTagAttributes(in.substr(start, c.pos + 1 - start));
  const TagAttribute* alt = FindAttribute(attributes, "alt");
  auto leave_alternative_text = [&] {
    if (alt != nullptr) WriteAlternativeText(c, alt->value);
  };

  bool has_alternatives = false;
  std::string chosen = ChooseAlternativeSource(in, start, attributes, has_alternatives);
  if (has_alternatives) {
    source = std::move(chosen);
  } else if (IsDataUri(source)) {
    // The whole address: src values are otherwise cut at 259 characters.
    if (const TagAttribute* src = FindAttribute(attributes, "src")) {
      source = DecodedValue(src->value);
    }
  }

  PictureList& list = c.pictures;
  if (list.records.size() >= PictureList::kMaxPictures) {
    c.Warn(StringF("picture skipped, the document holds %zu pictures already: %s",
                   PictureList::kMaxPictures, ShownAddress(source).c_str()));
    leave_alternative_text();
    return;
  }
  source.erase(0, source.find_first_not_of(' ') == std::string::npos
                      ? source.size()
                      : source.find_first_not_of(' '));
  c.Trace("Found image tag <img src = ",
          IsDataUri(source) ? ShownAddress(source) : source.substr(0, kMaxSourceLength));

  const std::string page_source = IsDataUri(source) ? std::string("data: address") : source;
  std::string temporary;  // a downloaded or decoded copy, deleted after the tag
  std::string identity;   // what "the same picture as the last one" compares
  if (IsDataUri(source)) {
    bool too_large = false;
    temporary = SaveDataUri(c, source, too_large);
    if (temporary.empty()) {
      c.Trace("Error!");
      c.Warn(too_large ? "picture skipped, data: address too large (more than 48 MiB of data)"
                       : "picture skipped, malformed data: address");
      leave_alternative_text();
      return;
    }
    identity = source;
    source = temporary;
  } else if (c.settings.download_images == 1 && IsRemote(source)) {
    if (UrlFileName(source).size() < 5) {
      c.Warn(StringF("picture skipped, its address names no file: %s", source.c_str()));
      leave_alternative_text();
      return;
    }
    temporary = Download(c, source, true);
    if (temporary.empty()) {
      c.Warn(StringF("picture skipped, download failed: %s", source.c_str()));
      leave_alternative_text();
      return;
    }
    source = temporary;
  }
  const std::string path = ResolvePictureSource(c.input_folder, source, true);
  if (identity.empty()) identity = path;
  const Placed placed = PlacePicture(c, path, identity, width_attribute, height_attribute);
  if (placed == Placed::kUnreadable) WarnPictureSkipped(c, page_source, path, !temporary.empty());
  if (placed != Placed::kYes) leave_alternative_text();
  if (!temporary.empty()) list.temporaries.Remove(temporary);
}

// True at an "<svg" that opens an element (a blank, line end, tab, ">" or "/" after it).
bool OpensSvg(std::string_view in, std::size_t at) {
  return LooksAtNoCase(in, at, "<svg") && at + 4 < in.size() &&
         std::string_view(" \n\t>/").find(in[at + 4]) != std::string_view::npos;
}

// Every inline <svg> element of `in` with its end: the ">" of its matching "</svg>"
// (nested svg elements counted; "<svg ... />" is its own end), npos when it is not
// closed. One pass with a stack of the open ones, so that a page of many unclosed
// elements is not scanned to its end once for each.
std::vector<std::pair<std::size_t, std::size_t>> MatchInlineSvgs(std::string_view in) {
  std::vector<std::pair<std::size_t, std::size_t>> ends;
  std::vector<std::size_t> open;  // indices into `ends`
  for (std::size_t at = in.find('<'); at != std::string_view::npos; at = in.find('<', at + 1)) {
    const bool opens = OpensSvg(in, at);
    if (!opens && !LooksAtNoCase(in, at, "</svg")) continue;
    const std::size_t close = in.find('>', at);
    if (close == std::string_view::npos) break;  // this and every open one stay unclosed
    if (opens && in[close - 1] == '/') {
      ends.emplace_back(at, close);  // inside another element it changes no depth
    } else if (opens) {
      open.push_back(ends.size());
      ends.emplace_back(at, std::string_view::npos);
    } else if (!open.empty()) {
      ends[open.back()].second = close;
      open.pop_back();
    }
  }
  return ends;
}

// The end of the inline <svg> element starting at `start` (as MatchInlineSvgs gives it),
// npos when it is not closed.
std::size_t InlineSvgEnd(Conversion& c, std::size_t start) {
  PictureList& list = c.pictures;
  const std::string_view in = c.input;
  if (list.inline_svg_input != in.data() || list.inline_svg_input_size != in.size()) {
    list.inline_svg_ends = MatchInlineSvgs(in);
    list.inline_svg_input = in.data();
    list.inline_svg_input_size = in.size();
  }
  const auto found = std::lower_bound(
      list.inline_svg_ends.begin(), list.inline_svg_ends.end(), start,
      [](const std::pair<std::size_t, std::size_t>& entry, std::size_t at) { return entry.first < at; });
  if (found == list.inline_svg_ends.end() || found->first != start) return std::string_view::npos;
  return found->second;
}

// An <svg> element of the page: its markup is rendered like an SVG file. Inline markup
// often leaves out the namespace declarations that a stand-alone file needs.
void HandleInlineSvg(Conversion& c, std::size_t end) {
  const std::string_view in = c.input;
  std::string markup(in.substr(c.pos, end + 1 - c.pos));
  const std::size_t root_end = markup.find('>');
  const std::string root = markup.substr(0, root_end);
  std::string declarations;
  if (root.find("xmlns=") == std::string::npos) {
    declarations += R"( xmlns="http://www.w3.org/2000/svg")";
  }
  if (markup.find("xlink:") != std::string::npos && root.find("xmlns:xlink") == std::string::npos) {
    declarations += R"( xmlns:xlink="http://www.w3.org/1999/xlink")";
  }
  markup.insert(4, declarations);
  // The page's text reaches here as 8-bit text (characters beyond it as references):
  // the bytes above 127 become references for the XML reader, and so does the one HTML
  // entity such markup often holds.
  std::string xml;
  xml.reserve(markup.size());
  for (std::size_t i = 0; i < markup.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(markup[i]);
    if (byte >= 0x80) {
      xml += "&#" + std::to_string(byte) + ";";
    } else if (markup.compare(i, 6, "&nbsp;") == 0) {
      xml += "&#160;";
      i += 5;
    } else {
      xml += static_cast<char>(byte);
    }
  }
  markup.swap(xml);
  c.pos = end;

  if (c.pictures.records.size() >= PictureList::kMaxPictures) return;
  c.Trace("Found image tag <svg");
  std::string path;
  const int fd = CreateFreeFile(c.work_folder, "inline", ".svg", path);
  if (fd < 0) return;
  c.pictures.temporaries.Add(path, fd);
  if (RewriteDescriptor(fd, markup)) {
    // Every inline drawing is its own picture: the temporary's name says nothing.
    c.pictures.previous_path.clear();
    PictureRecord record;
    const std::size_t place = c.output.size();
    c.Trace("Trying to convert image: ", path);
    if (AcquirePicture(c, path, record)) {
      c.Trace("OK!");
      if (WithinPictureTextBudget(c, record)) {
        c.pictures.records.push_back(record);
        c.output.AddAnchor(place);
      } else {
        c.pictures.temporaries.Remove(c.work_folder + record.temp_name);
      }
    } else {
      c.Trace("Error!");
      if (!c.pictures.skip_reason.empty()) {
        c.Warn(StringF("picture skipped, %s: inline <svg>", c.pictures.skip_reason.c_str()));
      } else {
        c.Warn("picture skipped, cannot be read: inline <svg>");
      }
    }
  }
  c.pictures.temporaries.Remove(path);
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
    const int own = downloaded.empty() ? -1 : c.pictures.temporaries.Descriptor(downloaded);
    const bool read = own >= 0 ? ReadDescriptor(own, header) : ReadBinaryFile(path, header);
    if (read && header.size() >= 8) {
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
  if (LooksAtNoCase(in, c.pos, "<svg") && c.pos + 4 < in.size() &&
      std::string_view(" \n\t>").find(in[c.pos + 4]) != std::string_view::npos) {
    const std::size_t end = InlineSvgEnd(c, c.pos);
    if (end == std::string_view::npos) return false;
    HandleInlineSvg(c, end);
    return true;
  }
  return false;
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

void PictureGroupWriter::WriteGroup(std::size_t index, ByteSink& sink) {
  const PictureRecord& record = c_.pictures.records[index];
  const int fd = c_.pictures.temporaries.Descriptor(c_.work_folder + record.temp_name);
  // The hex text streams from its file a block at a time; a file that cannot be read
  // at its start gives no group.
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::size_t left = record.hex_length >= 0 ? static_cast<std::size_t>(record.hex_length)
                                            : std::string::npos;
  std::string block(std::min(kBlock, std::max<std::size_t>(left, 1)), '\0');
  long long got = fd < 0 ? -1 : ReadDescriptorAt(fd, 0, block.data(), std::min(block.size(), left));
  if (got < 0) return;
  const ConversionOptions& o = c_.options;
  const long text_width = static_cast<long>(o.orientation == 1 ? o.paper_height : o.paper_width) -
                          o.margin_left - o.margin_right;
  // Sizes from file headers can be anything: a top-down bitmap stores its height
  // negated, and a header may claim two thousand million pixels.
  const double width = std::fabs(static_cast<double>(record.width));
  const double height = std::fabs(static_cast<double>(record.height));
  const long picw_mm = ClampToRtfNumber(width * 26.45);
  const long pich_mm = ClampToRtfNumber(height * 26.45);
  const long picwgoal = ClampToRtfNumber(15.0 * (record.goal_width > 0 ? record.goal_width : width));
  const long pichgoal = ClampToRtfNumber(15.0 * (record.goal_height > 0 ? record.goal_height : height));
  int scale = 100;
  // Scaled down to the text width, or to its cell's width inside a table.
  const long fit_width = record.fit_width > 0 && (text_width <= 0 || record.fit_width < text_width)
                             ? record.fit_width
                             : text_width;
  if (fit_width > 0 && picwgoal > fit_width) {
    scale = static_cast<int>(100.0 / (static_cast<double>(picwgoal) / fit_width));
  }
  std::string head;
  if (record.kind == PictureKind::kDib) {
    AppendF(head, "\n" R"({\pict\dibitmap0\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
            picw_mm, pich_mm, picwgoal, pichgoal, scale, scale);
  } else if (o.image_format == 1) {
    AppendF(head, "\n" R"({\pict\wmetafile8\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
            picw_mm, pich_mm, picwgoal, pichgoal, scale, scale);
  } else if (record.kind == PictureKind::kJpeg) {
    AppendF(head, "\n" R"({\pict\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\jpegblip\picscalex%d\picscaley%d)" "\n",
            ClampToRtfNumber(width), ClampToRtfNumber(height), picwgoal,
            pichgoal, scale, scale);
  } else if (record.kind == PictureKind::kPng) {
    AppendF(head, "\n" R"({\pict\pngblip\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
            ClampToRtfNumber(width), ClampToRtfNumber(height), picwgoal,
            pichgoal, scale, scale);
  } else {
    AppendF(head, "\n" R"({\pict\wmetafile8\picw%ld\pich%ld\picwgoal%ld\pichgoal%ld\picscalex%d\picscaley%d)" "\n",
            picw_mm, pich_mm, picwgoal, pichgoal, scale, scale);
  }
  if (!sink.Write(head)) return;
  std::uint64_t offset = 0;
  while (got > 0) {
    const std::size_t n = static_cast<std::size_t>(got);
    if (!sink.Write(std::string_view(block.data(), n))) return;
    offset += n;
    if (left != std::string::npos) left -= n;
    if (left == 0) break;
    got = ReadDescriptorAt(fd, offset, block.data(), std::min(block.size(), left));
  }
  (void)sink.Write("}");
}

}  // namespace velmorane
