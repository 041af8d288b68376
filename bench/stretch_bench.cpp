#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/processing_bench_support.h"
#include "image/stretch.h"

#ifdef QLM_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

using qlm::Frame;
using qlm::StretchCurve;

struct Buffers {
  Frame current;
  Frame undo;
  StretchCurve table;
  Buffers() {
    qlm::bench::installNullUi();
    qlm::bench::fillSkyFrame(current);
  }
};

Buffers& buffers() {
  static Buffers* b = new Buffers;
  return *b;
}

// Reference point: a plain memcpy of the 330,000 used elements.
void BM_MemcpyFrame(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    std::memcpy(b.undo.data(), b.current.data(), qlm::kFrameElements * sizeof(std::uint16_t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);

// A table stretch as a command runs it: the curve, then the table application with its snapshot.
template <typename Fill>
void stretch(benchmark::State& state, Fill fill) {
  Buffers& b = buffers();
  for (auto _ : state) {
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
BENCHMARK(BM_NonLinearStretch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BackgroundRemoval)->Unit(benchmark::kMicrosecond);

#ifdef QLM_HAVE_OPENCV
// Reference point: OpenCV's table look-up over an 8-bit image of the frame's size (cv::LUT has no
// 16-bit form).
void BM_OpenCvLut8(benchmark::State& state) {
  cv::setNumThreads(1);  // one thread, like the program's stretches
  cv::Mat src(qlm::kFrameHeight, qlm::kFrameWidth, CV_8U);
  cv::randu(src, 0, 256);
  cv::Mat lut(1, 256, CV_8U);
  for (int i = 0; i < 256; ++i)
    lut.at<std::uint8_t>(i) = static_cast<std::uint8_t>(255 - i);
  cv::Mat dst;
  for (auto _ : state) {
    cv::LUT(src, lut, dst);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenCvLut8)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
