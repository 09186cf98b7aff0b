// Anchors the codec exceptions' type information in the codec library.
#include "images/png/graphics_errors.h"
