#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "camera/link.h"
#include "camera/readout.h"
#include "platform/headless_ui.h"
#include "platform/platform.h"

#ifdef QLM_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// A device that answers every read at once from a prepared frame, so the readouts' own work (block,
// copy into the receive buffer, conversion into the frame) is what is measured.
class InstantCamera final : public qlm::Transport {
 public:
  InstantCamera() : frame_(qlm::kFullFrameBytes) {
    for (std::size_t i = 0; i < frame_.size(); ++i)
      frame_[i] = static_cast<std::uint8_t>(i * 37);
  }
  qlm::DeviceList listDevices() override { return {}; }
  std::optional<int> open(const std::string&) override { return 1; }
  qlm::IoResult write(const std::uint8_t*, std::size_t n) override { return {true, n, 0}; }
  qlm::IoResult read(std::uint8_t* data, std::size_t n) override {
    const std::size_t count = n < frame_.size() ? n : frame_.size();
    std::memcpy(data, frame_.data(), count);
    return {true, count, 0};
  }
  void close() override {}

 private:
  std::vector<std::uint8_t> frame_;
};

struct BenchPlatform {
  qlm::VirtualClock clock;
  qlm::HeadlessUi ui{clock};
  InstantCamera camera;
  qlm::ScopedPlatform scoped{qlm::Platform{&clock, &ui, &camera, qlm::platform().paths}};
};

// Reference point: copying the bytes of a full frame once, as the device's read does.
void BM_MemcpyFullFrameBytes(benchmark::State& state) {
  std::vector<std::uint8_t> from(qlm::kFullFrameBytes, 7);
  for (auto _ : state) {
    std::memcpy(qlm::receiveBuffer().bytes.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFullFrameBytes);

void BM_ReadFullFrame(benchmark::State& state) {
  BenchPlatform p;
  for (auto _ : state) {
    qlm::ReadFullFrame(qlm::imageBuffers().CurrentFrame, 100);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReadFullFrame);

void BM_ReadBinnedFrame(benchmark::State& state) {
  BenchPlatform p;
  for (auto _ : state) {
    qlm::ReadBinnedFrame(qlm::imageBuffers().CurrentFrame, 100);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReadBinnedFrame);

void BM_ReadGuiderFrame(benchmark::State& state) {
  BenchPlatform p;
  for (auto _ : state) {
    qlm::ReadGuiderFrame(qlm::imageBuffers().GuiderFrames[0]);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReadGuiderFrame);

void BM_GuiderHotPixelFilter(benchmark::State& state) {
  BenchPlatform p;
  qlm::ReadGuiderFrame(qlm::imageBuffers().GuiderFrames[0]);
  const qlm::GuiderFrame original = qlm::imageBuffers().GuiderFrames[0];
  for (auto _ : state) {
    qlm::GuiderFrame image = original;
    qlm::hotPixelFilter(image, qlm::hotPixelWorkArray());
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_GuiderHotPixelFilter)->Unit(benchmark::kMicrosecond);

#ifdef QLM_HAVE_OPENCV
// Reference point: a 3 x 3 medianBlur of the same guider frame (16-bit), from a fresh copy each
// iteration, on one thread (argument 1; CPU time) and at OpenCV's default thread count (argument 0).
void BM_CvMedianBlurGuider(benchmark::State& state) {
  BenchPlatform p;
  qlm::ReadGuiderFrame(qlm::imageBuffers().GuiderFrames[0]);
  cv::setNumThreads(state.range(0) == 1 ? 1 : -1);
  const cv::Mat original =
      cv::Mat(qlm::kGuiderHeight, qlm::kGuiderWidth, CV_16U, qlm::imageBuffers().GuiderFrames[0].data())
          .clone();
  cv::Mat src;
  cv::Mat dst;
  for (auto _ : state) {
    original.copyTo(src);
    cv::medianBlur(src, dst, 3);
    benchmark::ClobberMemory();
  }
  cv::setNumThreads(-1);
}
BENCHMARK(BM_CvMedianBlurGuider)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
