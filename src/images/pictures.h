// Pictures of one conversion: img and imagertf tags, the picture list and the splicing
// of picture groups into the written output.
#ifndef VELMORANE_IMAGES_PICTURES_H_
#define VELMORANE_IMAGES_PICTURES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace velmorane {

struct Conversion;

struct PictureRecord {
  std::string hex_path;        // temporary file of lower-case hexadecimal picture data
  std::size_t output_offset = 0;
};

struct PictureList {
  std::vector<PictureRecord> records;
};

// Called by the tag loop at a "<" when pictures are converted: handles <imagertf and
// <img. Returns false when neither matched.
bool TryImageTag(Conversion& conversion);

// Moves the recorded output offsets of pictures behind a removal.
void ShiftPicturePositions(Conversion& conversion, std::size_t removal_start,
                           std::size_t removed_length);

// Splices the picture groups into `document` at their offsets (and removes the
// temporaries). `document` is conversion.output on entry.
void WritePictures(Conversion& conversion, std::string& document);

}  // namespace velmorane

#endif  // VELMORANE_IMAGES_PICTURES_H_
