#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/processing_bench_support.h"
#include "image/calibration.h"
#include "image/stacking.h"

namespace {

using qlm::Frame;

struct Buffers {
  Frame current;
  Frame second;
  Frame third;
  Buffers() {
    qlm::bench::installNullUi();
    qlm::bench::fillSkyFrame(current);
    qlm::bench::fillSkyFrame(second);
    for (std::size_t i = 0; i < qlm::kFrameElements; ++i)
      third[i] = static_cast<std::uint16_t>(second[i] / 4 + 1);  // a flat: no zeros
  }
};

Buffers& buffers() {
  static Buffers* b = new Buffers;
  return *b;
}

// Reference point: a plain memcpy of the 330,000 used elements.
void BM_CalibrationFrameCopy(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    std::memcpy(b.second.data(), b.current.data(), qlm::kFrameElements * sizeof(std::uint16_t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CalibrationFrameCopy)->Unit(benchmark::kMicrosecond);

void BM_SubtractDark(benchmark::State& state) {
  Buffers& b = buffers();
  qlm::bench::fillSkyFrame(b.current);
  for (auto _ : state) {
    qlm::subtractDark(b.current, b.third);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SubtractDark)->Unit(benchmark::kMicrosecond);

// Automatic flat fielding of one frame (rows 2-498) with the flat prepared when it was read, by each
// row code the processor has (argument: FlatCode); the preparation itself; and the interactive flat
// field, which prepares the flat and shows its progress window.
void BM_AutoFlatField(benchmark::State& state) {
  Buffers& b = buffers();
  const auto code = static_cast<qlm::FlatCode>(state.range(0));
  if (!qlm::selectFlatCode(code)) {
    state.SkipWithError("not on this processor");
    return;
  }
  static auto* prepared = new qlm::PreparedFlat;
  qlm::prepareFlat(b.third, *prepared);
  qlm::bench::fillSkyFrame(b.current);
  for (auto _ : state) {
    qlm::autoFlatField(b.current, b.third, *prepared);
    benchmark::ClobberMemory();
  }
  qlm::selectFlatCode(qlm::FlatCode::Best);
}
BENCHMARK(BM_AutoFlatField)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_PrepareFlat(benchmark::State& state) {
  Buffers& b = buffers();
  static auto* prepared = new qlm::PreparedFlat;
  for (auto _ : state) {
    qlm::prepareFlat(b.third, *prepared);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PrepareFlat)->Unit(benchmark::kMicrosecond);

void BM_InteractiveFlatField(benchmark::State& state) {
  Buffers& b = buffers();
  qlm::bench::fillSkyFrame(b.current);
  for (auto _ : state) {
    qlm::interactiveFlatField(b.current, b.third, *qlm::platform().ui);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_InteractiveFlatField)->Unit(benchmark::kMicrosecond);

void BM_MergeImages(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    qlm::mergeImages(b.second, b.current, 3, -2, state.range(0) != 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MergeImages)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One later exposure of star tracking: three centroid passes, the aligned sum and the copy into the
// stack (argument: 1 averages over 10 exposures). The reference is put back before each step so that
// every step merges.
void BM_StackStarStep(benchmark::State& state) {
  Buffers& b = buffers();
  qlm::bench::fillSkyFrame(b.current);
  qlm::StackState s;
  qlm::CentroidState centroid;
  centroid.main = {100, 100, 0, 0};
  qlm::stackByStar(s, b.current, b.second, 10, state.range(0) != 0, 8, centroid);
  const qlm::StackState reference = s;
  for (auto _ : state) {
    s = reference;
    s.peak = 30000;
    qlm::stackByStar(s, b.current, b.second, 10, state.range(0) != 0, 8, centroid);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StackStarStep)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_StackProfileStep(benchmark::State& state) {
  Buffers& b = buffers();
  qlm::bench::fillSkyFrame(b.current);
  qlm::StackState s;
  qlm::stackByProfile(s, b.current, b.second, 10, false);
  const qlm::StackState reference = s;
  for (auto _ : state) {
    s = reference;
    qlm::stackByProfile(s, b.current, b.second, 10, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StackProfileStep)->Unit(benchmark::kMicrosecond);

}  // namespace
