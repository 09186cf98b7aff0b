// The document as the conversion writes it: appended at its end and edited only near
// its end, so that a large document leaves memory while it is made. The text before the
// body (the prologue) stays in memory to the end, since the list table goes into it; the
// body before the last places a handler may still edit goes into an unnamed spill file.
// Finishing writes the prologue, the body with the picture groups at their places and
// the closing braces to the real output in one pass.
#ifndef VELMORANE_RTF_DOCUMENT_WRITER_H_
#define VELMORANE_RTF_DOCUMENT_WRITER_H_

#include <array>
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmorane {

// Where finished text goes: a file (in text mode) or a string.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  [[nodiscard]] virtual bool Write(std::string_view bytes) = 0;
};

// Appends to a string.
class StringSink final : public ByteSink {
 public:
  explicit StringSink(std::string& text) : text_(text) {}
  bool Write(std::string_view bytes) override {
    text_.append(bytes);
    return true;
  }

 private:
  std::string& text_;
};

// Writes the picture group of picture `index` (the index of its anchor) to `sink`;
// false when it has nothing to write or the sink failed.
class PictureGroupSource {
 public:
  virtual ~PictureGroupSource() = default;
  virtual void WriteGroup(std::size_t index, ByteSink& sink) = 0;
};

// Braces of a text seen piece by piece: every "{" and "}" counts except one escaped by a
// backslash that is not itself escaped.
class BraceCounter {
 public:
  void Add(std::string_view piece);
  // Opening braces in excess of closing ones.
  long long open() const { return open_; }

 private:
  long long open_ = 0;
  bool escaping_ = false;  // the last byte seen is a backslash that escapes the next one
};

class DocumentWriter {
 public:
  static constexpr std::size_t npos = std::string::npos;
  // The body leaves memory once this much of it is held, down to the last kKeep bytes.
  static constexpr std::size_t kSpillStep = std::size_t{512} << 10;
  static constexpr std::size_t kKeep = std::size_t{64} << 10;

  DocumentWriter() = default;
  ~DocumentWriter();
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;

  // The whole length written so far.
  std::size_t size() const { return tail_start_ + tail_.size(); }
  bool empty() const { return size() == 0; }

  // Appending.
  DocumentWriter& operator+=(std::string_view text) {
    tail_.append(text);
    return *this;
  }
  DocumentWriter& operator+=(char ch) {
    tail_ += ch;
    return *this;
  }
  DocumentWriter& append(std::string_view text) { return *this += text; }
  DocumentWriter& append(const char* data, std::size_t size) {
    tail_.append(data, size);
    return *this;
  }
  DocumentWriter& append(std::size_t count, char ch) {
    tail_.append(count, ch);
    return *this;
  }

  // The text still in memory at the end. Appending to it and edits within its last
  // kKeep bytes are the document's own; its indexes are not positions in the document.
  std::string& text() { return tail_; }
  const std::string& text() const { return tail_; }
  char back() const { return tail_.back(); }
  void pop_back() { tail_.pop_back(); }

  // Positions in the whole document. A position before TailStart() is no longer in
  // memory: the edits below start at TailStart() at the earliest.
  std::size_t TailStart() const { return tail_start_; }
  // The text from `pos` to the end.
  std::string_view From(std::size_t pos) const;
  // The last place of `needle` that starts at or before `pos`, in memory only; npos when
  // there is none.
  std::size_t RFind(std::string_view needle, std::size_t pos = npos) const;
  // Cuts the document at `pos`; the pictures keep their places.
  void Resize(std::size_t pos);
  // Removes `count` bytes at `pos`: pictures behind them move back, pictures inside
  // them to `pos`.
  void Erase(std::size_t pos, std::size_t count);
  // Inserts `text` at `pos`: pictures behind `pos` move on.
  void Insert(std::size_t pos, std::string_view text);

