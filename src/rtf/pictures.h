// Pictures of one conversion in the document: img and imagertf tags and the picture
// groups of the written output.
#ifndef VELMORANE_RTF_PICTURES_H_
#define VELMORANE_RTF_PICTURES_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "pictures/picture_list.h"
#include "rtf/document_writer.h"

namespace velmorane {

struct Conversion;

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

#endif  // VELMORANE_RTF_PICTURES_H_
