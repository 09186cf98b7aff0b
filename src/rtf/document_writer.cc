#include "rtf/document_writer.h"

#include <unistd.h>

#include <algorithm>
#include <memory>

#include "base/append.h"
#include "base/byte_scan.h"
#include "platform/files.h"

namespace velmorane {
namespace {

// Braces minus escaped braces ("\{", "\}") from the second byte on, and whether backslash
// pairs occur (`double_backslashes` above 0); data[0] is only the byte before the first one
// counted. The counts run in bytes over stretches of 255 steps.
void CountBraces(const char* data, std::size_t size, long long& braces, long long& escaped,
                 long long& double_backslashes) {
  std::size_t i = 1;
#if defined(__SSE2__)
  // Sixteen bytes a step: the bytes at i.. against those at i - 1.. for the backslash
  // before them. Each lane adds 1 for "{" and takes 1 for "}" as a signed byte, so a
  // stretch is at most 127 steps (126 here). Two backslashes in a row are only noted (the
  // caller then counts another way), not counted.
  const __m128i open_brace = _mm_set1_epi8('{');
  const __m128i close_brace = _mm_set1_epi8('}');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i sign = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i zero = _mm_setzero_si128();
  // The sum of the sixteen signed bytes of `lanes`.
  const auto sum = [&](__m128i lanes) {
    const __m128i sums = _mm_sad_epu8(_mm_xor_si128(lanes, sign), zero);
    return static_cast<long long>(_mm_cvtsi128_si32(sums)) + _mm_extract_epi16(sums, 4) -
           16 * 128;
  };
  __m128i pairs = zero;
  // One step: the sixteen bytes at `at` into the two counters.
  const auto step = [&](std::size_t at, __m128i& net, __m128i& net_escaped) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at - 1));
    const __m128i after_backslash = _mm_cmpeq_epi8(before, backslash);
    // 1 for "{", -1 for "}", 0 for the rest.
    const __m128i brace = _mm_sub_epi8(_mm_cmpeq_epi8(bytes, close_brace),
                                       _mm_cmpeq_epi8(bytes, open_brace));
    net = _mm_add_epi8(net, brace);
    net_escaped = _mm_add_epi8(net_escaped, _mm_and_si128(after_backslash, brace));
    pairs = _mm_or_si128(pairs, _mm_and_si128(after_backslash, _mm_cmpeq_epi8(bytes, backslash)));
  };
  while (i + 16 <= size) {
    // Two steps a round, so a stretch is at most 63 rounds; a last lone step on its own.
    const std::size_t rounds = std::min<std::size_t>(63, (size - i) / 32);
    __m128i net = zero, net_escaped = zero;
    for (std::size_t round = 0; round < rounds; ++round, i += 32) {
      step(i, net, net_escaped);
      step(i + 16, net, net_escaped);
    }
    if (rounds == 0) {
      step(i, net, net_escaped);
      i += 16;
    }
    braces += sum(net);
    escaped += sum(net_escaped);
  }
  if (_mm_movemask_epi8(pairs) != 0) ++double_backslashes;
#endif
  while (i < size) {
    const std::size_t end = std::min(size, i + 255);
    unsigned char open = 0, close = 0, escaped_open = 0, escaped_close = 0, doubles = 0;
    for (; i < end; ++i) {
      const unsigned char byte = static_cast<unsigned char>(data[i]);
      const unsigned char after_backslash = data[i - 1] == '\\';
      const unsigned char is_open = byte == '{';
      const unsigned char is_close = byte == '}';
      open += is_open;
      close += is_close;
      escaped_open += after_backslash & is_open;
      escaped_close += after_backslash & is_close;
      doubles += after_backslash & (byte == '\\');
    }
    braces += open - close;
    escaped += escaped_open - escaped_close;
    double_backslashes += doubles;
  }
}

