// The document writer: braces counted piece by piece, picture places moved by edits, and
// a document that went through the spill file finishing with the same bytes as one kept
// in memory, on made-up documents and on every fixture page.
#include "rtf/document_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

namespace fs = std::filesystem;

long long WholeCount(std::string_view text) {
  BraceCounter braces;
  braces.Add(text);
  return braces.open();
}

TEST(BraceCounter, PiecesCountAsTheWhole) {
  const struct {
    const char* text;
    long long open;
  } kCases[] = {
      {"{a{b}", 1},
      {R"({\{)", 1},
      {R"({\\{)", 2},           // an escaped backslash escapes nothing
      {R"({\\\{)", 1},
      {R"(\}\}{{)", 2},
      {"}}{", -1},
      {R"({\pict\\\\}})", -1},
      {R"(x\)", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const std::string_view text = c.text;
    EXPECT_EQ(WholeCount(text), c.open);
    for (std::size_t i = 0; i <= text.size(); ++i) {
      for (std::size_t j = i; j <= text.size(); ++j) {
        BraceCounter braces;
        braces.Add(text.substr(0, i));
        braces.Add(text.substr(i, j - i));
        braces.Add(text.substr(j));
        EXPECT_EQ(braces.open(), c.open) << "cut at " << i << " and " << j;
      }
    }
  }
  // Long pieces take the wide path; a backslash at a piece's end escapes the next one.
  std::string long_text(5000, 'a');
  long_text += R"(\)";
  BraceCounter braces;
  braces.Add(long_text);
  braces.Add("{{");
  EXPECT_EQ(braces.open(), 1);
}

TEST(DocumentWriter, EditsMovePicturePlaces) {
  DocumentWriter w;
  w += "0123456789";
  for (const std::size_t place : {2u, 4u, 6u, 9u}) w.AddAnchor(place);
  w.Erase(3, 3);  // "012" "6789": 4 inside moves to 3, 6 and 9 move back
  EXPECT_EQ(w.text(), "0126789");
  EXPECT_EQ(w.anchor(0), 2u);
  EXPECT_EQ(w.anchor(1), 3u);
  EXPECT_EQ(w.anchor(2), 3u);
  EXPECT_EQ(w.anchor(3), 6u);
  w.Insert(3, "ab");  // places after 3 move on, a place at 3 stays before the insert
  EXPECT_EQ(w.text(), "012ab6789");
  EXPECT_EQ(w.anchor(1), 3u);
  EXPECT_EQ(w.anchor(3), 8u);
  w.Resize(4);  // a cut keeps the places
  EXPECT_EQ(w.text(), "012a");
  EXPECT_EQ(w.anchor(3), 8u);
}

// Writes "[k]" for picture k.
class NumberedPictures : public PictureGroupSource {
 public:
  void WriteGroup(std::size_t index, ByteSink& sink) override {
    (void)sink.Write("[" + std::to_string(index) + "]");
  }
};

// Builds the same made-up document in two writers, one of which spills after every piece,
// and returns both finished documents.
struct Finished {
  std::string kept, spilled;
  bool kept_watched = false, spilled_watched = false;
};
Finished BuildBoth(unsigned seed, bool remove_references) {
  const std::vector<std::string> pieces = {
      R"(\ls12\ilvl3 )", R"(\ls1\ilvl0)", R"(\\ls2\ilvl1 )", R"(\\\ls3\ilvl2 )", R"(\ls)",
      "4", R"(\ilvl)", "5 ", R"(\wmeta)", "file8", "{", "}", R"(\{)", R"(\\)", "\\", "text ",
      "\n", R"(\par)", R"(\lsx)"};
  std::mt19937 random(seed);
  DocumentWriter kept, spilled;
  const fs::path folder = testing::MakeTempFolder();
  spilled.EnableSpill(folder.string());
  for (DocumentWriter* w : {&kept, &spilled}) {
    *w += "{\\rtf1 head";
    w->MarkBodyStart();
  }
  for (int i = 0; i < 400; ++i) {
    const std::string& piece = pieces[random() % pieces.size()];
    const unsigned action = random() % 10;
    for (DocumentWriter* w : {&kept, &spilled}) {
      *w += piece;
      // Pictures at the end, behind it, and at places already written.
      if (action == 0) w->AddAnchor(w->size());
      if (action == 1) w->AddAnchor(w->size() + 3);
      if (action == 2) w->AddAnchor(w->size() > 5 ? w->size() - 5 : 0);
    }
    spilled.Flush(spilled.size());
  }
  Finished f;
  f.kept_watched = kept.HoldsWatchedText();
  f.spilled_watched = spilled.HoldsWatchedText();
  NumberedPictures pictures;
  StringSink kept_sink(f.kept), spilled_sink(f.spilled);
  EXPECT_TRUE(kept.Finish(kept_sink, &pictures, remove_references, true));
  EXPECT_TRUE(spilled.Finish(spilled_sink, &pictures, remove_references, true));
  std::error_code error;
  fs::remove_all(folder, error);
  return f;
}

TEST(DocumentWriter, SpilledDocumentFinishesAsOneKeptInMemory) {
  DocumentWriter::SetSpillStepsForTesting(1, 7);
  for (const bool remove : {false, true}) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << (remove ? " removing" : ""));
      const Finished f = BuildBoth(seed, remove);
      EXPECT_EQ(f.spilled, f.kept);
      EXPECT_EQ(f.spilled_watched, f.kept_watched);
    }
  }
  DocumentWriter::SetSpillStepsForTesting(DocumentWriter::kSpillStep, DocumentWriter::kKeep);
}

