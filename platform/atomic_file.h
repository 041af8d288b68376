#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qlm {

// Why the last write of a file failed: the file's path and the system's error number.
struct WriteFailure {
  std::filesystem::path path;
  int error = 0;
};

// Writes a file under a temporary name in the target folder and renames it over the target only when
// every chunk was written, so a failed save never destroys the file that was there. A target that is
// a symbolic link is written through to the file it points at; a read-only target is refused.
class AtomicFile {
 public:
  // Synced files reach the disk before the rename; scratch files (the display's temporary bitmaps,
  // rewritten on every refresh and read back at once) skip the two fsync calls, are written unbuffered
  // and take an existing target's place by a swap of names, the old file then removed.
  enum class Durability { Synced, Scratch };
  // Never: the file takes its name only if no file has it yet (commit fails with EEXIST otherwise), so
  // two writers can never both believe they own one name.
  enum class Replace { Allowed, Never };
  explicit AtomicFile(std::filesystem::path target, Durability durability = Durability::Synced,
                      Replace replace = Replace::Allowed);
  ~AtomicFile();  // abandons an uncommitted file
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false when it cannot be created.
  bool open();
  // Writes one chunk in full; false on a short write (the file is then abandoned).
  bool write(const void* data, std::size_t n);
  // Flushes (to disk with fsync when synced), closes and renames over the target; false (and nothing
  // replaced) on failure.
  bool commit();
  // Closes and removes the temporary file.
  void abandon();
  // The system's error number of this file's failure (0 while none).
  int error() const { return error_; }

  // The failure of the last AtomicFile that failed (path empty before any), for the message.
  static const WriteFailure& lastFailure();
  static void clearLastFailure();

  // Test hook: every AtomicFile fails once this many bytes in total have been written by it
  // (negative: never). Lets tests check that each stage of a writer handles a full disk.
  static void setFailAfterBytesForTesting(long long n) { fail_after_bytes_ = n; }
  // Test hook: the write call numbered `n` (counted over every AtomicFile from the last reset, from 0)
  // fails short (negative: none). writeCallsForTesting() says how many calls were made since.
  static void setFailAtWriteForTesting(long long n) {
    fail_at_write_ = n;
    write_calls_ = 0;
  }
  static long long writeCallsForTesting() { return write_calls_; }

 private:
  void fail(int error);

  std::filesystem::path target_;
  std::filesystem::path temp_;
  Durability durability_;
  Replace replace_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;  // the stream's buffer; setvbuf keeps only a given one's size
  long long written_ = 0;
  bool failed_ = false;
  int error_ = 0;
  static inline long long fail_after_bytes_ = -1;
  static inline long long fail_at_write_ = -1;
  static inline long long write_calls_ = 0;
  friend class DeferredSync;
  static inline int deferred_ = 0;  // DeferredSync objects alive
  static inline std::vector<std::filesystem::path> deferred_folders_;
  static inline std::vector<std::filesystem::path> deferred_files_;
};

// For a batch that writes many files: while one lives, synced files are renamed into place without
// waiting for the disk (their writeback is started at once, so the disk works while the batch goes
// on), and its end syncs every file committed and then their folders. The batch waits once, for its own
// data only (not for the rest of the file system's); a file is durable when the batch ends rather than
// when it is committed.
class DeferredSync {
 public:
  DeferredSync();
  ~DeferredSync();
  DeferredSync(const DeferredSync&) = delete;
  DeferredSync& operator=(const DeferredSync&) = delete;
};

// "PATH: REASON" for a failed write, the text messages append after their own; empty when none.
std::string describeWriteFailure(const WriteFailure& failure);

// The file a path names, following symbolic links (a dangling link names its missing target).
std::filesystem::path resolveLinks(const std::filesystem::path& path);

// True for an existing regular file that nobody may write.
bool isReadOnlyFile(const std::filesystem::path& path);

// Removes the temporary files that processes no longer running left in `folder` (killed while
// writing). Each folder is looked through once per process.
void removeStaleTempFiles(const std::filesystem::path& folder);

// Opens a file for reading ("rb") only when it is a regular file: a FIFO, a device or a folder given as
// a file would block the reader or feed it endless bytes. Nothing (errno set) otherwise.
std::FILE* openRegularFile(const std::filesystem::path& path);

// Size of a file in bytes, or -1 when it does not exist or is not a regular file.
long long fileSize(const std::filesystem::path& path);

}  // namespace qlm
