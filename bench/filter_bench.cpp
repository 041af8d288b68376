#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/processing_bench_support.h"
#include "image/convolve.h"
#include "image/median_unsharp.h"

#ifdef QLM_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using qlm::Frame;

struct Buffers {
  Frame current;
  Frame second;
  Frame undo;
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

// The six menu kernels through the engine (argument: kernel index). The frame is refilled outside
// the timing now and then so that repeated filtering does not drift to a flat picture.
void BM_Kernel(benchmark::State& state) {
  Buffers& b = buffers();
  const int k = static_cast<int>(state.range(0));
  const qlm::KernelFilter& f = qlm::kernelFilter(k);
  for (auto _ : state) {
    qlm::convolveFrame(f.radius, qlm::kernelTable()[static_cast<std::size_t>(k)], f.divisor, b.current,
                       b.second, b.undo);
    benchmark::ClobberMemory();
  }
  qlm::bench::fillSkyFrame(b.current);
}
BENCHMARK(BM_Kernel)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

void BM_Gradient(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    qlm::removeBackgroundPlane(b.current, b.undo);
    benchmark::ClobberMemory();
  }
  qlm::bench::fillSkyFrame(b.current);
}
BENCHMARK(BM_Gradient)->Unit(benchmark::kMicrosecond);

// Unsharp mask with radius 1-7 and power 3.
void BM_Unsharp(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    qlm::unsharpMaskFrame(static_cast<int>(state.range(0)), 3, b.current, b.second, b.undo);
    benchmark::ClobberMemory();
  }
  qlm::bench::fillSkyFrame(b.current);
}
BENCHMARK(BM_Unsharp)->DenseRange(1, 7, 2)->Unit(benchmark::kMicrosecond);

// Median with radius 1-3 and power 0.6.
void BM_Median(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    qlm::medianFilterFrame(static_cast<int>(state.range(0)), 6, false, b.current, b.second, b.undo);
    benchmark::ClobberMemory();
  }
  qlm::bench::fillSkyFrame(b.current);
}
BENCHMARK(BM_Median)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

#ifdef QLM_HAVE_OPENCV
// OpenCV runs on one thread, like the program's filters.
cv::Mat skyMat() {
  cv::setNumThreads(1);
  Frame f;
  qlm::bench::fillSkyFrame(f);
  return cv::Mat(qlm::kFrameHeight, qlm::kFrameWidth, CV_16U, f.data()).clone();
}

// Reference points: OpenCV on the same 16-bit frame. filter2D with each menu kernel (scaled by its
// divisor), blur with the unsharp mask's box, medianBlur (16-bit only up to 5 x 5; 7 x 7 on 8 bits).
void BM_OpenCvFilter2D(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const qlm::KernelFilter& f = qlm::kernelFilter(k);
  const int size = 2 * f.radius + 1;
  cv::Mat kernel(size, size, CV_32F);
  for (int i = 0; i < size * size; ++i)
    kernel.at<float>(i / size, i % size) =
        static_cast<float>(qlm::kernelTable()[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)]) /
        static_cast<float>(f.divisor);
  const cv::Mat src = skyMat();
  cv::Mat dst;
  for (auto _ : state) {
    cv::filter2D(src, dst, CV_16U, kernel);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenCvFilter2D)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

void BM_OpenCvBlur(benchmark::State& state) {
  const int size = 2 * static_cast<int>(state.range(0)) + 1;
  const cv::Mat src = skyMat();
  cv::Mat dst;
  for (auto _ : state) {
    cv::blur(src, dst, cv::Size(size, size));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenCvBlur)->DenseRange(1, 7, 2)->Unit(benchmark::kMicrosecond);

void BM_OpenCvMedianBlur(benchmark::State& state) {
  const int size = 2 * static_cast<int>(state.range(0)) + 1;
  cv::Mat src = skyMat();
  if (size > 5) src.convertTo(src, CV_8U, 1.0 / 256.0);
  cv::Mat dst;
  for (auto _ : state) {
    cv::medianBlur(src, dst, size);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenCvMedianBlur)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
