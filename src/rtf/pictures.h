// Pictures of one conversion in the document: img and imagertf tags and the splicing of
// picture groups into the written output.
#ifndef VELMORANE_RTF_PICTURES_H_
#define VELMORANE_RTF_PICTURES_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "pictures/picture_list.h"

namespace velmorane {

struct Conversion;

// Called by the tag loop at a "<" when pictures are converted: handles <imagertf and
// <img. Returns false when neither matched; otherwise conversion.pos is on the ">".
bool TryImageTag(Conversion& conversion);

// Moves the recorded output positions after text of `removed_length` bytes was removed
// at `removal_start`: later positions move back, positions inside the span move to its
// start.
void ShiftPicturePositions(Conversion& conversion, std::size_t removal_start,
                           std::size_t removed_length);

// The same for text inserted at `insert_at`: positions after it move on.
void ShiftPicturePositionsForInsert(Conversion& conversion, std::size_t insert_at,
                                    std::size_t inserted_length);

// Splices the picture groups into `document` (the output text) at their positions and
// deletes the picture temporaries.
void WritePictures(Conversion& conversion, std::string& document);

// Width in twips (16 per pixel) of the first picture of a table cell, for the table
// analysis. `cell_text` starts at the cell's "<td"/"<th".
int ProbeCellPictureWidth(Conversion& conversion, std::string_view cell_text);

}  // namespace velmorane

#endif  // VELMORANE_RTF_PICTURES_H_
