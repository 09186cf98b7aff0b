// The picture list of one conversion: a record per converted picture, the document's
// budgets and the temporaries, and the page record that carries it.
#ifndef VELMORANE_PICTURES_PICTURE_LIST_H_
#define VELMORANE_PICTURES_PICTURE_LIST_H_

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "html/page.h"
#include "platform/temporaries.h"

namespace velmorane {

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

// The page with the pictures converted for it so far: what picture acquisition reads and
// fills. The conversion record of the tag pass builds on it.
struct PicturedPage : HtmlPage {
  using HtmlPage::HtmlPage;

  PictureList pictures;
};

}  // namespace velmorane

#endif  // VELMORANE_PICTURES_PICTURE_LIST_H_
