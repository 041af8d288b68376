#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/processing_bench_support.h"
#include "image/stretch.h"

// Every benchmark starts each iteration from a fresh copy of the same sky frame, copied inside the
// timing for the stretches and for the reference alike.

namespace {

using qlm::Frame;
using qlm::StretchCurve;

struct Buffers {
  Frame source;
  Frame current;
  Frame undo;
  StretchCurve table;
  std::vector<std::uint16_t> lookup = std::vector<std::uint16_t>(65536);
  Buffers() {
    qlm::bench::installNullUi();
    qlm::bench::fillSkyFrame(source);
    for (std::size_t v = 0; v < lookup.size(); ++v)
      lookup[v] = static_cast<std::uint16_t>(65535 - v);
  }
  void fresh() { std::memcpy(current.data(), source.data(), qlm::kFrameElements * sizeof(std::uint16_t)); }
};

Buffers& buffers() {
  static Buffers* b = new Buffers;
  return *b;
}

// Reference point: a plain memcpy of the 330,000 used elements.
void BM_MemcpyFrame(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    b.fresh();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);

// Reference point: a plain 16-bit table look-up over the frame, in place (cv::LUT has no 16-bit form).
void BM_PlainLookup16(benchmark::State& state) {
  Buffers& b = buffers();
  const std::uint16_t* lut = b.lookup.data();
  for (auto _ : state) {
    b.fresh();
    std::uint16_t* f = b.current.data();
    for (int i = 0; i < qlm::kFrameElements; ++i)
      f[i] = lut[f[i]];
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PlainLookup16)->Unit(benchmark::kMicrosecond);

// A table stretch as a command runs it: the curve, then the table application with its snapshot.
template <typename Fill>
void stretch(benchmark::State& state, Fill fill) {
  Buffers& b = buffers();
  for (auto _ : state) {
    b.fresh();
    fill(b.table);
    qlm::applyStretchCurve(b.table, b.current, b.undo);
    benchmark::ClobberMemory();
  }
}

void BM_NormalStretch(benchmark::State& s) {
  stretch(s, [](StretchCurve& t) { qlm::fillNormalCurve(t, 10, 200); });
}
void BM_PowerStretch(benchmark::State& s) {
  stretch(s, [](StretchCurve& t) { qlm::fillPowerCurve(t, 1.5); });
}
void BM_SineStretch(benchmark::State& s) {
  stretch(s, qlm::fillSineCurve);
}
void BM_LogStretch(benchmark::State& s) {
  stretch(s, qlm::fillLogCurve);
}
void BM_AntilogStretch(benchmark::State& s) {
  stretch(s, qlm::fillAntilogCurve);
}
void BM_InvertStretch(benchmark::State& s) {
  stretch(s, qlm::fillInvertCurve);
}
void BM_NonLinearStretch(benchmark::State& s) {
  stretch(s, [](StretchCurve& t) { qlm::fillNonLinearCurve(t, 25); });
}
void BM_BackgroundRemoval(benchmark::State& s) {
  stretch(s, [](StretchCurve& t) { qlm::fillBackgroundCurve(t, 12); });
}
BENCHMARK(BM_NormalStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PowerStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SineStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LogStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AntilogStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InvertStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NonLinearStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BackgroundRemoval)->Unit(benchmark::kMicrosecond);

}  // namespace
