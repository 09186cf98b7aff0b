// Deflate decompression: stored, fixed and dynamic Huffman blocks, with a fast lookup
// table for short codes and a canonical walk for long ones.
#include "codecs/png/inflate.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codecs/png/checksums.h"
#include "codecs/png/graphics_errors.h"

namespace velmorane {
namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kFastBits = 10;
constexpr int kLiteralCodes = 288;
constexpr int kDistanceCodes = 32;
constexpr std::size_t kInitialOutput = std::size_t{8} << 20;

constexpr std::array<std::uint16_t, 29> kLengthBase = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which the code-length code lengths are stored.
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// LSB-first bit reader that asks the source for more only when bits are needed.
class BitReader {
 public:
  explicit BitReader(InflateSource& source) : source_(source) {}

  void Fill(int needed) {
    while (count_ < needed) {
      if (pos_ == piece_.size()) {
        piece_ = source_.Next();
        pos_ = 0;
      }
      if (piece_.size() - pos_ >= 8 && count_ <= 56) {
        std::uint64_t word;
        std::memcpy(&word, piece_.data() + pos_, 8);
        bits_ |= word << count_;
        pos_ += (63 - count_) >> 3;
        count_ |= 56;
      } else {
        bits_ |= static_cast<std::uint64_t>(piece_[pos_++]) << count_;
        count_ += 8;
      }
    }
  }
  std::uint32_t Peek(int count) {
    Fill(count);
    return static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << count) - 1));
  }
  void Drop(int count) {
    bits_ >>= count;
    count_ -= count;
  }
  std::uint32_t Bits(int count) {
    if (count == 0) return 0;
    std::uint32_t value = Peek(count);
    Drop(count);
    return value;
  }
  void AlignToByte() { Drop(count_ % 8); }

  // Appends `length` bytes taken whole from the stream (the reader is byte aligned).
  void CopyBytes(std::size_t length, std::uint8_t* out) {
    while (length > 0 && count_ >= 8) {
      *out++ = static_cast<std::uint8_t>(Bits(8));
      --length;
    }
    if (count_ == 0) bits_ = 0;  // drop look-ahead bits of the bytes copied below
    while (length > 0) {
      if (pos_ == piece_.size()) {
        piece_ = source_.Next();
        pos_ = 0;
      }
      std::size_t take = std::min(length, piece_.size() - pos_);
      std::memcpy(out, piece_.data() + pos_, take);
      out += take;
      pos_ += take;
      length -= take;
    }
  }

 private:
  InflateSource& source_;
  std::span<const std::uint8_t> piece_;
  std::size_t pos_ = 0;
  std::uint64_t bits_ = 0;
  int count_ = 0;  // valid bits in bits_
};

struct Huffman {
  std::array<std::uint16_t, 1 << kFastBits> fast{};  // symbol << 4 | length; 0 = walk
  std::array<std::uint16_t, kMaxCodeBits + 1> count{};
  std::array<std::uint16_t, kLiteralCodes> symbol{};
};

std::uint32_t ReverseBits(std::uint32_t code, int length) {
  std::uint32_t reversed = 0;
  for (int i = 0; i < length; ++i, code >>= 1) reversed = reversed << 1 | (code & 1);
  return reversed;
}

// Builds the canonical code of `lengths`; false when the lengths over-subscribe it.
// Incomplete codes are accepted: their missing codes fail when decoded.
bool BuildHuffman(Huffman& table, const std::uint8_t* lengths, int symbols) {
  table.count.fill(0);
  table.fast.fill(0);
  for (int s = 0; s < symbols; ++s) ++table.count[lengths[s]];
  table.count[0] = 0;
  int left = 1;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    left = (left << 1) - table.count[len];
    if (left < 0) return false;
  }
  std::array<std::uint16_t, kMaxCodeBits + 2> offset{};
  std::array<std::uint32_t, kMaxCodeBits + 2> next_code{};
  std::uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    offset[len + 1] = static_cast<std::uint16_t>(offset[len] + table.count[len]);
    code = (code + table.count[len - 1]) << 1;
    next_code[len] = code;
  }
  // count[0] was cleared above, so the first code of length 1 is 0.
  for (int s = 0; s < symbols; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    table.symbol[offset[len]++] = static_cast<std::uint16_t>(s);
    if (len <= kFastBits) {
      const std::uint32_t reversed = ReverseBits(next_code[len], len);
      for (std::uint32_t i = reversed; i < (1u << kFastBits); i += 1u << len) {
        table.fast[i] = static_cast<std::uint16_t>(s << 4 | len);
      }
    }
    ++next_code[len];
  }
  return true;
}

