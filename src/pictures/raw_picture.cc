// The picture-group check of the imagertf tag: one pass over the text with a cursor
// that cannot leave it; every construct not named here refuses the whole text.
#include "pictures/raw_picture.h"

#include <algorithm>
#include <cstddef>

namespace velmorane {

namespace {

// Words that describe the picture inside {\pict ...}; none of them reads data of its own
// (\bin, which would, is not among them).
constexpr std::string_view kPictureWords[] = {
    "picw",     "pich",      "picwgoal",     "pichgoal",  "picscalex",     "picscaley",
    "picscaled", "piccropl", "piccropr",     "piccropt",  "piccropb",      "pngblip",
    "jpegblip", "emfblip",   "wmetafile",    "dibitmap",  "wbitmap",       "wbmbitspixel",
    "wbmplanes", "wbmwidthbytes", "picbmp",  "picbpp",    "bliptag",       "blipupi",
};

// Longer names and numbers than RTF allows are refused rather than read on.
constexpr std::size_t kMaxWordLength = 32;
constexpr std::size_t kMaxDigits = 10;

bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ == text_.size(); }
  // 0 past the end; callers test AtEnd() before taking a 0 for a byte.
  char Peek(std::size_t ahead = 0) const {
    return ahead < text_.size() - pos_ ? text_[pos_ + ahead] : '\0';
  }
  void Advance() {
    if (pos_ < text_.size()) ++pos_;
  }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(Peek())) Advance();
  }
  void SkipHexAndBlanks() {
    while (!AtEnd() && (IsHexDigit(Peek()) || IsBlank(Peek()))) Advance();
  }
  bool Take(char c) {
    if (AtEnd() || Peek() != c) return false;
    Advance();
    return true;
  }
  // A control word at the cursor: "\" letters, an optional signed number and the one
  // blank that ends it. False (cursor unspecified) when there is none.
  bool TakeWord(std::string_view& name) {
    if (!Take('\\')) return false;
    const std::size_t start = pos_;
    while (!AtEnd() && IsLetter(Peek())) Advance();
    name = text_.substr(start, pos_ - start);
    if (name.empty() || name.size() > kMaxWordLength) return false;
    Take('-');
    std::size_t digits = 0;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
      Advance();
      ++digits;
    }
    if (digits > kMaxDigits) return false;
    Take(' ');
    return true;
  }
  bool TakeWord(std::string_view expected, bool& ok) {
    std::string_view name;
    ok = TakeWord(name) && name == expected;
    return ok;
  }
  // Text of a shape property's name or value: anything but braces and backslashes.
  void SkipPlainText() {
    while (!AtEnd() && Peek() != '{' && Peek() != '}' && Peek() != '\\') Advance();
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;  // invariant: pos_ <= text_.size()
};

bool IsPictureWord(std::string_view name) {
  return std::find(std::begin(kPictureWords), std::end(kPictureWords), name) !=
         std::end(kPictureWords);
}

// {\sn text} or {\sv text}; the cursor is on the "{".
bool PropertyPart(Cursor& in, std::string_view word) {
  bool ok = false;
  if (!in.Take('{') || !in.TakeWord(word, ok)) return false;
  in.SkipPlainText();
  return in.Take('}');
}

// {\sp{\sn name}{\sv value}}; the cursor is on the "{".
bool ShapeProperty(Cursor& in) {
  bool ok = false;
  if (!in.Take('{') || !in.TakeWord("sp", ok)) return false;
  in.SkipBlanks();
  if (!PropertyPart(in, "sn")) return false;
  in.SkipBlanks();
  if (!PropertyPart(in, "sv")) return false;
  in.SkipBlanks();
  return in.Take('}');
}

// {\*\blipuid hex} or {\*\picprop ...}; the cursor is on the "{".
bool PictureDestination(Cursor& in) {
  std::string_view name;
  if (!in.Take('{') || !in.Take('\\') || !in.Take('*') || !in.TakeWord(name)) return false;
  if (name == "blipuid") {
    in.SkipHexAndBlanks();
    return in.Take('}');
  }
  if (name != "picprop") return false;
  while (true) {
    in.SkipBlanks();
    if (in.AtEnd()) return false;
    if (in.Peek() == '}') {
      in.Advance();
      return true;
    }
    if (in.Peek() == '{') {
      if (!ShapeProperty(in)) return false;
      continue;
    }
    std::string_view word;
    if (!in.TakeWord(word) || (word != "shplid" && word != "defshp")) return false;
  }
}

}  // namespace

bool IsSinglePictureGroup(std::string_view text) {
  Cursor in(text);
  in.SkipBlanks();
  bool ok = false;
  if (!in.Take('{') || !in.TakeWord("pict", ok)) return false;
  while (true) {
    in.SkipHexAndBlanks();
    if (in.AtEnd()) return false;  // the group never closes
    const char c = in.Peek();
    if (c == '}') {
      in.Advance();
      break;
    }
    if (c == '{') {
      if (!PictureDestination(in)) return false;
      continue;
    }
    std::string_view word;
    if (!in.TakeWord(word) || !IsPictureWord(word)) return false;
  }
  in.SkipBlanks();
  return in.AtEnd();
}

}  // namespace velmorane
