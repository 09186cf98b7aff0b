// Pictures of one conversion: img and imagertf tags, the picture list and the picture
// groups of the written output.
#ifndef VELMORANE_IMAGES_PICTURES_H_
#define VELMORANE_IMAGES_PICTURES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/document_writer.h"
#include "platform/temporaries.h"

namespace velmorane {

struct Conversion;

enum class PictureKind : int { kMetafile = 0, kJpeg = 1, kPng = 2, kDib = 3 };

struct PictureRecord {
  std::string temp_name;        // hex file in the work folder
  long hex_length = 0;          // hexadecimal characters in the temp file
  int goal_width = 0;           // pixels; 0 or less: none
  int goal_height = 0;
  PictureKind kind = PictureKind::kMetafile;
  int width = 0;                // pixels
  int height = 0;
  int fit_width = 0;            // twips of the table cell holding it; 0: the text width
};

struct PictureList {
  // A document places at most this many pictures; further img tags are passed over.
  static constexpr std::size_t kMaxPictures = 2000;
  // A page cannot make one conversion take over the machine: a picture decoded to
  // pixels has at most this many (a 24-bit bitmap of 192 MB), ...
  static constexpr long long kMaxDecodedPixels = 64LL << 20;
  // ... the picture groups of one document hold at most this much hexadecimal text, ...
  static constexpr long long kMaxDocumentPictureText = 256LL << 20;
  // ... its remote pictures take at most this long and this many bytes in all, ...
  static constexpr long long kMaxDownloadMilliseconds = 120 * 1000;
  static constexpr long long kMaxDownloadBytes = 256LL << 20;
  // ... and decoding and drawing all its pictures take at most this long and make at
  // most as many pixels as the largest picture may have.
  static constexpr long long kMaxDecodeMilliseconds = 10 * 1000;
  static constexpr long long kMaxDocumentDecodedPixels = kMaxDecodedPixels;
  std::vector<PictureRecord> records;
  std::string previous_path;    // the last picture converted in this document
  std::string shared_bmp_name;  // the intermediate BMP shared by GIF and PNG conversions
  int next_number = 0;          // picture numbers handed out so far
  // What is left of the document's budgets.
  long long picture_text_left = kMaxDocumentPictureText;
  long long download_milliseconds_left = kMaxDownloadMilliseconds;
  long long download_bytes_left = kMaxDownloadBytes;
  long long decode_milliseconds_left = kMaxDecodeMilliseconds;
  long long decoded_pixels_left = kMaxDocumentDecodedPixels;
  // Set when a converted picture did not fit in the picture text left: no later
  // picture is decoded for nothing.
  bool picture_text_spent = false;
  // Why the last picture AcquirePicture refused was left out, when a limit did it
  // ("drawing it took too long"); empty otherwise.
  std::string skip_reason;
  // The inline <svg> elements of the input (start, ">" of the end or npos when it is
  // not closed), matched in one pass over the input they were found in.
  std::vector<std::pair<std::size_t, std::size_t>> inline_svg_ends;
  const char* inline_svg_input = nullptr;
  std::size_t inline_svg_input_size = 0;
  // Every file the pictures of this conversion made; what is left goes with the list.
  TemporaryFileSet temporaries;
};

// Called by the tag loop at a "<" when pictures are converted: handles <imagertf and
// <img. Returns false when neither matched; otherwise conversion.pos is on the ">".
bool TryImageTag(Conversion& conversion);

// Writes the picture groups of a conversion as the document is written out: the group
// of picture k of the list (the writer's anchor k) from its hex file.
class PictureGroupWriter final : public PictureGroupSource {
 public:
  explicit PictureGroupWriter(Conversion& conversion) : c_(conversion) {}
  void WriteGroup(std::size_t index, ByteSink& sink) override;

 private:
  Conversion& c_;
};

// Width in twips (16 per pixel) of the first picture of a table cell, for the table
// analysis. `cell_text` starts at the cell's "<td"/"<th".
int ProbeCellPictureWidth(Conversion& conversion, std::string_view cell_text);

}  // namespace velmorane

#endif  // VELMORANE_IMAGES_PICTURES_H_