// A sink that counts the braces of what passes when asked to, and remembers a failure.
class CountingSink final : public ByteSink {
 public:
  CountingSink(ByteSink& inner, BraceCounter* braces) : inner_(inner), braces_(braces) {}
  bool Write(std::string_view bytes) override {
    if (bytes.empty()) return ok_;
    if (braces_ != nullptr) braces_->Add(bytes);
    if (ok_ && !inner_.Write(bytes)) ok_ = false;
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  ByteSink& inner_;
  BraceCounter* braces_;
  bool ok_ = true;
};

// Gathers small pieces into blocks for the sink behind it: text between list references
// and picture groups comes in pieces of a few bytes.
class BlockSink final : public ByteSink {
 public:
  explicit BlockSink(ByteSink& inner) : inner_(inner) { block_.reserve(kBlock); }
  bool Write(std::string_view bytes) override {
    if (block_.size() + bytes.size() > kBlock) {
      if (!Drain()) return false;
      if (bytes.size() >= kBlock) return ok_ = inner_.Write(bytes);
    }
    block_.append(bytes);
    return ok_;
  }
  bool Drain() {
    if (ok_ && !block_.empty()) ok_ = inner_.Write(block_);
    block_.clear();
    return ok_;
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{128} << 10;
  ByteSink& inner_;
  std::string block_;
  bool ok_ = true;
};

// A stretch of the document taken out: its place and length before the removal.
struct Cut {
  std::size_t start;
  std::size_t length;
};

// Puts the picture groups between the kept text, each before the byte its place names.
// Places are those of the document before any cut; a group whose place lies before the
// one written last (a place left behind by an edit) is dropped, and a place past the end
// is the end.
class Splicer {
 public:
  Splicer(const std::vector<std::size_t>& anchors, const std::vector<Cut>& cuts,
          PictureGroupSource* pictures, ByteSink& out)
      : anchors_(anchors), cuts_(cuts), pictures_(pictures), out_(out) {
    if (pictures_ == nullptr) next_ = anchors_.size();
  }

  // Kept text that stood at `start` of the document before the cuts.
  void Kept(std::size_t start, std::string_view text) {
    std::size_t done = 0;
    while (next_ < anchors_.size()) {
      const std::size_t place = anchors_[next_];
      if (place >= start + text.size()) break;
      const std::size_t at = std::max(Map(place), written_ + done);
      if (at < last_) {
        ++next_;
        continue;
      }
      (void)out_.Write(text.substr(done, at - written_ - done));
      done = at - written_;
      Group(at);
    }
    (void)out_.Write(text.substr(done));
    written_ += text.size();
  }

  // The groups whose places lie at or past the end.
  void End() {
    for (; next_ < anchors_.size();) {
      const std::size_t at = std::min(Map(anchors_[next_]), written_);
      if (at < last_) {
        ++next_;
        continue;
      }
      Group(at);
    }
  }

 private:
  // The place `pos` after the cuts before it.
  std::size_t Map(std::size_t pos) const {
    if (cuts_.empty()) return pos;
    // Cuts come in order; most lookups are near the last one.
    while (cut_index_ < cuts_.size() && cuts_[cut_index_].start < pos) {
      removed_before_ += cuts_[cut_index_].length;
      ++cut_index_;
    }
    while (cut_index_ > 0 && cuts_[cut_index_ - 1].start >= pos) {
      --cut_index_;
      removed_before_ -= cuts_[cut_index_].length;
    }
    std::size_t removed = removed_before_;
    if (cut_index_ > 0) {
      const Cut& last = cuts_[cut_index_ - 1];
      removed -= last.length;
      removed += std::min(last.length, pos - last.start);
    }
    return pos - removed;
  }

  void Group(std::size_t at) {
    last_ = at;
    pictures_->WriteGroup(next_, out_);
    ++next_;
  }

  const std::vector<std::size_t>& anchors_;
  const std::vector<Cut>& cuts_;
  PictureGroupSource* pictures_;
  ByteSink& out_;
  std::size_t next_ = 0;     // the next anchor
  std::size_t written_ = 0;  // kept text written
  std::size_t last_ = 0;     // the place of the group written last
  mutable std::size_t cut_index_ = 0;       // cuts before the last place looked up
  mutable std::size_t removed_before_ = 0;  // their lengths
};

// Takes out the "\lsN\ilvlN" references (and the blank after one) that are control
// words, not escaped text, passing the rest on piece by piece.
class ListReferenceFilter {
 public:
  ListReferenceFilter(Splicer& next, std::vector<Cut>& cuts) : next_(next), cuts_(cuts) {}

