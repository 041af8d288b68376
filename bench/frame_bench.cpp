#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

#include "image/frame.h"

namespace {

// Reference point: a plain memcpy of the 330,000 used elements.
void BM_MemcpyFrame(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  for (auto _ : state) {
    std::memcpy(b.UndoFrame.data(), b.CurrentFrame.data(), qlm::kFrameElements * sizeof(std::uint16_t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrame);

void BM_UndoSnapshot(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  for (auto _ : state) {
    qlm::takeUndoSnapshot(b.CurrentFrame, b.UndoFrame);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_UndoSnapshot);

void BM_UndoLastFilter(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  for (auto _ : state) {
    qlm::undoLastFilter(b.CurrentFrame, b.UndoFrame, qlm::historyList());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_UndoLastFilter);

}  // namespace
