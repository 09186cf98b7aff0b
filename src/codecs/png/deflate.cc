// Deflate with the fixed code table: enough to make screen pictures and rendered drawings
// several times smaller than stored blocks, with a short and predictable coder.
#include "codecs/png/deflate.h"

#include <array>
#include <cstddef>

#include "codecs/png/checksums.h"

namespace velmorane {

namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 48;

constexpr std::array<std::uint16_t, 29> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
                                                       1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                       4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,
                                                         4, 4, 5, 5, 6, 6, 7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  // `count` bits of `value`, least significant first.
  void Bits(std::uint32_t value, int count) {
    buffer_ |= static_cast<std::uint64_t>(value) << filled_;
    filled_ += count;
    while (filled_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(buffer_));
      buffer_ >>= 8;
      filled_ -= 8;
    }
  }
  // A Huffman code of `length` bits, most significant bit first.
  void Code(std::uint32_t code, int length) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
    Bits(reversed, length);
  }
  void Finish() {
    if (filled_ > 0) out_.push_back(static_cast<std::uint8_t>(buffer_));
    buffer_ = 0;
    filled_ = 0;
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t buffer_ = 0;
  int filled_ = 0;
};

void WriteLiteral(BitWriter& w, unsigned symbol) {
  if (symbol < 144) {
    w.Code(0x30 + symbol, 8);
  } else if (symbol < 256) {
    w.Code(0x190 + (symbol - 144), 9);
  } else if (symbol < 280) {
    w.Code(symbol - 256, 7);
  } else {
    w.Code(0xC0 + (symbol - 280), 8);
  }
}

void WriteMatch(BitWriter& w, std::size_t length, std::size_t distance) {
  std::size_t code = kLengthBase.size() - 1;
  while (kLengthBase[code] > length) --code;
  WriteLiteral(w, static_cast<unsigned>(257 + code));
  w.Bits(static_cast<std::uint32_t>(length - kLengthBase[code]), kLengthExtra[code]);
  std::size_t dcode = kDistanceBase.size() - 1;
  while (kDistanceBase[dcode] > distance) --dcode;
  w.Code(static_cast<std::uint32_t>(dcode), 5);
  w.Bits(static_cast<std::uint32_t>(distance - kDistanceBase[dcode]), kDistanceExtra[dcode]);
}

std::uint32_t Hash3(const std::uint8_t* p) {
  const std::uint32_t v = (static_cast<std::uint32_t>(p[0]) << 16) |
                          (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

std::vector<std::uint8_t> ZlibCompress(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  out.reserve(data.size() / 2 + 64);
  out.push_back(0x78);  // deflate, 32 KiB window
  out.push_back(0x01);  // (0x78 * 256 + 0x01) is a multiple of 31
  BitWriter w(out);
  w.Bits(1, 1);  // final block
  w.Bits(1, 2);  // fixed codes

  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> head(std::size_t{1} << kHashBits, kNone);
  std::vector<std::size_t> previous(kWindow, kNone);
  const std::size_t n = data.size();
  auto insert = [&](std::size_t at) {
    if (at + kMinMatch > n) return;
    const std::uint32_t h = Hash3(&data[at]);
    previous[at % kWindow] = head[h];
    head[h] = at;
  };

  std::size_t i = 0;
  while (i < n) {
    std::size_t best_length = 0, best_distance = 0;
    if (i + kMinMatch <= n) {
      const std::size_t limit = std::min(kMaxMatch, n - i);
      std::size_t candidate = head[Hash3(&data[i])];
      for (int chain = 0; chain < kMaxChain && candidate != kNone && i - candidate <= kWindow - 1;
           ++chain) {
        std::size_t length = 0;
        while (length < limit && data[candidate + length] == data[i + length]) ++length;
        if (length > best_length) {
          best_length = length;
          best_distance = i - candidate;
          if (length == limit) break;
        }
        const std::size_t next = previous[candidate % kWindow];
        if (next == kNone || next >= candidate) break;
        candidate = next;
      }
    }
    if (best_length >= kMinMatch) {
      WriteMatch(w, best_length, best_distance);
      for (std::size_t k = 0; k < best_length; ++k) insert(i + k);
      i += best_length;
    } else {
      WriteLiteral(w, data[i]);
      insert(i);
      ++i;
    }
  }
  WriteLiteral(w, 256);
  w.Finish();
  const std::uint32_t adler = UpdateAdler32(1, data);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(adler >> shift));
  return out;
}

}  // namespace velmorane