  // Takes a large piece in slices, so that the window stays small.
  void Feed(std::string_view piece) {
    constexpr std::size_t kSlice = std::size_t{64} << 10;
    for (std::size_t at = 0; at < piece.size(); at += kSlice) {
      window_.append(piece.substr(at, kSlice));
      Run(false);
    }
  }
  void End() { Run(true); }

 private:
  static bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

  // Passes on window_[kept_, end) as kept text.
  void Keep(std::size_t end) {
    if (end <= kept_) return;
    const std::string_view text = std::string_view(window_).substr(kept_, end - kept_);
    std::size_t trailing = 0;
    while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\') ++trailing;
    run_ = trailing == text.size() ? run_ + trailing : trailing;
    next_.Kept(window_start_ + kept_, text);
    kept_ = end;
  }

  void Run(bool at_end) {
    const std::string_view w = window_;
    while (true) {
      const std::size_t at = FindText(w, R"(\ls)", search_);
      if (at == std::string_view::npos) {
        // A reference may begin in the last two bytes.
        const std::size_t safe =
            std::max(kept_, at_end ? w.size() : (w.size() >= 2 ? w.size() - 2 : 0));
        Keep(safe);
        search_ = std::max(search_, safe);
        break;
      }
      // Backslashes right before it since the last cut: an odd count escapes it.
      std::size_t j = at;
      while (j > kept_ && w[j - 1] == '\\') --j;
      const std::size_t slashes = at - j + (j == kept_ ? run_ : 0);
      if (slashes % 2 == 1) {
        search_ = at + 1;
        continue;
      }
      std::size_t end = at + 3;
      const std::size_t digits = end;
      while (end < w.size() && IsDigit(w[end])) ++end;
      bool more = end == w.size();
      bool reference = false;
      if (!more && end != digits) {
        if (w.size() - end < 5) {
          more = true;
        } else if (w.compare(end, 5, R"(\ilvl)") == 0) {
          reference = true;
          end += 5;
          while (end < w.size() && IsDigit(w[end])) ++end;
          more = end == w.size();
          if (!more && w[end] == ' ') ++end;
        }
      }
      if (more && !at_end) {
        // Wait for the bytes that decide.
        Keep(at);
        search_ = at;
        break;
      }
      if (!reference) {
        search_ = at + 1;
        continue;
      }
      Keep(at);
      cuts_.push_back({window_start_ + at, end - at});
      kept_ = end;
      run_ = 0;
      search_ = end;
    }
    if (kept_ >= (std::size_t{256} << 10) || (at_end && kept_ > 0)) {
      window_.erase(0, kept_);
      window_start_ += kept_;
      search_ -= kept_;
      kept_ = 0;
    }
  }

