// Bulleted and numbered lists: ul, ol and li.
#ifndef VELMORANE_TAGS_LISTS_H_
#define VELMORANE_TAGS_LISTS_H_

namespace velmorane {

struct Conversion;

struct ListState {};

void HandleListStart(Conversion& conversion, bool ordered);  // <ul or <ol
void HandleListEnd(Conversion& conversion, bool ordered);    // </ul> or </ol>
void HandleListItem(Conversion& conversion);                 // <li

}  // namespace velmorane

#endif  // VELMORANE_TAGS_LISTS_H_
