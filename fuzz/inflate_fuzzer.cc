// Our inflate on arbitrary zlib streams, with zlib's own decoder as the oracle: when
// either accepts a stream, both must accept it with the same output. One difference is
// deliberate: our inflater accepts incomplete Huffman codes (a missing code fails only
// when it is read), where zlib refuses the whole code set.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "codecs/png/graphics_errors.h"
#include "codecs/png/inflate.h"
#include "fuzz_support.h"

namespace {

// Small enough to keep runs fast, so that streams also run into the cap.
constexpr std::size_t kMaxOutput = std::size_t{64} << 10;

// zlib's answer: the output, or false when it refuses the stream or the output exceeds
// the cap. Trailing bytes after the checksum are allowed, as ours allows them.
// `message` receives zlib's reason for a refusal.
bool ReferenceInflate(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                      const char*& message) {
  message = "";
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  out.assign(kMaxOutput + 1, 0);
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  if (stream.msg != nullptr) message = stream.msg;  // a static text in zlib
  const std::size_t produced = stream.total_out;
  inflateEnd(&stream);
  out.resize(produced);
  return status == Z_STREAM_END && produced <= kMaxOutput;
}

// zlib's refusals of a code set, incomplete or over-subscribed; our refusal of
// over-subscribed sets is covered by the inflate unit tests.
bool IncompleteCodeSet(const char* message) {
  return std::strcmp(message, "invalid code lengths set") == 0 ||
         std::strcmp(message, "invalid literal/lengths set") == 0 ||
         std::strcmp(message, "invalid distances set") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> in(data, size);
  std::vector<std::uint8_t> ours;
  bool ours_ok = true;
  try {
    ours = velmorane::InflateZlib(in, kMaxOutput);
  } catch (const velmorane::EGraphicsException&) {
    ours_ok = false;
  }
  if (ours_ok && ours.size() > kMaxOutput) velmorane::fuzz::Fail("output beyond the cap");
  std::vector<std::uint8_t> reference;
  const char* message = "";
  const bool reference_ok = ReferenceInflate(in, reference, message);
  if (ours_ok && !reference_ok && !IncompleteCodeSet(message)) {
    velmorane::fuzz::Fail("accepted a stream zlib refuses");
  }
  if (!ours_ok && reference_ok) velmorane::fuzz::Fail("refused a stream zlib accepts");
  if (ours_ok && ours != reference) velmorane::fuzz::Fail("output differs from zlib's");
  return 0;
}