TEST(DocumentWriter, ListReferencesComeOutUnlessEscaped) {
  DocumentWriter w;
  w += R"({\ls1\ilvl0 a\\ls2\ilvl1 b\\\ls3\ilvl2 c\ls4\ilvlx\ls5\ilvl6)";
  w.AddAnchor(10);  // inside the first reference: at its place once it is out
  std::string out;
  StringSink sink(out);
  NumberedPictures pictures;
  ASSERT_TRUE(w.Finish(sink, &pictures, true, true));
  EXPECT_EQ(out, R"({[0]a\\ls2\ilvl1 b\\cx})");
}

// Every fixture page converts to the same bytes whether its document stays in memory or
// goes to the spill file after every few bytes.
TEST(DocumentWriter, FixturePagesConvertAlikeThroughTheSpillFile) {
  std::vector<fs::path> pages;
  for (const auto& entry : fs::recursive_directory_iterator(VELMORANE_FIXTURES)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".html" || ext == ".htm")) pages.push_back(entry.path());
  }
  ASSERT_GT(pages.size(), 10u);
  const fs::path folder = testing::MakeTempFolder();
  const auto convert = [&](const fs::path& page, const std::string& name, bool pictures,
                           int mode) {
    Engine engine;
    std::string input = page.string();
    std::string target = (folder / name).string();
    ConvertRequest request;
    request.convert_images = pictures;
    request.output_mode = mode;
    EngineSettings settings;
    InitEngineSettings(settings);
    const ConvertResult result =
        engine.ConvertHtmlFile(input, target, request, testing::DefaultOptions(), settings);
    return std::to_string(static_cast<int>(result)) + ":" + testing::ReadBytes(target);
  };
  const struct {
    const char* name;
    int mode;
    bool pictures;
  } kModes[] = {{"rtf", kModeRtfTables, false},
                {"rtf with pictures", kModeRtfTables, true},
                {"text", kModePlainText, false}};
  for (const fs::path& page : pages) {
    for (const auto& m : kModes) {
      SCOPED_TRACE(page.string() + " " + m.name);
      const std::string ext = m.mode == kModePlainText ? ".txt" : ".rtf";
      DocumentWriter::SetSpillStepsForTesting(DocumentWriter::kSpillStep, DocumentWriter::kKeep);
      const std::string kept = convert(page, "kept" + ext, m.pictures, m.mode);
      DocumentWriter::SetSpillStepsForTesting(1, 4096);
      const std::string spilled = convert(page, "spilled" + ext, m.pictures, m.mode);
      EXPECT_EQ(spilled, kept);
    }
  }
  DocumentWriter::SetSpillStepsForTesting(DocumentWriter::kSpillStep, DocumentWriter::kKeep);
  std::error_code error;
  fs::remove_all(folder, error);
}

// A plain text that turns to UTF-8 late (at a character outside its code page) after
// much of it went to the spill file: the part written out comes back in UTF-8 too, and
// the lines after the turn fold at the same places.
TEST(DocumentWriter, LateUnicodeTextIsTheSameAfterSpilling) {
  std::string html = "<html><body><p>";
  for (int i = 0; i < 3000; ++i) {
    if (i == 2000) html += "&#1078;";  // no Windows-1252 byte for it
    html += "caf\xE9 na\xEFve word " + std::to_string(i) + " ";
  }
  html += "</p></body></html>";
  const fs::path folder = testing::MakeTempFolder();
  const std::string page = (folder / "late.html").string();
  testing::WriteBytes(page, html);
  ConversionOptions options = testing::DefaultOptions();
  options.line_folding = 1;
  const auto convert = [&](const std::string& name) {
    Engine engine;
    std::string input = page;
    std::string target = (folder / name).string();
    ConvertRequest request;
    request.output_mode = kModePlainText;
    EngineSettings settings;
    InitEngineSettings(settings);
    EXPECT_EQ(engine.ConvertHtmlFile(input, target, request, options, settings),
              ConvertResult::kDone);
    return testing::ReadBytes(target);
  };
  const std::string kept = convert("kept.txt");
  DocumentWriter::SetSpillStepsForTesting(1, 4096);
  const std::string spilled = convert("spilled.txt");
  DocumentWriter::SetSpillStepsForTesting(DocumentWriter::kSpillStep, DocumentWriter::kKeep);
  EXPECT_EQ(kept.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(kept.find("caf\xC3\xA9"), std::string::npos);
  EXPECT_EQ(spilled, kept);
  std::error_code error;
  fs::remove_all(folder, error);
}

}  // namespace
}  // namespace velmorane
