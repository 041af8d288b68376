#pragma once
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

namespace qlm::sim {

// The devices' records of what they received (for tests and the lab) hold at most `limit` entries:
// once full, the oldest half is dropped. The storage is set aside at the first entry, so a day's run
// keeps the same memory from its first hour on.
template <class Log, class Entry>
void appendBounded(Log& log, Entry&& entry, std::size_t limit) {
  if (log.capacity() < limit) log.reserve(limit);
  if (log.size() >= limit) log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(limit / 2));
  log.push_back(std::forward<Entry>(entry));
}

// How far back a device's motion history reaches: the middle of an 8-hour exposure.
inline constexpr std::uint32_t kHistorySpanMs = 4u * 3600u * 1000u;

// Drops the samples (oldest first, each with an `at_ms`) no longer needed to answer for a moment within
// kHistorySpanMs of the newest: the last sample at or before that moment is kept.
template <class History>
void trimHistory(History& history) {
  if (history.empty()) return;
  const std::uint32_t newest = history.back().at_ms;
  while (history.size() > 1 && static_cast<std::int32_t>(newest - std::next(history.begin())->at_ms) >=
                                   static_cast<std::int32_t>(kHistorySpanMs))
    history.pop_front();
}

}  // namespace qlm::sim
