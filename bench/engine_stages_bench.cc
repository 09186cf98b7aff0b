// Throughput of the later stages on a realistic generated page (styled text, nested
// lists, links, tables with spans and nested tables, entities): font and colour
// analysis, table analysis, picture output, and the whole conversion in memory.
// Each case reports MB/s of the bytes it works through.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "html/charset.h"
#include "html/preprocess.h"
#include "platform/files.h"
#include "rtf/conversion.h"
#include "rtf/pictures.h"
#include "rtf/prologue.h"
#include "rtf/tables/tables.h"

namespace velmorane {
namespace {

ConversionOptions BenchOptions() {
  ConversionOptions o{};
  o.keep_font_face = o.keep_font_size = o.keep_font_color = o.keep_alignment = 1;
  o.keep_background_color = o.keep_table_width = o.keep_nested_tables = 1;
  o.keep_hyperlinks = 1;
  SetField(o.font_face, "Arial");
  SetField(o.font_size, "10");
  SetField(o.rtf_language, "English");
  SetField(o.output_extension, ".rtf");
  o.paper_width = 11906;
  o.paper_height = 16838;
  o.margin_left = o.margin_right = 1800;
  o.margin_top = o.margin_bottom = 1440;
  return o;
}

// The blocks of the page, taken in turn; a fixed cycle keeps every run identical.
constexpr const char* kBlocks[] = {
    "<h2 class=\"h\">Section</h2>\n<p style=\"color:#336699; font-size:12pt\">Converter "
    "paragraph table column margin header footer <b>bold</b> <i>italic</i> &amp; &copy; "
    "&euro; &#8364; \xD1\x82\xD0\xB0\xD0\xB1\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0.</p>\n",
    "<ol type=I>\n<li>Picture colour font<ul><li>Style border</li><li><a "
    "href=\"http://example.test/a/1\">link 1</a></li></ul></li>\n<li>Width height page"
    "<ul><li>Section chapter</li><li><a href=\"http://example.test/a/2\">link 2</a></li>"
    "</ul></li>\n</ol>\n",
    "<table border=1 width=\"90%\">\n<tr><td colspan=2 bgcolor=\"#eeeeee\">Head cell</td>"
    "<td width=100>Third</td><td width=100>Fourth</td></tr>\n<tr><td width=100>One</td>"
    "<td width=100>Two</td><td width=100>Three</td><td rowspan=2 valign=bottom>Tall</td>"
    "</tr>\n<tr><td width=100>Five</td><td width=100>Six</td><td><table border=1><tr>"
    "<td>inner</td><td>cell</td></tr><tr><td>x</td><td>y</td></tr></table></td></tr>\n"
    "</table>\n",
    "<div align=center><font face=\"Verdana\" size=3 color=navy>Document reader writer "
    "engine alpha beta gamma delta</font></div>\n<blockquote>Margin header footer "
    "picture colour font style.</blockquote>\n",
    "<pre>Plain   preformatted\n  text line</pre>\n<hr>\n",
    "<p><span style=\"font-weight:bold; text-decoration:underline\">Underlined bold "
    "words</span> <sub>2</sub> <sup>3</sup> &lt;tag&gt; &nbsp; &quot;q&quot;<br>After "
    "the break.</p>\n",
    "<form><input type=checkbox name=c1 checked> Check <input type=text name=t1 "
    "value=\"v1\"></form>\n",
};

std::string RealisticPage(std::size_t bytes) {
  std::string page =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
      "<style>body { font-family: Arial; font-size: 10pt } p { margin-top: 6px }"
      " .h { color: #003366; font-family: Georgia }</style></head><body>\n";
  for (std::size_t i = 0; page.size() < bytes; ++i) page += kBlocks[i % std::size(kBlocks)];
  page += "</body></html>\n";
  return page;
}

const std::string& Page(std::int64_t megabytes) {
  static const std::string small = RealisticPage(1 << 20);
  static const std::string large = RealisticPage(8 << 20);
  return megabytes <= 1 ? small : large;
}

// The page decoded and pre-processed: the input of the stages from font analysis on.
std::string CleanedPage(const std::string& page) {
  CarryOver carry;
  ConvertRequest request;
  Conversion c(carry, request, BenchOptions(), EngineSettings{});
  c.raw = page;
  c.input_size = page.size();
  (void)DecodeInput(c);
  PreprocessHtml(c);
  return c.input;
}

void BM_AnalyzeFontsAndColors(benchmark::State& state) {
  const std::string cleaned = CleanedPage(Page(state.range(0)));
  CarryOver carry;
  ConvertRequest request;
  for (auto _ : state) {
    Conversion c(carry, request, BenchOptions(), EngineSettings{});
    c.input = cleaned;  // the copy is part of every case: memcpy speed, next to the scan
    AnalyzeFontsAndColors(c);
    benchmark::DoNotOptimize(c.fonts.size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(cleaned.size()));
}
BENCHMARK(BM_AnalyzeFontsAndColors)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

// Every table of the page measured and analysed, as the table start tag does.
void BM_TableAnalysis(benchmark::State& state) {
  const std::string cleaned = CleanedPage(Page(state.range(0)));
  std::vector<std::size_t> starts;
  for (std::size_t at = cleaned.find("<table"); at != std::string::npos;
       at = cleaned.find("<table", at + 1)) {
    starts.push_back(at);
  }
  CarryOver carry;
  ConvertRequest request;
  Conversion c(carry, request, BenchOptions(), EngineSettings{});
  c.input = cleaned;
  c.tables.matches.Build(c.input);
  std::int64_t table_bytes = 0;
  for (auto _ : state) {
    table_bytes = 0;
    for (const std::size_t start : starts) {
      const std::string_view text = std::string_view(c.input).substr(start);
      const TableMeasure m = MeasureTable(text, &c.tables.matches);
      TableState s;
      s.rows = m.rows;
      s.columns = m.grid_columns + 2;
      AnalyzeTable(c, text, s, c.printable_width);
      benchmark::DoNotOptimize(s.grid.rows.data());
      const std::size_t end = c.input.find("</table>", start);
      const std::size_t stop = end == std::string::npos ? c.input.size() : end;
      table_bytes += static_cast<std::int64_t>(stop - start);
    }
  }
  state.SetBytesProcessed(state.iterations() * table_bytes);
}
BENCHMARK(BM_TableAnalysis)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

// Writing a document with pictures: 200 groups of 64 KiB of hex text each.
void BM_WritePictures(benchmark::State& state) {
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("velmorane-bench-" + std::to_string(::getpid())))
          .string() + "/";
  std::filesystem::create_directories(folder);
  constexpr int kPictures = 200;
  const std::string hex(64 << 10, 'a');
  const std::string body = Page(state.range(0));
  CarryOver carry;
  ConvertRequest request;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Conversion c(carry, request, BenchOptions(), EngineSettings{});
    c.work_folder = folder;
    for (int i = 0; i < kPictures; ++i) {
      PictureRecord r;
      r.temp_name = "pic" + std::to_string(i) + ".hex";
      c.output.AddAnchor(body.size() / kPictures * static_cast<std::size_t>(i));
      r.hex_length = static_cast<long>(hex.size());
      r.width = r.height = 100;
      r.kind = PictureKind::kPng;
      (void)WriteBinaryFile(folder + r.temp_name, hex);
      c.pictures.records.push_back(r);
    }
    c.output += body;
    std::string document;
    StringSink sink(document);
    PictureGroupWriter groups(c);
    state.ResumeTiming();
    (void)c.output.Finish(sink, &groups, false, false);
    c.pictures.temporaries.RemoveAll();
    benchmark::DoNotOptimize(document.data());
    bytes = static_cast<std::int64_t>(document.size());
  }
  std::filesystem::remove_all(folder);
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_WritePictures)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

// The whole conversion through the in-memory entry: RTF with tables, and plain text.
void BM_ConvertInMemory(benchmark::State& state) {
  const std::string& page = Page(state.range(0));
  EngineSettings settings;
  InitEngineSettings(settings);
  ConvertRequest request;
  request.output_mode = static_cast<int>(state.range(1));
  std::string output;
  for (auto _ : state) {
    Engine engine;
    if (engine.ConvertHtmlBytes(page, "/tmp/", "/tmp/", request, BenchOptions(), settings,
                                output) != ConvertResult::kDone) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_ConvertInMemory)
    ->ArgsProduct({{1, 8}, {kModeRtfTables, kModeRtfNoTables, kModePlainText}})
    ->ArgNames({"MB", "mode"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmorane
