// The picture codecs are not connected yet: every decoding fails.
#include "images/codec_bridge.h"

namespace velmorane {

bool GifToBmpFile(const std::string&, const std::string&, int&, int&) { return false; }
bool PngToBmpFile(const std::string&, const std::string&) { return false; }
bool LoadBmpFile(const std::string&, Bitmap24&) { return false; }
std::string MetafileFromBitmap(const Bitmap24&, bool) { return {}; }
std::string Bmp24FileBytes(const Bitmap24&) { return {}; }

}  // namespace velmorane
