// One exposure through the INDI driver as a client takes it: connect to indiserver, set
// CCD_EXPOSURE, wait for the image in CCD1. The driver must already be connected. Whole-process
// timings of this program against `qlm_t4_cli readout` give the driver's cost per exposure.
// Usage: indi_expose SECONDS [DEVICE] [PORT]. Prints the image size and the milliseconds from the
// request to the image; exits 1 when no image came within SECONDS + 30 s.
#include <baseclient.h>
#include <basedevice.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

class ExposeClient : public INDI::BaseClient {
 public:
  explicit ExposeClient(std::string device) : device_(std::move(device)) {}

  void newProperty(INDI::Property property) override {
    if (property.isNameMatch("CCD_EXPOSURE")) signal([this] { ready_ = true; });
  }
  void updateProperty(INDI::Property property) override {
    if (property.getType() != INDI_BLOB || !property.isNameMatch("CCD1")) return;
    const int bytes = property.getBLOB()->at(0)->getSize();
    signal([this, bytes] { image_bytes_ = bytes; });
  }

  bool waitReady(int seconds) {
    return wait(seconds, [this] { return ready_; });
  }
  bool waitImage(int seconds) {
    return wait(seconds, [this] { return image_bytes_ >= 0; });
  }
  int imageBytes() const { return image_bytes_; }

 private:
  template <typename F>
  void signal(F change) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      change();
    }
    changed_.notify_all();
  }
  template <typename P>
  bool wait(int seconds, P done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(seconds), done);
  }

  std::string device_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  int image_bytes_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: indi_expose SECONDS [DEVICE] [PORT]\n");
    return 2;
  }
  const double seconds = std::atof(argv[1]);
  const std::string device = argc > 2 ? argv[2] : "QLM T4 CCD";
  const unsigned port = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 7624;
  ExposeClient client(device);
  client.setServer("localhost", port);
  client.watchDevice(device.c_str());
  if (!client.connectServer() || !client.waitReady(10)) {
    std::fprintf(stderr, "no %s on localhost:%u\n", device.c_str(), port);
    return 1;
  }
  client.setBLOBMode(B_ALSO, device.c_str(), "CCD1");
  const auto t0 = std::chrono::steady_clock::now();
  client.sendNewNumber(device.c_str(), "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", seconds);
  const bool got = client.waitImage(static_cast<int>(seconds) + 30);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  client.disconnectServer();
  if (!got) {
    std::fprintf(stderr, "no image within %.0f s\n", seconds + 30);
    return 1;
  }
  std::printf("image %d bytes, %.1f ms after the request\n", client.imageBytes(), ms);
  return 0;
}
