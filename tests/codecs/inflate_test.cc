// Inflate against zlib's compressor, across piece boundaries, and each error word.
#include "codecs/png/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "codecs/png/graphics_errors.h"

namespace velmorane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Compress(const Bytes& data, int level, int strategy) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
  Bytes out(deflateBound(&stream, data.size()));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// Hands the stream over in pieces of a fixed size.
class PieceSource : public InflateSource {
 public:
  PieceSource(const Bytes& bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::span<const std::uint8_t> Next() override {
    if (pos_ == bytes_.size()) throw EPngError("Premature End-Of-File");
    const std::size_t take = std::min(piece_, bytes_.size() - pos_);
    std::span<const std::uint8_t> out(bytes_.data() + pos_, take);
    pos_ += take;
    return out;
  }

 private:
  const Bytes& bytes_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

Bytes TestData(std::string_view kind, std::size_t size) {
  Bytes data(size);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < size; ++i) {
    if (kind == "random") {
      data[i] = static_cast<std::uint8_t>(random());
    } else if (kind == "text") {
      static constexpr std::string_view kWords = "the quick brown fox jumps over the lazy dog ";
      data[i] = static_cast<std::uint8_t>(kWords[(i * 7 + i / 13) % kWords.size()]);
    } else {
      data[i] = static_cast<std::uint8_t>(i / 1000);  // long runs
    }
  }
  return data;
}

TEST(Inflate, MatchesZlibForEveryBlockKind) {
  const struct {
    const char* name;
    const char* kind;
    std::size_t size;
    int level, strategy;
  } cases[] = {
      {"empty stream", "text", 0, 6, Z_DEFAULT_STRATEGY},
      {"stored blocks", "random", 200000, 0, Z_DEFAULT_STRATEGY},
      {"fixed codes", "text", 50000, 6, Z_FIXED},
      {"dynamic codes", "text", 300000, 9, Z_DEFAULT_STRATEGY},
      {"literals only", "random", 70000, 6, Z_HUFFMAN_ONLY},
      {"run lengths", "runs", 400000, 6, Z_RLE},
      {"fast level", "text", 100000, 1, Z_DEFAULT_STRATEGY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes data = TestData(c.kind, c.size);
    const Bytes compressed = Compress(data, c.level, c.strategy);
    EXPECT_EQ(InflateZlib(compressed, data.size()), data);
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4093}}) {
      PieceSource source(compressed, piece);
      Bytes out;
      InflateZlib(source, data.size(), out);
      EXPECT_EQ(out, data) << "pieces of " << piece;
    }
  }
}

// Writes deflate bits least significant first; Huffman codes go most significant first.
class BitWriter {
 public:
  BitWriter& Bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Put((value >> i) & 1);
    return *this;
  }
  BitWriter& Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Put((code >> i) & 1);
    return *this;
  }
  Bytes Zlib() const {
    Bytes out = {0x78, 0x9C};
    out.reserve(2 + bytes_.size() + 8);
    out.insert(out.end(), bytes_.begin(), bytes_.end());
    out.insert(out.end(), 8, 0);  // room for the checksum and more
    return out;
  }

 private:
  void Put(int bit) {
    if (count_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | bit << (count_ % 8));
    ++count_;
  }
  Bytes bytes_;
  int count_ = 0;
};

// A dynamic block header whose code-length code gives length 1 to `first` and `second`
// (so `first` < `second` has code 0), 257 literal and 1 distance lengths.
BitWriter DynamicHeader(int first, int second) {
  static constexpr int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  BitWriter writer;
  writer.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(19 - 4, 4);
  for (int symbol : kOrder) writer.Bits(symbol == first || symbol == second ? 1 : 0, 3);
  return writer;
}

