#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/processing_bench_support.h"
#include "image/convolve.h"
#include "image/median_unsharp.h"

#ifdef QLM_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

// Every benchmark starts each iteration from a fresh copy of the same sky frame, copied inside the
// timing for the program's filters and for the OpenCV reference points alike.

namespace {

using qlm::Frame;

struct Buffers {
  Frame source;
  Frame current;
  Frame second;
  Frame undo;
  Buffers() {
    qlm::bench::installNullUi();
    qlm::bench::fillSkyFrame(source);
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

// The six menu kernels through the engine (argument: kernel index).
void BM_Kernel(benchmark::State& state) {
  Buffers& b = buffers();
  const int k = static_cast<int>(state.range(0));
  const qlm::KernelFilter& f = qlm::kernelFilter(k);
  for (auto _ : state) {
    b.fresh();
    qlm::convolveFrame(f.radius, qlm::kernelTable()[static_cast<std::size_t>(k)], f.divisor, b.current,
                       b.second, b.undo);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Kernel)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

void BM_Gradient(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    b.fresh();
    qlm::removeBackgroundPlane(b.current, b.undo);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Gradient)->Unit(benchmark::kMicrosecond);

// Unsharp mask with radius 1-7 and power 3.
void BM_Unsharp(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    b.fresh();
    qlm::unsharpMaskFrame(static_cast<int>(state.range(0)), 3, b.current, b.second, b.undo);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Unsharp)->DenseRange(1, 7, 2)->Unit(benchmark::kMicrosecond);

// Median with radius 1-3 and power 0.6.
void BM_Median(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    b.fresh();
    qlm::medianFilterFrame(static_cast<int>(state.range(0)), 6, false, b.current, b.second, b.undo);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Median)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

#ifdef QLM_HAVE_OPENCV
// Reference points: what a user would call on the same 16-bit frame, timed on one thread (second
// argument 1; CPU time) and at OpenCV's default thread count (second argument 0; wall time, as its
// threads share the work).
struct OpenCvRun {
  cv::Mat source;
  cv::Mat src;
  cv::Mat dst;
  explicit OpenCvRun(benchmark::State& state) {
    cv::setNumThreads(state.range(1) == 1 ? 1 : -1);
    source = cv::Mat(qlm::kFrameHeight, qlm::kFrameWidth, CV_16U, buffers().source.data()).clone();
    src = source.clone();
  }
  ~OpenCvRun() { cv::setNumThreads(-1); }
  void fresh() { source.copyTo(src); }
};

void threads(benchmark::internal::Benchmark* b, int first, int last, int step) {
  for (int a = first; a <= last; a += step) {
    b->Args({a, 1});
    b->Args({a, 0});
  }
}

// filter2D with each menu kernel, scaled by its divisor (argument: kernel index).
void BM_CvFilter2D(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const qlm::KernelFilter& f = qlm::kernelFilter(k);
  const int size = 2 * f.radius + 1;
  cv::Mat kernel(size, size, CV_32F);
  for (int i = 0; i < size * size; ++i)
    kernel.at<float>(i / size, i % size) =
        static_cast<float>(qlm::kernelTable()[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)]) /
        static_cast<float>(f.divisor);
  OpenCvRun run(state);
  for (auto _ : state) {
    run.fresh();
    cv::filter2D(run.src, run.dst, CV_16U, kernel);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CvFilter2D)->Apply([](auto* b) { threads(b, 0, 5, 1); }) -> Unit(benchmark::kMicrosecond);

// GaussianBlur of size 2r + 1 (argument: r).
void BM_CvGaussianBlur(benchmark::State& state) {
  const int size = 2 * static_cast<int>(state.range(0)) + 1;
  OpenCvRun run(state);
  for (auto _ : state) {
    run.fresh();
    cv::GaussianBlur(run.src, run.dst, cv::Size(size, size), 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CvGaussianBlur)->Apply([](auto* b) { threads(b, 1, 2, 1); }) -> Unit(benchmark::kMicrosecond);

// The unsharp mask as a user would write it: box blur, then src x (1 + k) - blur x k (k = 3).
void BM_CvBlurAddWeighted(benchmark::State& state) {
  const int size = 2 * static_cast<int>(state.range(0)) + 1;
  OpenCvRun run(state);
  cv::Mat blurred;
  for (auto _ : state) {
    run.fresh();
    cv::blur(run.src, blurred, cv::Size(size, size));
    cv::addWeighted(run.src, 4.0, blurred, -3.0, 0.0, run.dst);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CvBlurAddWeighted)->Apply([](auto* b) { threads(b, 1, 7, 2); }) -> Unit(benchmark::kMicrosecond);

// medianBlur on the 16-bit frame (OpenCV takes 16 bits only up to 5 x 5).
void BM_CvMedianBlur(benchmark::State& state) {
  const int size = 2 * static_cast<int>(state.range(0)) + 1;
  OpenCvRun run(state);
  for (auto _ : state) {
    run.fresh();
    cv::medianBlur(run.src, run.dst, size);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CvMedianBlur)->Apply([](auto* b) { threads(b, 1, 2, 1); }) -> Unit(benchmark::kMicrosecond);
#endif

}  // namespace
