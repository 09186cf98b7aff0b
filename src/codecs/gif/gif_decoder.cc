// GIF decoder: reads the file sequentially, decodes the LZW codes of the requested
// image and writes its rows, de-interlaced, bottom-up into a palette BMP file.
#include "codecs/gif/gif_decoder.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/bitmap/byte_reader.h"

namespace velmorane {
namespace {

constexpr int kMaxCodes = 4096;         // LZW codes are at most 12 bits
constexpr int kStackSize = 2 * kMaxCodes;
constexpr int kMaxInitialCodeSize = 11;  // so that codes never exceed 12 bits
// Largest BMP we fill on disk for one GIF image; a bigger claim is refused.
constexpr std::size_t kMaxBmpBytes = std::size_t{256} << 20;

using Palette = std::array<std::uint8_t, 256 * 4>;  // blue, green, red, 0


struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class GifDecoder {
 public:
  GifDecoder(std::FILE* in, std::FILE* out) : in_(in), out_(out) {}
  int Run(int image_number, GifResult& result);

 private:
  // A line about damage in the file, kept in the result for the caller's log.
  [[gnu::format(printf, 2, 3)]] void Diagnose(const char* format, ...) {
    if (diagnostics_ == nullptr) return;
    char line[160];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) diagnostics_->append(line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
  }
  bool Read(std::uint8_t* dest, std::size_t count) {
    return std::fread(dest, 1, count, in_) == count;
  }
  bool ReadColourTable(int count, Palette& table);
  void SkipExtension(int label);
  int ReadSubBlock(std::uint8_t* buffer);
  void ResetCodeReader();
  int ReadCode(int size);
  bool InitialisePixels(int initial_size);
  void ResetTables();
  int NextPixel();
  void DecodeImage(int width, int height, const Palette& table, int table_size, bool interlaced,
                   bool ignored, GifResult& result);
  bool WriteBmpHeaders(int width, int height, int colours, const Palette& table);

  std::FILE* in_;
  std::FILE* out_;
  std::string* diagnostics_ = nullptr;
  Palette global_{};
  Palette local_{};
  int image_count_ = 0;
  bool zero_data_block_ = false;

  // Code reader: two carried-over bytes and one sub-block.
  std::array<std::uint8_t, 2 + 255 + 23> buffer_{};
  int current_bit_ = 0;
  int last_bit_ = 0;
  int valid_bytes_ = 2;
  bool done_ = false;

  // LZW state.
  int initial_size_ = 0;
  int code_size_ = 0;
  int clear_code_ = 0;
  int end_code_ = 0;
  int next_free_ = 0;
  int limit_ = 0;
  int first_code_ = 0;
  int old_code_ = 0;
  bool fresh_ = false;
  bool failed_ = false;  // a negative result is final for the image
  std::array<std::uint16_t, kMaxCodes> prefix_{};
  std::array<std::uint16_t, kMaxCodes> suffix_{};
  std::array<std::uint16_t, kStackSize> stack_{};
  int stack_top_ = 0;

  // BMP layout of the decoded image.
  int bits_per_pixel_ = 0;
  std::size_t row_size_ = 0;
  std::size_t file_size_ = 0;
};

bool GifDecoder::ReadColourTable(int count, Palette& table) {
  table.fill(0);
  for (int i = 0; i < count; ++i) {
    std::uint8_t rgb[3];
    if (!Read(rgb, 3)) return false;
    table[4 * i] = rgb[2];
    table[4 * i + 1] = rgb[1];
    table[4 * i + 2] = rgb[0];
  }
  return true;
}

void GifDecoder::SkipExtension(int label) {
  std::array<std::uint8_t, 256> block;
  switch (label) {
    case 0xF9:  // graphic control: disposal, delay and transparency are not used
      ReadSubBlock(block.data());
      break;
    case 0xFE:  // comment
      break;
    case 0x01:
      Diagnose("got a '%s' extension\n", "Plain Text Extension");
      break;
    case 0xFF:
      ReadSubBlock(block.data());
      Diagnose("got a '%s' extension\n", "Application Extension");
      break;
    default: {
      char name[32];
      std::snprintf(name, sizeof name, "UNKNOWN (0x%02x)", label);
      Diagnose("got a '%s' extension\n", name);
      break;
    }
  }
  while (ReadSubBlock(block.data()) != 0) {
  }
}

int GifDecoder::ReadSubBlock(std::uint8_t* buffer) {
  std::uint8_t length = 0;
  if (!Read(&length, 1)) {
    Diagnose("error in getting DataBlock size\n");
    return 0;
  }
  zero_data_block_ = length == 0;
  if (length != 0 && !Read(buffer, length)) {
    Diagnose("error in reading DataBlock\n");
    return 0;
  }
  return length;
}

void GifDecoder::ResetCodeReader() {
  current_bit_ = 0;
  last_bit_ = 0;
  valid_bytes_ = 2;
  done_ = false;
  buffer_.fill(0);
}

// The next `size`-bit code, least significant bit first, or -1 at the end of the data.
int GifDecoder::ReadCode(int size) {
  while (current_bit_ + size > last_bit_) {
    if (done_) {
      if (current_bit_ >= last_bit_) Diagnose("ran off the end of my bits\n");
      return -1;
    }
    buffer_[0] = buffer_[valid_bytes_ - 2];
    buffer_[1] = buffer_[valid_bytes_ - 1];
    const int count = ReadSubBlock(buffer_.data() + 2);
    if (count == 0) done_ = true;
    valid_bytes_ = 2 + count;
    current_bit_ = current_bit_ - last_bit_ + 16;
    last_bit_ = valid_bytes_ * 8;
  }
  int code = 0;
  for (int i = 0; i < size; ++i) {
    const int bit = current_bit_ + i;
    if (buffer_[bit / 8] & (1 << (bit % 8))) code |= 1 << i;
  }
  current_bit_ += size;
  return code;
}

void GifDecoder::ResetTables() {
  for (int i = 0; i < kMaxCodes; ++i) {
    prefix_[i] = 0;
    suffix_[i] = static_cast<std::uint16_t>(i < clear_code_ ? i : 0);
  }
  code_size_ = initial_size_ + 1;
  limit_ = 2 * clear_code_;
  next_free_ = clear_code_ + 2;
  stack_top_ = 0;
}

bool GifDecoder::InitialisePixels(int initial_size) {
  if (initial_size < 1 || initial_size > kMaxInitialCodeSize) return false;
  initial_size_ = initial_size;
  clear_code_ = 1 << initial_size;
  end_code_ = clear_code_ + 1;
  ResetTables();
  ResetCodeReader();
  fresh_ = true;
  failed_ = false;
  return true;
}

// The next pixel's colour index; -1 for damaged or exhausted data, -2 at the end code.
int GifDecoder::NextPixel() {
  if (failed_) return -1;
  auto fail = [this](int result) {
    failed_ = true;
    return result;
  };
  if (fresh_) {
    fresh_ = false;
    do {
      first_code_ = old_code_ = ReadCode(code_size_);
    } while (first_code_ == clear_code_);
    return first_code_ < 0 ? fail(first_code_) : first_code_;
  }
  if (stack_top_ > 0) return stack_[--stack_top_];

  int code;
  while ((code = ReadCode(code_size_)) >= 0) {
    if (code == clear_code_) {
      ResetTables();
      first_code_ = old_code_ = ReadCode(code_size_);
      return first_code_ < 0 ? fail(first_code_) : first_code_;
    }
    if (code == end_code_) {
      if (!zero_data_block_) {
        std::array<std::uint8_t, 256> block;
        while (ReadSubBlock(block.data()) > 0) {
        }
      }
      return fail(-2);
    }
    const int incoming = code;
    if (code >= next_free_) {
      stack_[stack_top_++] = static_cast<std::uint16_t>(first_code_);
      code = old_code_;
    }
    while (code >= clear_code_) {
      // A chain can never be longer than the table; a longer one loops.
      if (stack_top_ >= kStackSize - 1 || prefix_[code] == code) {
        Diagnose("circular table entry BIG ERROR\n");
        return fail(-1);
      }
      stack_[stack_top_++] = suffix_[code];
      code = prefix_[code];
    }
    first_code_ = suffix_[code];
    stack_[stack_top_++] = static_cast<std::uint16_t>(first_code_);
    if (next_free_ < kMaxCodes) {
      prefix_[next_free_] = static_cast<std::uint16_t>(old_code_);
      suffix_[next_free_] = static_cast<std::uint16_t>(first_code_);
      ++next_free_;
      if (next_free_ >= limit_ && limit_ < kMaxCodes) {
        limit_ *= 2;
        ++code_size_;
      }
    }
    old_code_ = incoming;
    if (stack_top_ > 0) return stack_[--stack_top_];
  }
  return fail(code);
}

bool GifDecoder::WriteBmpHeaders(int width, int height, int colours, const Palette& table) {
  bits_per_pixel_ = colours > 16 ? 8 : colours <= 2 ? 1 : 4;
  const std::size_t w = static_cast<std::size_t>(width);
  switch (bits_per_pixel_) {
    case 1: row_size_ = ((w + 31) >> 3) & ~std::size_t{3}; break;
    case 4: row_size_ = ((w + 7) >> 1) & ~std::size_t{3}; break;
    default: row_size_ = (w + 3) & ~std::size_t{3}; break;
  }
  const std::size_t palette_entries = std::size_t{1} << bits_per_pixel_;
  const std::size_t header_size = 14 + 40 + 4 * palette_entries;
  const std::size_t image_size = row_size_ * static_cast<std::size_t>(height);
  file_size_ = image_size + header_size;
  if (file_size_ > kMaxBmpBytes) return false;

  std::vector<std::uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  PutU32Le(header, static_cast<std::uint32_t>(file_size_));
  PutU32Le(header, 0);
  PutU32Le(header, static_cast<std::uint32_t>(header_size));
  PutU32Le(header, 40);
  PutU32Le(header, static_cast<std::uint32_t>(width));
  PutU32Le(header, static_cast<std::uint32_t>(height));
  PutU16Le(header, 1);
  PutU16Le(header, static_cast<std::uint32_t>(bits_per_pixel_));
  PutU32Le(header, 0);
  PutU32Le(header, static_cast<std::uint32_t>(image_size));
  PutU32Le(header, 0);
  PutU32Le(header, 0);
  PutU32Le(header, static_cast<std::uint32_t>(palette_entries));
  PutU32Le(header, static_cast<std::uint32_t>(palette_entries));
  header.insert(header.end(), table.begin(), table.begin() + 4 * palette_entries);
  return std::fwrite(header.data(), 1, header.size(), out_) == header.size();
}

void GifDecoder::DecodeImage(int width, int height, const Palette& table, int table_size,
                             bool interlaced, bool ignored, GifResult& result) {
  std::uint8_t initial_size = 0;
  if (!Read(&initial_size, 1)) {
    Diagnose("EOF / read error on image data\n");
    return;
  }
  if (!InitialisePixels(initial_size)) {
    Diagnose("error reading image\n");
    return;
  }
  auto drain = [this] {
    while (NextPixel() >= 0) {
    }
  };
  if (ignored) {
    drain();
    return;
  }
  std::vector<std::uint8_t> row;
  if (!WriteBmpHeaders(width, height, table_size, table)) {
    Diagnose("couldn't alloc space for image\n");
    drain();
    return;
  }
  result.image_written = true;
  if (width == 0 || height == 0) {  // headers only; there is no row to place pixels in
    drain();
    return;
  }
  row.assign(row_size_, 0);
  for (int y = 0; y < height; ++y) {
    if (std::fwrite(row.data(), 1, row.size(), out_) != row.size()) break;
  }

  static constexpr int kStep[4] = {8, 8, 4, 2};
  static constexpr int kStart[4] = {0, 4, 2, 1};
  int x = 0, y = 0, pass = 0;
  bool complete = false;
  int c;
  while ((c = NextPixel()) >= 0) {
    const std::size_t column = static_cast<std::size_t>(x);
    switch (bits_per_pixel_) {
      case 1: {
        const auto mask = static_cast<std::uint8_t>(1 << (7 - column % 8));
        if (c != 0) {
          row[column / 8] |= mask;
        } else {
          row[column / 8] &= static_cast<std::uint8_t>(~mask);
        }
        break;
      }
      case 4:
        if (column % 2 == 0) {
          row[column / 2] = static_cast<std::uint8_t>(c << 4);
        } else {
          row[column / 2] = static_cast<std::uint8_t>(row[column / 2] + (c & 0x0F));
        }
        break;
      default:
        row[column] = static_cast<std::uint8_t>(c);
        break;
    }
    if (++x < width) continue;
    // The first image row is the last row of the file.
    const std::size_t offset = file_size_ - (static_cast<std::size_t>(y) + 1) * row_size_;
    if (std::fseek(out_, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(row.data(), 1, row.size(), out_) != row.size()) {
      drain();
      return;
    }
    x = 0;
    if (interlaced) {
      y += kStep[pass];
      while (y >= height && pass < 4) {
        if (++pass < 4) y = kStart[pass];
      }
      complete = pass >= 4;
    } else {
      complete = ++y >= height;
    }
    if (complete) break;
  }
  if (complete && NextPixel() >= 0) {
    Diagnose("too much input data, ignoring extra...\n");
    drain();
  }
}

int GifDecoder::Run(int image_number, GifResult& result) {
  result = GifResult{};
  diagnostics_ = &result.diagnostics;
  std::uint8_t signature[6];
  if (!Read(signature, 6) || std::memcmp(signature, "GIF", 3) != 0 ||
      (std::memcmp(signature + 3, "87a", 3) != 0 && std::memcmp(signature + 3, "89a", 3) != 0)) {
    return 0;
  }
  std::uint8_t screen[7];
  if (!Read(screen, 7)) return 0;
  result.width = screen[0] | screen[1] << 8;
  result.height = screen[2] | screen[3] << 8;
  result.kind = GifPictureKind::kDib;
  const int global_size = 2 << (screen[4] & 7);
  if ((screen[4] & 0x80) && !ReadColourTable(global_size, global_)) return 0;

  for (;;) {
    const int c = std::fgetc(in_);
    if (c == EOF) return 0;
    if (c == ';') {
      if (image_count_ >= image_number) return 1;
      Diagnose("only %d image%s found in file\n", image_count_, image_count_ > 1 ? "s" : "");
      return 0;
    }
    if (c == '!') {
      const int label = std::fgetc(in_);
      if (label == EOF) return 0;
      SkipExtension(label);
      continue;
    }
    if (c != ',') {
      Diagnose("bogus character 0x%02x, ignoring\n", c);
      continue;
    }
    ++image_count_;
    std::uint8_t descriptor[9];
    if (!Read(descriptor, 9)) return 0;
    const int width = descriptor[4] | descriptor[5] << 8;
    const int height = descriptor[6] | descriptor[7] << 8;
    const std::uint8_t flags = descriptor[8];
    const Palette* table = &global_;
    int table_size = global_size;
    if (flags & 0x80) {
      table_size = 1 << ((flags & 7) + 1);
      if (!ReadColourTable(table_size, local_)) return 0;
      table = &local_;
    }
    DecodeImage(width, height, *table, table_size, (flags & 0x40) != 0,
                image_count_ != image_number, result);
  }
}

}  // namespace

int DecodeGifToBmp(std::FILE* gif, std::FILE* bmp, int image_number, GifResult& result) {
  auto decoder = std::make_unique<GifDecoder>(gif, bmp);
  return decoder->Run(image_number, result);
}

bool DecodeGifFileToBmp(const std::string& gif_path, const std::string& bmp_path,
                        GifResult& result) {
  result = GifResult{};
  std::unique_ptr<std::FILE, FileCloser> gif(std::fopen(gif_path.c_str(), "rb"));
  if (!gif) return false;
  std::unique_ptr<std::FILE, FileCloser> bmp(std::fopen(bmp_path.c_str(), "wb"));
  if (!bmp) return false;
  DecodeGifToBmp(gif.get(), bmp.get(), 1, result);
  const bool closed = std::fclose(bmp.release()) == 0;
  return result.image_written && closed;
}

}  // namespace velmorane