// The next symbol, or -1 when the bits match no code.
int Decode(BitReader& reader, const Huffman& table) {
  const std::uint32_t bits = reader.Peek(kMaxCodeBits);
  const std::uint16_t entry = table.fast[bits & ((1u << kFastBits) - 1)];
  if (entry != 0) {
    reader.Drop(entry & 15);
    return entry >> 4;
  }
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    code |= (bits >> (len - 1)) & 1;
    const int count = table.count[len];
    if (code - first < count) {
      reader.Drop(len);
      return table.symbol[index + code - first];
    }
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return -1;
}

// Output with a hard cap, written straight into the caller's vector. It starts at
// a modest size and doubles on demand, so a false size claim costs little.
class Output {
 public:
  Output(std::vector<std::uint8_t>& out, std::size_t max) : out_(out), max_(max) {
    out_.clear();
    out_.resize(std::min(max_, kInitialOutput));
  }
  std::uint8_t* Reserve(std::size_t count) {
    if (count > max_ - used_) throw EPngError("Extra data");
    if (count > out_.size() - used_) {
      out_.resize(std::min(max_, std::max(used_ + count, out_.size() > max_ / 2 ? max_ : out_.size() * 2)));
    }
    return out_.data() + used_;
  }
  void Commit(std::size_t count) { used_ += count; }
  std::size_t Used() const { return used_; }
  void Finish() { out_.resize(used_); }

 private:
  std::vector<std::uint8_t>& out_;
  std::size_t max_;
  std::size_t used_ = 0;
};