  // Picture places, in the order of the picture list: a group goes before the byte at
  // its place. Edits move them with the text.
  void AddAnchor(std::size_t pos) { anchors_.push_back(pos); }
  std::size_t anchor(std::size_t index) const { return anchors_[index]; }
  std::size_t anchor_count() const { return anchors_.size(); }

  // The body starts here: what was written before stays in memory to the end.
  void MarkBodyStart() {
    body_start_ = size();
    UpdateFlushPoint();
  }
  std::size_t body_start() const { return body_start_; }
  // The text before the body.
  std::string_view Head() const;

  // Lets the body go to a spill file in `folder` (where the output is made).
  void EnableSpill(std::string folder) {
    spill_folder_ = std::move(folder);
    spill_enabled_ = true;
    UpdateFlushPoint();
  }
  // For tests: writers made from now on spill after `step` bytes of body, keeping `keep`.
  static void SetSpillStepsForTesting(std::size_t step, std::size_t keep) {
    default_step_ = step;
    default_keep_ = keep;
  }
  bool spill_enabled() const { return spill_enabled_; }
  // True once the body in memory has grown by a step since it last went out (checked on
  // every step of a pass: one comparison).
  bool WantsFlush() const { return tail_.size() >= flush_at_; }
  // Moves the body before `limit` (and before the last kKeep bytes) to the spill file. A
  // spill file that cannot be made or written keeps the text in memory.
  void Flush(std::size_t limit);
  // True when the document holds `needle` anywhere (the part in the spill file is searched
  // only for kWatchedText).
  static constexpr std::string_view kWatchedText = "\\wmetafile";
  bool HoldsWatchedText() const;

  // Bytes written out so far are given again through `table` (the text for each byte)
  // when finishing: for a plain text that turns to UTF-8 after part of it went to the
  // spill file. Returns the length that part will have.
  std::size_t RecodeSpilled(std::array<std::string, 256> recoding);

  // Finishing: takes the "\lsN\ilvlN" references out when `remove_list_references`, writes
  // the document with the picture groups to `sink` and, when `balance_braces`, one "}" for
  // every "{" left open. False when the sink or the spill file failed.
  [[nodiscard]] bool Finish(ByteSink& sink, PictureGroupSource* pictures,
                            bool remove_list_references, bool balance_braces);

  // Drops everything (for tests and for a conversion that starts over).
  void clear();

 private:
  // The length of tail_ at which a flush is worth trying: a step of body past the prologue,
  // never when there is no working spill file.
  void UpdateFlushPoint() {
    flush_at_ = !spill_enabled_ || spill_failed_ ? npos : (split_ ? 0 : body_start_) + spill_step_;
  }

  std::string head_;             // the prologue, once the body has gone to the spill file
  std::string tail_;             // the text in memory at the end
  std::size_t tail_start_ = 0;   // the position of tail_[0]
  std::size_t body_start_ = 0;
  bool split_ = false;           // head_ holds the prologue
  std::vector<std::size_t> anchors_;

  bool spill_enabled_ = false;
  std::size_t flush_at_ = npos;
  std::string spill_folder_;
  int spill_fd_ = -1;
  bool spill_failed_ = false;
  std::size_t spilled_ = 0;      // body bytes in the spill file
  static inline std::atomic<std::size_t> default_step_{kSpillStep};
  static inline std::atomic<std::size_t> default_keep_{kKeep};
  std::size_t spill_step_ = default_step_;
  std::size_t keep_ = default_keep_;
  bool watched_spilled_ = false; // kWatchedText occurs in the spill file
  std::string spill_end_;        // the last bytes spilled, for a watched text across pieces
  std::array<std::string, 256> recode_;  // see RecodeSpilled
  std::size_t recode_until_ = 0;         // spilled bytes to give through recode_
};

// printf-style text at the end of the document.
[[gnu::format(printf, 2, 3)]] void AppendF(DocumentWriter& out, const char* format, ...);

}  // namespace velmorane

#endif  // VELMORANE_RTF_DOCUMENT_WRITER_H_
