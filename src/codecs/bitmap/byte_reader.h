// Bounded reading and little/big-endian writing of binary picture formats.
#ifndef VELMORANE_CODECS_BITMAP_BYTE_READER_H_
#define VELMORANE_CODECS_BITMAP_BYTE_READER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmorane {

// A cursor over bytes that cannot leave them: every read first compares what it needs
// with Remaining() and reports failure instead of reading past the end.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - pos_; }
  std::size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }

  // Moves to an absolute offset; false (cursor unchanged) when it lies past the end.
  [[nodiscard]] bool Seek(std::size_t offset) {
    if (offset > bytes_.size()) return false;
    pos_ = offset;
    return true;
  }
  [[nodiscard]] bool Skip(std::size_t count) {
    if (count > Remaining()) return false;
    pos_ += count;
    return true;
  }
  [[nodiscard]] bool Take(std::size_t count, std::span<const std::uint8_t>& out) {
    if (count > Remaining()) return false;
    out = bytes_.subspan(pos_, count);
    pos_ += count;
    return true;
  }
  [[nodiscard]] bool U8(std::uint8_t& value) {
    if (Remaining() < 1) return false;
    value = bytes_[pos_++];
    return true;
  }
  [[nodiscard]] bool U16Le(std::uint16_t& value) {
    if (Remaining() < 2) return false;
    value = static_cast<std::uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
  }
  [[nodiscard]] bool U32Le(std::uint32_t& value) {
    if (Remaining() < 4) return false;
    value = static_cast<std::uint32_t>(bytes_[pos_]) |
            static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
            static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 16 |
            static_cast<std::uint32_t>(bytes_[pos_ + 3]) << 24;
    pos_ += 4;
    return true;
  }
  [[nodiscard]] bool U32Be(std::uint32_t& value) {
    if (Remaining() < 4) return false;
    value = static_cast<std::uint32_t>(bytes_[pos_]) << 24 |
            static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 16 |
            static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 8 |
            static_cast<std::uint32_t>(bytes_[pos_ + 3]);
    pos_ += 4;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;  // invariant: pos_ <= bytes_.size()
};

inline void PutU16Le(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void PutU32Le(std::vector<std::uint8_t>& out, std::uint32_t value) {
  PutU16Le(out, value & 0xFFFF);
  PutU16Le(out, value >> 16);
}

// Multiplies sizes, false when the product does not fit.
[[nodiscard]] inline bool MulSize(std::size_t a, std::size_t b, std::size_t& product) {
  return !__builtin_mul_overflow(a, b, &product);
}

}  // namespace velmorane

#endif  // VELMORANE_CODECS_BITMAP_BYTE_READER_H_
