#pragma once
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// Interleaved A/B timing. Other work on the machine slows an operation and its reference alike only
// while both run at the same time, so the two are timed in alternation, sample after sample, and a
// goal is judged on the median of the per-pair ratios: a burst of load spoils a few pairs, not the
// result. Within a sample every run is timed on its own (the monotonic clock, read in about 0.1 us)
// and the sample is the median run: a run during which the thread lost the processor, or that came
// just after and found the caches emptied, is left out instead of being averaged in.

namespace qlm::bench {

inline double nowSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One side of a pair: `run` is timed; `prepare`, when given, runs untimed before every run (to put
// back an input that `run` changes in place).
struct Side {
  std::function<void()> run;
  std::function<void()> prepare;
};

struct PairOptions {
  int pairs = 51;                 // samples of each side
  double sample_seconds = 0.002;  // the length of one sample, made of whole runs (at least 5)
};

// The options from the environment: QLM_BENCH_PAIRS and QLM_BENCH_SAMPLE_MS.
inline PairOptions pairOptionsFromEnvironment() {
  PairOptions o;
  if (const char* p = std::getenv("QLM_BENCH_PAIRS")) o.pairs = std::max(3, std::atoi(p));
  if (const char* s = std::getenv("QLM_BENCH_SAMPLE_MS"))
    o.sample_seconds = std::max(0.1, std::atof(s)) * 1e-3;
  return o;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return std::nan("");
  const std::size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  const double upper = v[mid];
  if (v.size() % 2 == 1) return upper;
  return (upper + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid))) / 2.0;
}

// Seconds of the median run among `reps` runs of `s`.
inline double sampleSide(const Side& s, int reps) {
  std::vector<double> runs(static_cast<std::size_t>(reps));
  for (double& t : runs) {
    if (s.prepare) s.prepare();
    const double t0 = nowSeconds();
    s.run();
    t = nowSeconds() - t0;
  }
  return median(std::move(runs));
}

// Runs of `s` that make up one sample of about `seconds`, from a few trial runs.
inline int repsFor(const Side& s, double seconds) {
  sampleSide(s, 2);  // warm the caches and any tables built on first use
  const double once = std::max(sampleSide(s, 5), 1e-7);
  return std::clamp(static_cast<int>(std::lround(seconds / once)), 5, 100000);
}

struct Paired {
  double ratio = 0.0;  // median of the per-pair ratios a / b
  double a_ms = 0.0;   // median time of one run of a, milliseconds
  double b_ms = 0.0;
};

// Times `a` and `b` in alternation (the side that goes first alternates too), one sample each per
// pair, and returns the median of the per-pair ratios and each side's median time.
inline Paired pairedRatio(const Side& a, const Side& b, const PairOptions& o) {
  const int reps_a = repsFor(a, o.sample_seconds);
  const int reps_b = repsFor(b, o.sample_seconds);
  std::vector<double> ta;
  std::vector<double> tb;
  std::vector<double> ratios;
  for (int p = 0; p < o.pairs; ++p) {
    double x;
    double y;
    if (p % 2 == 0) {
      x = sampleSide(a, reps_a);
      y = sampleSide(b, reps_b);
    } else {
      y = sampleSide(b, reps_b);
      x = sampleSide(a, reps_a);
    }
    ta.push_back(x);
    tb.push_back(y);
    ratios.push_back(x / y);
  }
  return {median(ratios), median(ta) * 1e3, median(tb) * 1e3};
}

// Thread CPU time (user and kernel time of this thread only; a syscall of a few microseconds, so it
// is read once per sample).
inline double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The processor time one run of `s` takes, in milliseconds: the median over as many samples as a pair
// has of a sample's thread CPU time per run. Time spent waiting (for the processor, for the disk) does
// not count. `s` must have no `prepare`.
inline double medianCpuMilliseconds(const Side& s, const PairOptions& o) {
  const int reps = repsFor(s, o.sample_seconds);
  std::vector<double> t;
  for (int p = 0; p < o.pairs; ++p) {
    const double t0 = threadCpuSeconds();
    for (int r = 0; r < reps; ++r)
      s.run();
    t.push_back((threadCpuSeconds() - t0) / reps);
  }
  return median(std::move(t)) * 1e3;
}

}  // namespace qlm::bench
