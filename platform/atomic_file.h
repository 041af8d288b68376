#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace qlm {

// Writes a file under a temporary name in the target folder and renames it over the target only when
// every chunk was written, so a failed save never destroys the file that was there.
class AtomicFile {
 public:
  // Synced files reach the disk before the rename; scratch files (the display's temporary bitmaps,
  // rewritten on every refresh and read back at once) skip the two fsync calls.
  enum class Durability { Synced, Scratch };
  explicit AtomicFile(std::filesystem::path target, Durability durability = Durability::Synced);
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
  std::filesystem::path target_;
  std::filesystem::path temp_;
  Durability durability_;
  std::FILE* file_ = nullptr;
  long long written_ = 0;
  bool failed_ = false;
  static inline long long fail_after_bytes_ = -1;
  static inline long long fail_at_write_ = -1;
  static inline long long write_calls_ = 0;
  friend class DeferredSync;
  static inline int deferred_ = 0;  // DeferredSync objects alive
  static inline std::vector<std::filesystem::path> deferred_folders_;
};

// For a batch that writes many files: while one lives, synced files are renamed into place without
// their own fsync calls, and its end syncs, once, the file systems of every folder written to (syncfs)
// and those folders. One sync for the batch instead of two per file; a file is durable when the batch
// ends rather than when it is committed.
class DeferredSync {
 public:
  DeferredSync();
  ~DeferredSync();
  DeferredSync(const DeferredSync&) = delete;
  DeferredSync& operator=(const DeferredSync&) = delete;
};

// Size of a file in bytes, or -1 when it does not exist or is not a regular file.
long long fileSize(const std::filesystem::path& path);

}  // namespace qlm