  Splicer& next_;
  std::vector<Cut>& cuts_;
  std::string window_;            // text not yet passed on, from window_start_
  std::size_t window_start_ = 0;  // its place in the document
  std::size_t kept_ = 0;          // window_ before this is passed on or cut
  std::size_t search_ = 0;        // the next place to look for a reference
  std::size_t run_ = 0;           // backslashes at the end of the text kept since the last cut
};

}  // namespace

void BraceCounter::Add(std::string_view piece) {
  if (piece.empty()) return;
  if (escaping_) {
    escaping_ = false;
    piece.remove_prefix(1);
    if (piece.empty()) return;
  }
  // piece[0] is not escaped.
  long long braces = (piece[0] == '{') - (piece[0] == '}');
  long long escaped = 0, doubles = 0;
  CountBraces(piece.data(), piece.size(), braces, escaped, doubles);
  if (doubles == 0) {
    // Every backslash escapes the byte after it.
    open_ += braces - escaped;
    escaping_ = piece.back() == '\\';
    return;
  }
  // Backslashes escape one another: walk from backslash to backslash.
  long long open = 0;
  for (const char ch : piece) open += (ch == '{') - (ch == '}');
  std::size_t i = piece.find('\\');
  while (i != std::string_view::npos) {
    if (i + 1 == piece.size()) {
      escaping_ = true;
      break;
    }
    if (piece[i + 1] == '{') --open;
    if (piece[i + 1] == '}') ++open;
    i = piece.find('\\', i + 2);
  }
  open_ += open;
}

void AppendF(DocumentWriter& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendV(out.text(), format, args);
  va_end(args);
}

DocumentWriter::~DocumentWriter() {
  if (spill_fd_ >= 0) ::close(spill_fd_);
}

void DocumentWriter::clear() {
  head_.clear();
  tail_.clear();
  tail_start_ = 0;
  body_start_ = 0;
  split_ = false;
  anchors_.clear();
  if (spill_fd_ >= 0) ::close(spill_fd_);
  spill_fd_ = -1;
  spill_failed_ = false;
  spilled_ = 0;
  watched_spilled_ = false;
  spill_end_.clear();
  recode_until_ = 0;
  UpdateFlushPoint();
}

std::string_view DocumentWriter::From(std::size_t pos) const {
  const std::size_t at = std::clamp(pos, tail_start_, size());
  return std::string_view(tail_).substr(at - tail_start_);
}

std::size_t DocumentWriter::RFind(std::string_view needle, std::size_t pos) const {
  if (pos != npos && pos < tail_start_) return npos;
  const std::size_t from = pos == npos ? npos : pos - tail_start_;
  const std::size_t at = std::string_view(tail_).rfind(needle, from);
  return at == std::string_view::npos ? npos : at + tail_start_;
}

void DocumentWriter::Resize(std::size_t pos) {
  tail_.resize(std::max(pos, tail_start_) - tail_start_);
}

void DocumentWriter::Erase(std::size_t pos, std::size_t count) {
  pos = std::max(pos, tail_start_);
  if (pos >= size()) return;
  count = std::min(count, size() - pos);
  tail_.erase(pos - tail_start_, count);
  for (std::size_t& place : anchors_) {
    if (place >= pos + count) {
      place -= count;
    } else if (place > pos) {
      place = pos;
    }
  }
}

void DocumentWriter::Insert(std::size_t pos, std::string_view text) {
  if (split_ && pos <= head_.size()) {
    head_.insert(pos, text);
    tail_start_ += text.size();
  } else {
    pos = std::clamp(pos, tail_start_, size());
    tail_.insert(pos - tail_start_, text);
  }
  for (std::size_t& place : anchors_) {
    if (place > pos) place += text.size();
  }
}

std::string_view DocumentWriter::Head() const {
  if (split_) return head_;
  return std::string_view(tail_).substr(0, std::min(body_start_, tail_.size()));
}

void DocumentWriter::Flush(std::size_t limit) {
  if (!spill_enabled_ || spill_failed_ || size() < keep_) return;
  limit = std::min(limit, size() - keep_);
  const std::size_t first = split_ ? tail_start_ : std::max(body_start_, tail_start_);
  if (limit <= first) return;
  if (spill_fd_ < 0) {
    spill_fd_ = CreateUnnamedFile(spill_folder_);
    if (spill_fd_ < 0) {
      spill_failed_ = true;
      UpdateFlushPoint();
      return;
    }
  }
  const std::size_t from = first - tail_start_;
  const std::string_view piece = std::string_view(tail_).substr(from, limit - first);
  if (!AppendToDescriptor(spill_fd_, piece)) {
    // What reached the file is not counted: the text stays in memory from here on.
    spill_failed_ = true;
    UpdateFlushPoint();
    return;
  }
  const std::size_t watch = kWatchedText.size() - 1;
  if (!split_) spill_end_.assign(Head().substr(Head().size() - std::min(watch, Head().size())));
  if (!watched_spilled_) {
    std::string joint = spill_end_;
    joint.append(piece.substr(0, std::min(watch, piece.size())));
    watched_spilled_ = FindText(joint, kWatchedText) != std::string_view::npos ||
                       FindText(piece, kWatchedText) != std::string_view::npos;
  }
  if (piece.size() >= watch) {
    spill_end_.assign(piece.substr(piece.size() - watch));
  } else {
    spill_end_.append(piece);
    spill_end_.erase(0, spill_end_.size() - std::min(spill_end_.size(), watch));
  }
  spilled_ += piece.size();
  if (!split_) {
    head_.assign(tail_, 0, from);
    split_ = true;
    UpdateFlushPoint();
  }
  tail_.erase(0, limit - tail_start_);
  tail_start_ = limit;
}

bool DocumentWriter::HoldsWatchedText() const {
  if (watched_spilled_) return true;
  if (FindText(tail_, kWatchedText) != std::string_view::npos) return true;
  if (!split_) return false;
  if (FindText(head_, kWatchedText) != std::string_view::npos) return true;
  std::string joint = spill_end_;
  joint.append(std::string_view(tail_).substr(0, std::min(tail_.size(), kWatchedText.size() - 1)));
  return FindText(joint, kWatchedText) != std::string_view::npos;
}

std::size_t DocumentWriter::RecodeSpilled(std::array<std::string, 256> recoding) {
  recode_ = std::move(recoding);
  recode_until_ = spilled_;
  const std::array<std::string, 256>& table = recode_;
  std::size_t length = 0;
  std::string chunk(std::min<std::size_t>(spilled_, std::size_t{256} << 10), '\0');
  for (std::size_t offset = 0; offset < spilled_;) {
    const long long got = ReadDescriptorAt(spill_fd_, offset, chunk.data(),
                                           std::min(chunk.size(), spilled_ - offset));
    if (got <= 0) break;  // Finish reports the failed read
    for (long long i = 0; i < got; ++i) length += table[static_cast<unsigned char>(chunk[i])].size();
    offset += static_cast<std::size_t>(got);
  }
  return length;
}

bool DocumentWriter::Finish(ByteSink& sink, PictureGroupSource* pictures,
                            bool remove_list_references, bool balance_braces) {
  BraceCounter braces;
  BlockSink blocks(sink);
  CountingSink out(blocks, balance_braces ? &braces : nullptr);
  std::vector<Cut> cuts;
  Splicer splicer(anchors_, cuts, pictures, out);
  ListReferenceFilter filter(splicer, cuts);
  const auto feed = [&](std::size_t start, std::string_view piece) {
    if (remove_list_references) {
      filter.Feed(piece);
    } else {
      splicer.Kept(start, piece);
    }
  };
  bool read_ok = true;
  if (split_) {
    feed(0, head_);
    constexpr std::size_t kChunk = std::size_t{256} << 10;
    const std::size_t chunk_size = std::min(kChunk, std::max<std::size_t>(spilled_, 1));
    const std::unique_ptr<char[]> chunk(new char[chunk_size]);
    std::size_t offset = 0;
    while (offset < spilled_ && read_ok && out.ok()) {
      const std::size_t want = std::min(chunk_size, spilled_ - offset);
      const long long got = ReadDescriptorAt(spill_fd_, offset, chunk.get(), want);
      if (got <= 0) {
        read_ok = false;
        break;
      }
      std::string_view piece(chunk.get(), static_cast<std::size_t>(got));
      std::string recoded;
      if (offset < recode_until_) {
        // The part written before the text turned to UTF-8 is given again in it.
        const std::size_t old_part = std::min(piece.size(), recode_until_ - offset);
        for (std::size_t i = 0; i < old_part; ++i) {
          recoded += recode_[static_cast<unsigned char>(piece[i])];
        }
        recoded.append(piece.substr(old_part));
        piece = recoded;
      }
      feed(head_.size() + offset, piece);
      offset += static_cast<std::size_t>(got);
    }
  }
  feed(tail_start_, tail_);
  if (remove_list_references) filter.End();
  splicer.End();
  if (balance_braces && braces.open() > 0) {
    (void)out.Write(std::string(static_cast<std::size_t>(braces.open()), '}'));
  }
  return read_ok && out.ok() && blocks.Drain();
}

}  // namespace velmorane
