#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qlm {

namespace {

constexpr std::string_view kTempPrefix = ".qlm_";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kWriteBuffer = 256 * 1024;

WriteFailure& lastFailureRecord() {
  static WriteFailure failure;
  return failure;
}

// A short name of its own in the target folder, so that a target name of up to 255 bytes still has a
// temporary name the file system takes; the process number lets a later run tell a stale one.
std::filesystem::path tempNameFor(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  const std::string name = std::string(kTempPrefix) + std::to_string(::getpid()) + "_" +
                           std::to_string(counter++) + std::string(kTempSuffix);
  return target.has_parent_path() ? target.parent_path() / name : std::filesystem::path(name);
}

// Digits only, and not too many for a process number.
bool parsePid(std::string_view text, long& pid) {
  if (text.empty() || text.size() > 9) return false;
  pid = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0;
}

// The process that wrote a temporary file of ours, from its name; 0 when the name is not one of ours.
// Besides the present form, names of the earlier form "<target>.tmp<pid>_<n>" are recognised.
long tempFileOwner(const std::string& name) {
  long pid = 0;
  if (name.size() > kTempPrefix.size() + kTempSuffix.size() && name.starts_with(kTempPrefix) &&
      name.ends_with(kTempSuffix)) {
    const std::string_view mid = std::string_view(name).substr(
        kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
    const std::size_t sep = mid.find('_');
    if (sep != std::string_view::npos && parsePid(mid.substr(0, sep), pid)) return pid;
    return 0;
  }
  const std::size_t at = name.rfind(".tmp");
  if (at == std::string::npos || at == 0) return 0;
  const std::string_view rest = std::string_view(name).substr(at + 4);
  const std::size_t sep = rest.find('_');
  if (sep == std::string_view::npos || sep + 1 == rest.size()) return 0;
  for (char c : rest.substr(sep + 1)) {
    if (c < '0' || c > '9') return 0;
  }
  return parsePid(rest.substr(0, sep), pid) ? pid : 0;
}

bool processRunning(long pid) {
  if (pid == static_cast<long>(::getpid())) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Gives the temporary file the target's name only when no file has that name yet.
int renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // A file system without the flag: a hard link also refuses an existing name.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

// Puts the written file in place of an existing regular file by swapping the two names and removing
// the old file under the temporary name: the target always names a whole file, and the file system
// sees no replacing rename (ext4 starts writing the new file's data out at once on one, which costs
// more processor time than the 330 kB write itself). -1 when the swap cannot be made here (no such
// target, another kind of file, no support for it): the caller renames instead.
int exchangeAndDrop(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef RENAME_EXCHANGE
  struct stat st {};
  if (::lstat(to.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0) {
    if (errno == EINVAL || errno == ENOSYS || errno == ENOENT) return -1;
    return errno;
  }
  ::unlink(from.c_str());  // the old file; a failure leaves a stale temporary file for the next start
  return 0;
#else
  (void)from;
  (void)to;
  return -1;
#endif
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target, Durability durability, Replace replace)
    : target_(std::move(target)), durability_(durability), replace_(replace) {}

AtomicFile::~AtomicFile() {
  abandon();
}

const WriteFailure& AtomicFile::lastFailure() {
  return lastFailureRecord();
}

void AtomicFile::clearLastFailure() {
  lastFailureRecord() = WriteFailure{};
}

void AtomicFile::fail(int error) {
  abandon();
  failed_ = true;
  error_ = error != 0 ? error : EIO;
  lastFailureRecord() = WriteFailure{target_, error_};
}

bool AtomicFile::open() {
  clearLastFailure();  // a failure reported later is this file's
  const std::filesystem::path target = resolveLinks(target_);
  if (isReadOnlyFile(target)) {
    fail(EACCES);
    return false;
  }
  removeStaleTempFiles(target.has_parent_path() ? target.parent_path() : ".");
  temp_ = tempNameFor(target);
  const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (file_ == nullptr) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    fail(error);
    return false;
  }
  // Scratch files are written in a few large chunks: each goes to the system as it is, not through
  // a 4 kB buffer that splits it in two. Other files (a frame written row by row, say) go out in a few
  // large writes rather than 4 KiB at a time.
  if (durability_ == Durability::Scratch) {
    std::setvbuf(file_, nullptr, _IONBF, 0);
  } else {
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWriteBuffer);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kWriteBuffer);
  }
  failed_ = false;
  return true;
}

bool AtomicFile::write(const void* data, std::size_t n) {
  if (file_ == nullptr || failed_) return false;
  std::size_t allowed = n;
  if (fail_after_bytes_ >= 0) {
    const long long left = fail_after_bytes_ - written_;
    allowed = left <= 0 ? 0 : std::min<std::size_t>(n, static_cast<std::size_t>(left));
  }
  if (write_calls_++ == fail_at_write_) allowed = std::min(allowed, n / 2);
  errno = 0;
  const std::size_t done = allowed == 0 ? 0 : std::fwrite(data, 1, allowed, file_);
  written_ += static_cast<long long>(done);
  if (done != n) {
    // A write cut short by the test hooks stands for a full disk.
    fail(done < allowed ? errno : ENOSPC);
    return false;
  }
  return true;
}

bool AtomicFile::commit() {
  if (file_ == nullptr || failed_) return false;
  // The data reaches the disk before the rename can make it the target's content.
  const bool deferred = durability_ == Durability::Synced && deferred_ > 0;
  const bool synced = durability_ == Durability::Synced && !deferred;
  errno = 0;
  const bool flushed = std::fflush(file_) == 0 && (!synced || ::fsync(::fileno(file_)) == 0);
  int error = errno;
  // Starts the writeback without waiting for it; the batch's end waits.
  if (flushed && deferred) ::sync_file_range(::fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
  const bool closed = std::fclose(file_) == 0;
  if (error == 0) error = errno;
  file_ = nullptr;
  if (!flushed || !closed) {
    fail(error);
    return false;
  }
  const std::filesystem::path target = resolveLinks(target_);
  if (replace_ == Replace::Never) {
    error = renameNoReplace(temp_, target);
  } else {
    error = durability_ == Durability::Scratch ? exchangeAndDrop(temp_, target) : -1;
    if (error < 0) error = ::rename(temp_.c_str(), target.c_str()) == 0 ? 0 : errno;
  }
  if (error != 0) {
    fail(error);
    return false;
  }
  temp_.clear();
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  if (deferred) {
    deferred_files_.push_back(target);
    if (std::find(deferred_folders_.begin(), deferred_folders_.end(), folder) == deferred_folders_.end())
      deferred_folders_.push_back(folder);
  }
  if (!synced) return true;
  // The rename itself lasts once the folder's entry is on disk.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

std::string describeWriteFailure(const WriteFailure& failure) {
  if (failure.path.empty()) return {};
  return failure.path.string() + ": " + std::strerror(failure.error);
}

std::filesystem::path resolveLinks(const std::filesystem::path& path) {
  std::filesystem::path p = path;
  std::error_code ec;
  // As many hops as the system allows before it reports a loop.
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(p, ec); ++hops) {
    const std::filesystem::path to = std::filesystem::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() || !p.has_parent_path() ? to : p.parent_path() / to;
  }
  return p;
}

bool isReadOnlyFile(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) return false;
  using std::filesystem::perms;
  return (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
         perms::none;
}

void removeStaleTempFiles(const std::filesystem::path& folder) {
  static std::mutex mutex;
  static std::set<std::filesystem::path> done;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!done.insert(folder).second) return;
  }
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const long pid = tempFileOwner(name);
    std::error_code kind_ec;
    if (pid == 0 || processRunning(pid) || !it->is_regular_file(kind_ec) || it->is_symlink(kind_ec)) continue;
    std::error_code rm_ec;
    std::filesystem::remove(it->path(), rm_ec);
  }
}

std::FILE* openRegularFile(const std::filesystem::path& path) {
  // Without O_NONBLOCK the open of a FIFO itself waits for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
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
  // The files first (their data and sizes), then the folders that name them.
  for (const std::filesystem::path& file : AtomicFile::deferred_files_) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::fsync(fd);
    ::close(fd);
  }
  for (const std::filesystem::path& folder : AtomicFile::deferred_folders_) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) continue;
    ::fsync(dir);
    ::close(dir);
  }
  AtomicFile::deferred_files_.clear();
  AtomicFile::deferred_folders_.clear();
}

}  // namespace qlm
