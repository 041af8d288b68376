#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "image/display.h"
#include "image/view_ops.h"
#include "platform/headless_ui.h"
#include "platform/platform.h"

namespace {

// A noisy sky: values spread over the whole 16-bit range so that no table look-up is trivial.
void fillSky(qlm::Frame& f) {
  std::mt19937 rng(7);
  std::normal_distribution<double> sky(6000.0, 1500.0);
  for (int i = 0; i < qlm::kFrameElements; ++i)
    f[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::clamp(sky(rng), 0.0, 65535.0));
}

// Reference point: a plain memcpy of the 330,000 used elements.
void BM_MemcpyFrame(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  for (auto _ : state) {
    std::memcpy(b.UndoFrame.data(), b.CurrentFrame.data(), qlm::kFrameElements * sizeof(std::uint16_t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrame);

void BM_DisplayBytes(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  for (auto _ : state) {
    qlm::computeDisplayBytes(b.CurrentFrame, b.DisplayBytes.data(), qlm::kFrameElements);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DisplayBytes);

// Each iteration remaps a fresh copy of the display bytes.
void BM_MaxPaletteStretch(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  qlm::computeDisplayBytes(b.CurrentFrame, b.BitmapRows.data(), qlm::kFrameElements);
  for (auto _ : state) {
    std::memcpy(b.DisplayBytes.data(), b.BitmapRows.data(), qlm::kFrameElements);
    qlm::maxPaletteStretch(b.DisplayBytes.data(), qlm::kFrameElements, 25.0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MaxPaletteStretch);

void BM_BackgroundLevelB2(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  for (auto _ : state)
    benchmark::DoNotOptimize(qlm::backgroundLevelB2(b.CurrentFrame, b));
}
BENCHMARK(BM_BackgroundLevelB2);

void BM_MirrorImage(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  for (auto _ : state) {
    qlm::mirrorImage(b.CurrentFrame, b.SecondFrame);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MirrorImage);

void BM_FlipImage(benchmark::State& state) {
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  for (auto _ : state) {
    qlm::flipImage(b.CurrentFrame, b.SecondFrame);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FlipImage);

// A temporary data folder and a platform around it for the file-writing benchmarks.
struct TempPlatform {
  std::filesystem::path root = std::filesystem::temp_directory_path() / "qlm_display_bench";
  qlm::VirtualClock clock;
  qlm::HeadlessUi ui{clock};
  qlm::NullTransport none;
  std::optional<qlm::ScopedPlatform> scoped;
  TempPlatform() {
    std::filesystem::create_directories(root);
    scoped.emplace(qlm::Platform{&clock, &ui, &none, qlm::Paths(root)});
  }
  ~TempPlatform() {
    scoped.reset();
    std::filesystem::remove_all(root);
  }
};

// Reference point: the bitmap write alone (rows reversed, header, palette, 16 chunks, rename), from the
// display bytes of the frame.
void BM_WriteBitmap(benchmark::State& state) {
  TempPlatform p;
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  qlm::computeDisplayBytes(b.CurrentFrame, b.DisplayBytes.data(), qlm::kFrameElements);
  const qlm::BitmapPalette palette =
      qlm::displayPalette(qlm::FrameState{}, qlm::displayState().auto_contrast_table);
  const auto path = qlm::platform().paths.displayBitmap();
  for (auto _ : state) {
    benchmark::DoNotOptimize(qlm::writeBitmapFile(path, b.DisplayBytes.data(), qlm::kFrameWidth,
                                                  qlm::kFrameHeight, palette, b.BitmapRows.data(), 16));
  }
}
BENCHMARK(BM_WriteBitmap)->Unit(benchmark::kMicrosecond);

// The whole refresh: display bytes, (argument 1:) auto contrast and max palette stretch, the temporary
// bitmap written and read back. The frame is not changed by a refresh, so every iteration starts from
// the same input.
void BM_RefreshDisplay(benchmark::State& state) {
  TempPlatform p;
  auto& b = qlm::imageBuffers();
  fillSky(b.CurrentFrame);
  qlm::frameState().auto_contrast = state.range(0) != 0;
  qlm::frameState().max_palette_stretch = state.range(0) != 0;
  for (auto _ : state) {
    qlm::refreshDisplay();
    p.ui.clearCalls();
  }
  qlm::frameState() = qlm::FrameState{};
}
BENCHMARK(BM_RefreshDisplay)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
