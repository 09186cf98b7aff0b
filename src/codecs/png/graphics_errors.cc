// Anchors the codec exceptions' type information in the codec library.
#include "codecs/png/graphics_errors.h"
