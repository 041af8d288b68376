#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace qlm {

namespace {
std::filesystem::path tempNameFor(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path t = target;
  t += ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  return t;
}
}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target, Durability durability)
    : target_(std::move(target)), durability_(durability) {}

AtomicFile::~AtomicFile() {
  abandon();
}

bool AtomicFile::open() {
  temp_ = tempNameFor(target_);
  file_ = std::fopen(temp_.c_str(), "wb");
  failed_ = file_ == nullptr;
  return !failed_;
}

bool AtomicFile::write(const void* data, std::size_t n) {
  if (file_ == nullptr || failed_) return false;
  std::size_t allowed = n;
  if (fail_after_bytes_ >= 0) {
    const long long left = fail_after_bytes_ - written_;
    allowed = left <= 0 ? 0 : std::min<std::size_t>(n, static_cast<std::size_t>(left));
  }
  if (write_calls_++ == fail_at_write_) allowed = std::min(allowed, n / 2);
  const std::size_t done = allowed == 0 ? 0 : std::fwrite(data, 1, allowed, file_);
  written_ += static_cast<long long>(done);
  if (done != n) {
    abandon();
    failed_ = true;
    return false;
  }
  return true;
}

bool AtomicFile::commit() {
  if (file_ == nullptr || failed_) return false;
  // The data reaches the disk before the rename can make it the target's content.
  const bool deferred = durability_ == Durability::Synced && deferred_ > 0;
  const bool synced = durability_ == Durability::Synced && !deferred;
  const bool flushed = std::fflush(file_) == 0 && (!synced || ::fsync(::fileno(file_)) == 0);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) {
    abandon();
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp_, target_, ec);
  if (ec) {
    abandon();
    return false;
  }
  temp_.clear();
  const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
  if (deferred &&
      std::find(deferred_folders_.begin(), deferred_folders_.end(), folder) == deferred_folders_.end())
    deferred_folders_.push_back(folder);
  if (!synced) return true;
  // The rename itself lasts once the folder's entry is on disk.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void AtomicFile::abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
    temp_.clear();
  }
}

long long fileSize(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return -1;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<long long>(size);
}

DeferredSync::DeferredSync() {
  ++AtomicFile::deferred_;
}

DeferredSync::~DeferredSync() {
  if (--AtomicFile::deferred_ > 0) return;
  for (const std::filesystem::path& folder : AtomicFile::deferred_folders_) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir < 0) continue;
    ::syncfs(dir);
    ::fsync(dir);
    ::close(dir);
  }
  AtomicFile::deferred_folders_.clear();
}

}  // namespace qlm
