// Pictures are not converted yet: their tags are skipped like unrecognised ones.
#include "images/pictures.h"

#include "core/conversion.h"

namespace velmorane {

bool TryImageTag(Conversion&) { return false; }

void ShiftPicturePositions(Conversion& conversion, std::size_t removal_start,
                           std::size_t removed_length) {
  for (PictureRecord& record : conversion.pictures.records) {
    if (record.output_offset > removal_start) {
      record.output_offset -= std::min(removed_length, record.output_offset - removal_start);
    }
  }
}

void WritePictures(Conversion&, std::string&) {}

}  // namespace velmorane