TEST(Inflate, ReportsEachFault) {
  const Bytes good = Compress(TestData("text", 5000), 6, Z_DEFAULT_STRATEGY);
  Bytes bad_adler = good;
  bad_adler.back() ^= 1;
  const Bytes truncated(good.begin(), good.end() - 5);

  // Fixed block starting with a match of length 3 at distance 1: nothing to copy from.
  const Bytes far_distance = BitWriter().Bits(1, 1).Bits(1, 2).Code(1, 7).Code(0, 5).Zlib();
  // Fixed block with literal/length symbol 286 (code 11000110).
  const Bytes symbol_286 = BitWriter().Bits(1, 1).Bits(1, 2).Code(0xC6, 8).Zlib();
  // Lengths 1, 1, then zeros: the end-of-block symbol has no code.
  const Bytes no_end_code = DynamicHeader(1, 18)
                                .Code(0, 1).Code(0, 1)
                                .Code(1, 1).Bits(127, 7)
                                .Code(1, 1).Bits(107, 7).Zlib();
  // A repeat of the previous length before any length.
  const Bytes repeat_first = DynamicHeader(1, 16).Code(1, 1).Bits(0, 2).Zlib();
  // Zeros running past the 258 lengths.
  const Bytes repeat_past_end = DynamicHeader(1, 18).Code(1, 1).Bits(127, 7)
                                    .Code(1, 1).Bits(127, 7).Zlib();
  // Three code-length symbols of length 1 over-subscribe the code.
  BitWriter oversubscribed;
  oversubscribed.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4).Bits(1, 3).Bits(1, 3).Bits(1, 3).Bits(0, 3);
  // Only symbol 18 has a code (length 2, code 00); the bits 11 decode to nothing.
  BitWriter incomplete;
  incomplete.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4).Bits(0, 3).Bits(0, 3).Bits(2, 3).Bits(0, 3).Code(3, 2);

  const struct {
    const char* name;
    Bytes stream;
    std::size_t max_output;
    const char* error;
  } cases[] = {
      {"method 9", {0x79, 0x9B, 0x03, 0x00}, 100, "Invalid Compression Method - Not (8) Deflate"},
      {"header check", {0x78, 0x00, 0x03, 0x00}, 100, "Invalid IDAT flags"},
      {"window 2^16", {0x88, 0x1C, 0x03, 0x00}, 100, "Invalid Compression Window"},
      {"preset dictionary", {0x78, 0xBB, 0, 0, 0, 0, 0x03, 0x00}, 100, "Preset dictionary flag set"},
      {"block type 3", {0x78, 0x9C, 0x07, 0, 0, 0, 0, 0}, 100, "Invalid Compression Type"},
      {"stored length complement", {0x78, 0x9C, 0x01, 0x05, 0x00, 0x00, 0x00, 0, 0}, 100,
       "Invalid Literal Count"},
      {"checksum", bad_adler, 5000, "Stream Adler 32 Checksum error"},
      {"input ends", truncated, 5000, "Premature End-Of-File"},
      {"output beyond the cap", good, 4999, "Extra data"},
      {"distance before the start", far_distance, 100, "Invalid Huffman Distance Value"},
      {"literal symbol 286", symbol_286, 100, "Invalid Huffman Literal Value"},
      {"no end code", no_end_code, 100, "Missing End Marker"},
      {"repeat without a length", repeat_first, 100, "Length Command Out of Range"},
      {"repeat past the lengths", repeat_past_end, 100, "Length Command Out of Range"},
      {"over-subscribed lengths", oversubscribed.Zlib(), 100, "Invalid Huffman Code Length"},
      {"undecodable length code", incomplete.Zlib(), 100, "Bad Code"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      InflateZlib(c.stream, c.max_output);
      ADD_FAILURE() << "no error";
    } catch (const EPngError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
}

TEST(Inflate, DamagedStreamsFailCleanly) {
  const Bytes data = TestData("text", 3000);
  const Bytes good = Compress(data, 9, Z_DEFAULT_STRATEGY);
  for (std::size_t i = 0; i < good.size(); ++i) {
    Bytes damaged = good;
    damaged[i] ^= 0x5A;
    try {
      InflateZlib(damaged, data.size());
    } catch (const EPngError&) {
    }
  }
}

}  // namespace
}  // namespace velmorane