const Huffman& FixedLiterals() {
  static const Huffman table = [] {
    std::array<std::uint8_t, kLiteralCodes> lengths{};
    for (int s = 0; s < kLiteralCodes; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    Huffman built;
    BuildHuffman(built, lengths.data(), kLiteralCodes);
    return built;
  }();
  return table;
}

const Huffman& FixedDistances() {
  static const Huffman table = [] {
    std::array<std::uint8_t, kDistanceCodes> lengths;
    lengths.fill(5);
    Huffman built;
    BuildHuffman(built, lengths.data(), kDistanceCodes);
    return built;
  }();
  return table;
}

void InflateStored(BitReader& reader, Output& out) {
  reader.AlignToByte();
  const std::uint32_t length = reader.Bits(16);
  const std::uint32_t complement = reader.Bits(16);
  if ((length ^ 0xFFFF) != complement) throw EPngError("Invalid Literal Count");
  std::uint8_t* dest = out.Reserve(length);
  reader.CopyBytes(length, dest);
  out.Commit(length);
}

void ReadDynamicTables(BitReader& reader, Huffman& literals, Huffman& distances) {
  const int literal_count = static_cast<int>(reader.Bits(5)) + 257;
  const int distance_count = static_cast<int>(reader.Bits(5)) + 1;
  const int length_count = static_cast<int>(reader.Bits(4)) + 4;
  if (literal_count > 286 || distance_count > 30) throw EPngError("Invalid Literal Count");

  std::array<std::uint8_t, 19> code_lengths{};
  for (int i = 0; i < length_count; ++i) {
    code_lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(reader.Bits(3));
  }
  Huffman length_code;
  if (!BuildHuffman(length_code, code_lengths.data(), 19)) {
    throw EPngError("Invalid Huffman Code Length");
  }

  std::array<std::uint8_t, 286 + 30> lengths{};
  const int total = literal_count + distance_count;
  for (int index = 0; index < total;) {
    const int symbol = Decode(reader, length_code);
    if (symbol < 0) throw EPngError("Bad Code");
    if (symbol < 16) {
      lengths[index++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t value = 0;
    int repeat = 0;
    if (symbol == 16) {
      if (index == 0) throw EPngError("Length Command Out of Range");
      value = lengths[index - 1];
      repeat = 3 + static_cast<int>(reader.Bits(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(reader.Bits(3));
    } else {
      repeat = 11 + static_cast<int>(reader.Bits(7));
    }
    if (repeat > total - index) throw EPngError("Length Command Out of Range");
    while (repeat-- > 0) lengths[index++] = value;
  }
  if (lengths[256] == 0) throw EPngError("Missing End Marker");
  if (!BuildHuffman(literals, lengths.data(), literal_count) ||
      !BuildHuffman(distances, lengths.data() + literal_count, distance_count)) {
    throw EPngError("Invalid Huffman Code Length");
  }
}

void InflateCodes(BitReader& reader, Output& out, const Huffman& literals,
                  const Huffman& distances) {
  for (;;) {
    const int symbol = Decode(reader, literals);
    if (symbol < 0) throw EPngError("Invalid Huffman Literal Value");
    if (symbol < 256) {
      *out.Reserve(1) = static_cast<std::uint8_t>(symbol);
      out.Commit(1);
      continue;
    }
    if (symbol == 256) return;
    const int length_index = symbol - 257;
    if (length_index >= static_cast<int>(kLengthBase.size())) {
      throw EPngError("Invalid Huffman Literal Value");
    }
    const std::size_t length = kLengthBase[length_index] + reader.Bits(kLengthExtra[length_index]);
    const int distance_index = Decode(reader, distances);
    if (distance_index < 0 || distance_index >= static_cast<int>(kDistanceBase.size())) {
      throw EPngError("Invalid Huffman Distance Value");
    }
    const std::size_t distance =
        kDistanceBase[distance_index] + reader.Bits(kDistanceExtra[distance_index]);
    if (distance > out.Used()) throw EPngError("Invalid Huffman Distance Value");
    std::uint8_t* dest = out.Reserve(length);
    const std::uint8_t* from = dest - distance;
    for (std::size_t i = 0; i < length; ++i) dest[i] = from[i];  // may overlap forwards
    out.Commit(length);
  }
}

class SpanSource : public InflateSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::span<const std::uint8_t> Next() override {
    if (given_ || bytes_.empty()) throw EPngError("Premature End-Of-File");
    given_ = true;
    return bytes_;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  bool given_ = false;
};

}  // namespace

void InflateZlib(InflateSource& source, std::size_t max_output, std::vector<std::uint8_t>& out) {
  BitReader reader(source);
  const std::uint32_t method = reader.Bits(8);
  const std::uint32_t flags = reader.Bits(8);
  if ((method & 0x0F) != 8) throw EPngError("Invalid Compression Method - Not (8) Deflate");
  if ((method << 8 | flags) % 31 != 0) throw EPngError("Invalid IDAT flags");
  if ((method >> 4) > 7) throw EPngError("Invalid Compression Window");
  if (flags & 0x20) throw EPngError("Preset dictionary flag set");

  Output output(out, max_output);
  Huffman literals;
  Huffman distances;
  bool final_block = false;
  while (!final_block) {
    final_block = reader.Bits(1) != 0;
    switch (reader.Bits(2)) {
      case 0:
        InflateStored(reader, output);
        break;
      case 1:
        InflateCodes(reader, output, FixedLiterals(), FixedDistances());
        break;
      case 2:
        ReadDynamicTables(reader, literals, distances);
        InflateCodes(reader, output, literals, distances);
        break;
      default:
        throw EPngError("Invalid Compression Type");
    }
  }
  output.Finish();
  reader.AlignToByte();
  std::uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored = stored << 8 | reader.Bits(8);
  if (stored != UpdateAdler32(1, out)) throw EPngError("Stream Adler 32 Checksum error");
}

std::vector<std::uint8_t> InflateZlib(std::span<const std::uint8_t> stream, std::size_t max_output) {
  SpanSource source(stream);
  std::vector<std::uint8_t> out;
  InflateZlib(source, max_output, out);
  return out;
}

}  // namespace velmorane
