#pragma once
#include <cstdint>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/transport.h"

namespace qlm::test {

using Bytes = std::vector<std::uint8_t>;

// A transport whose device list and answers are scripted by the test and which records every byte
// written and every read asked for.
class ScriptedTransport final : public Transport {
 public:
  struct Answer {
    Bytes bytes;  // delivered from the first byte of the read buffer (at most the count asked for)
    bool ok = true;
    int error = 0;
  };

  // Script.
  DeviceList devices;
  std::set<std::string> refused_paths;
  int next_handle = 100;
  OsVersion os{5, 1};
  int failing_writes = 0;  // the next this many writes fail
  int short_writes = 0;    // the next this many writes report success with half the bytes
  void answer(Bytes bytes) { answers.push_back({std::move(bytes), true, 0}); }
  void failRead(int error) { answers.push_back({{}, false, error}); }

  // Record.
  std::vector<std::string> opened;
  std::vector<Bytes> writes;
  std::vector<std::size_t> reads;
  int closes = 0;
  int drains = 0;

  DeviceList listDevices() override { return devices; }
  std::optional<int> open(const std::string& path) override {
    if (refused_paths.count(path) != 0) return std::nullopt;
    opened.push_back(path);
    return next_handle++;
  }
  IoResult write(const std::uint8_t* data, std::size_t n) override {
    writes.emplace_back(data, data + n);
    if (failing_writes > 0) {
      --failing_writes;
      return {false, 0, 31};
    }
    if (short_writes > 0) {
      --short_writes;
      return {true, n / 2, 0};
    }
    return {true, n, 0};
  }
  // Unscripted reads succeed in full without touching the buffer (it keeps what it held).
  IoResult read(std::uint8_t* data, std::size_t n) override {
    reads.push_back(n);
    if (answers.empty()) return {true, n, 0};
    Answer a = std::move(answers.front());
    answers.pop_front();
    const std::size_t count = a.bytes.size() < n ? a.bytes.size() : n;
    if (count > 0) std::memcpy(data, a.bytes.data(), count);
    return {a.ok, a.ok ? count : 0, a.error};
  }
  void close() override { ++closes; }
  void drain() override { ++drains; }
  OsVersion osVersion() const override { return os; }

 private:
  std::deque<Answer> answers;
};

inline Bytes bytesOf(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values)
    b.push_back(static_cast<std::uint8_t>(v));
  return b;
}

inline Bytes textBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// 16-bit little-endian pixel bytes of `values`.
inline Bytes pixelBytes(const std::vector<std::uint16_t>& values) {
  Bytes b;
  b.reserve(values.size() * 2);
  for (std::uint16_t v : values) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return b;
}

}  // namespace qlm::test
