// The font and colour tables of a document and the readers of colour and other values of
// attributes and style rules.
#ifndef VELMORANE_CSS_FONT_COLOR_H_
#define VELMORANE_CSS_FONT_COLOR_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmorane {

// At most 24 font names of at most 29 characters; RTF number = index + 2.
class FontTable {
 public:
  static constexpr std::size_t kMaxFonts = 24;
  static constexpr std::size_t kMaxNameLength = 29;
  // Adds a non-empty name (cut to 29 characters) unless present or the table is full.
  void Add(std::string_view name);
  // Index of an equal name (exact comparison after the same cut), or -1.
  int Find(std::string_view name) const;
  std::size_t size() const { return names_.size(); }
  const std::string& operator[](std::size_t i) const { return names_[i]; }

 private:
  std::vector<std::string> names_;
};

// At most 255 colours as six hexadecimal digits; RTF number = index + 3.
// Looked up for every coloured cell and run: a small open-addressed index over the
// entries keeps that from scanning the whole table each time.
class ColorTable {
 public:
  static constexpr std::size_t kMaxColors = 255;
  void Add(std::string_view six_digits);
  int Find(std::string_view six_digits) const;
  std::size_t size() const { return colors_.size(); }
  const std::string& operator[](std::size_t i) const { return colors_[i]; }

 private:
  // Twice the most entries, a power of two: probes stay short.
  static constexpr std::size_t kSlots = 512;
  std::vector<std::string> colors_;
  std::vector<std::uint8_t> slots_;  // entry index + 1 per slot, 0 when free
};

// Reads a colour value at `pos` (advanced past it); writes six digits into `out`.
// Returns true when recognised, false for the fallback "000000".
bool ParseColor(std::string_view text, std::size_t& pos, std::string& out);

// The font-family reader: blanks, quotes and "=" skipped; up to 39 characters.
std::string ReadCssValue(std::string_view text, std::size_t& pos);

// The attribute reader: quoted or bare value of at most 39 characters.
std::string ReadAttributeValue(std::string_view text, std::size_t& pos);

// A font name or other document text made safe inside an RTF group: "\", "{" and "}"
// escaped with a backslash and control bytes dropped.
std::string EscapeRtfText(std::string_view text);

// The colour of a body tag's text attribute (`tag` from "<body" to its ">") as six
// digits into `out`; `out` stays as it is when the tag has none.
void ReadBodyTextColour(std::string_view tag, std::string& out);

}  // namespace velmorane

#endif  // VELMORANE_CSS_FONT_COLOR_H_
