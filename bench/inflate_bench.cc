// Inflate throughput of our decoder and of zlib's uncompress on the same streams.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codecs/png/inflate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Kind { kText, kPicture, kNoise };

// 8 MiB of text-like bytes, of picture-like rows (smooth gradients with noise, as PNG
// filters leave them) or of incompressible noise.
Bytes MakeData(Kind kind) {
  constexpr std::size_t kSize = 8u << 20;
  Bytes data(kSize);
  std::mt19937 random(42);
  static constexpr char kWords[] =
      "conversion picture table paragraph the of and to in is that for with as on font size ";
  for (std::size_t i = 0; i < kSize; ++i) {
    switch (kind) {
      case Kind::kText:
        data[i] = static_cast<std::uint8_t>(kWords[(i * 31 + (random() % 3)) % (sizeof kWords - 1)]);
        break;
      case Kind::kPicture:
        data[i] = static_cast<std::uint8_t>((i % 3072) / 12 + (random() % 4));
        break;
      case Kind::kNoise:
        data[i] = static_cast<std::uint8_t>(random());
        break;
    }
  }
  return data;
}

struct Corpus {
  Bytes plain;
  Bytes compressed;
};

const Corpus& GetCorpus(Kind kind) {
  static Corpus corpora[3];
  Corpus& corpus = corpora[static_cast<int>(kind)];
  if (corpus.plain.empty()) {
    corpus.plain = MakeData(kind);
    uLongf size = compressBound(static_cast<uLong>(corpus.plain.size()));
    corpus.compressed.resize(size);
    compress2(corpus.compressed.data(), &size, corpus.plain.data(),
              static_cast<uLong>(corpus.plain.size()), 6);
    corpus.compressed.resize(size);
  }
  return corpus;
}

void Report(benchmark::State& state, const Corpus& corpus) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(corpus.plain.size()));
  state.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(corpus.plain.size()) / 1e6,
      benchmark::Counter::kIsRate);
}

void BM_OurInflate(benchmark::State& state) {
  const Corpus& corpus = GetCorpus(static_cast<Kind>(state.range(0)));
  for (auto _ : state) {
    Bytes out = velmorane::InflateZlib(corpus.compressed, corpus.plain.size());
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, corpus);
}

void BM_ZlibUncompress(benchmark::State& state) {
  const Corpus& corpus = GetCorpus(static_cast<Kind>(state.range(0)));
  for (auto _ : state) {
    Bytes out(corpus.plain.size());
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, corpus.compressed.data(),
                   static_cast<uLong>(corpus.compressed.size())) != Z_OK) {
      state.SkipWithError("zlib failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, corpus);
}

// Arguments: 0 text, 1 picture rows, 2 noise.
BENCHMARK(BM_OurInflate)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
