#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "image/stretch.h"

// The curves of the contrast stretches. Curves of plain arithmetic are evaluated entry by entry in
// loops the compiler vectorises. The curves of sin, log, exp and pow are first evaluated with short
// polynomials (no library calls, so they vectorise too) whose error is below 1e-9; an entry is taken
// from that value unless it lies within kSlack of a whole number, where the library formula itself
// decides. Every entry is therefore the truncation of the library formula.

namespace qlm {

namespace {

constexpr int kTopEntry = kStretchTableSize - 1;  // 32767
constexpr int kBlock = 512;                       // entries settled together
constexpr double kSlack = 1e-6;                   // far above the polynomials' error

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define QLM_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define QLM_VECTOR_CLONES
#endif

std::uint16_t limited(double v) {
  return static_cast<std::uint16_t>(std::min<double>(kTopEntry, std::trunc(v)));
}

// Entries first to first + n - 1 from their estimates v (each within 1e-9 of the exact value, which is
// at least -1): the whole part limited to 32767, and in `near` a mark where the estimate is too close
// to a whole number to decide. Returns whether any entry is marked.
QLM_VECTOR_CLONES
bool settleBlock(const double* v, int n, std::uint16_t* out, std::uint8_t* near) {
  int any = 0;
  for (int k = 0; k < n; ++k) {
    const int whole = static_cast<int>(v[k] + 1.0) - 1;  // floor for values above -1
    const double part = v[k] - whole;
    const int close = (part < kSlack) | (part > 1.0 - kSlack);
    near[k] = static_cast<std::uint8_t>(close);
    any |= close;
    out[k] = static_cast<std::uint16_t>(std::clamp(whole, 0, kTopEntry));
  }
  return any != 0;
}

// Fills the table block by block: `estimate(first, n, v)` writes estimates of entries first to
// first + n - 1, `exact(i)` is the entry from the library formula.
template <typename Estimate, typename Exact>
void fillFromEstimates(StretchCurve& t, Estimate estimate, Exact exact) {
  alignas(64) double v[kBlock];
  std::uint8_t near[kBlock];
  for (int first = 0; first < kStretchTableSize; first += kBlock) {
    estimate(first, kBlock, v);
    if (!settleBlock(v, kBlock, &t[static_cast<std::size_t>(first)], near)) continue;
    for (int k = 0; k < kBlock; ++k) {
      if (near[k]) t[static_cast<std::size_t>(first + k)] = exact(first + k);
    }
  }
}

// sin(x) for |x| below 1.58: the Taylor series to x^23 (the next term is below 1e-20).
QLM_VECTOR_CLONES
void sineEstimates(int first, int n, double* v) {
  static constexpr std::array<double, 12> c = [] {
    std::array<double, 12> a{};
    double f = 1.0;
    for (int k = 0; k < 12; ++k) {
      a[static_cast<std::size_t>(k)] = (k % 2 ? -1.0 : 1.0) / f;  // (-1)^k / (2k + 1)!
      f *= (2.0 * k + 2.0) * (2.0 * k + 3.0);
    }
    return a;
  }();
  for (int k = 0; k < n; ++k) {
    const double x = (first + k - 16384) * 0.00009585889570552147;
    const double x2 = x * x;
    double s = c[11];
    for (int j = 10; j >= 0; --j)
      s = s * x2 + c[static_cast<std::size_t>(j)];
    v[k] = (s * x + 1.0) * 16383.0;
  }
}

// ln(n) for whole numbers n from 1 to 32768: n = 2^e m with m in [1, 2), and m in one of 16 equal
// parts of [1, 2) with centre c, so ln n = e ln 2 + ln c + ln(1 + u), u = m / c - 1, |u| < 0.031; the
// series of ln(1 + u) to u^10 (the next term is below 1e-16).
struct LogParts {
  double ln2 = std::log(2.0);
  std::array<double, 16> ln_centre;
  std::array<double, 16> inv_centre;
  LogParts() {
    for (int j = 0; j < 16; ++j) {
      const double c = 1.0 + (j + 0.5) / 16.0;
      ln_centre[static_cast<std::size_t>(j)] = std::log(c);
      inv_centre[static_cast<std::size_t>(j)] = 1.0 / c;
    }
  }
};

// out[k] = ln(n + k) for the n + k (from n up to stop - 1) whose m share one part: `offset` is
// e ln 2 + ln c, `factor` is 2^-e / c.
QLM_VECTOR_CLONES
void lnPart(int n, int stop, double offset, double factor, double* out) {
  static constexpr std::array<double, 11> c = [] {
    std::array<double, 11> a{};
    for (int k = 1; k < 11; ++k)
      a[static_cast<std::size_t>(k)] = (k % 2 ? 1.0 : -1.0) / k;  // (-1)^(k+1) / k
    return a;
  }();
  for (int k = 0; k < stop - n; ++k) {
    const double u = (n + k) * factor - 1.0;
    double p = c[10];
    for (int j = 9; j >= 1; --j)
      p = p * u + c[static_cast<std::size_t>(j)];
    out[k] = offset + p * u;
  }
}

// ln(n) for every n from `first` to first + count - 1 (n at least 1), part by part.
void lnEstimates(int first, int count, double* out, const LogParts& lp) {
  int n = first;
  const int end = first + count;
  while (n < end) {
    const int e = std::bit_width(static_cast<unsigned>(n)) - 1;   // 2^e <= n < 2^(e + 1)
    const int j = (n << 4 >> e) & 15;                             // the part of m = n / 2^e
    const int stop = std::min(end, (((17 + j) << e) + 15) >> 4);  // first n of the next part
    const auto sj = static_cast<std::size_t>(j);
    lnPart(n, stop, e * lp.ln2 + lp.ln_centre[sj], lp.inv_centre[sj] / static_cast<double>(1 << e),
           out + (n - first));
    n = stop;
  }
}

// The power curve n^p / 32768^(p - 1) by octave parts: n = 2^e m with m in one of 32 equal parts of
// [1, 2) with centre c, so the entry is A (1 + u)^p with A = 2^(e p) c^p / 32768^(p - 1) (49 library
// calls per curve give every A) and u = n / (2^e c) - 1, |u| <= 1/64. (1 + u)^p is its binomial series
// to u^9: for p from 0.1 to 3 every left-out coefficient is below 1 in size, so the rest is below 1e-18
// of the entry. No logarithm or exponential per entry.
constexpr int kPowerParts = 32;
constexpr int kPowerTerms = 10;
struct PowerParts {
  std::array<double, 16> octave;                 // 2^(e p) / 32768^(p - 1)
  std::array<double, kPowerParts> centre_power;  // c^p
  std::array<double, kPowerParts> inv_centre;    // 1 / c
  std::array<double, kPowerTerms> binomial;      // p over k
  explicit PowerParts(double p) {
    const double scale = std::pow(32768.0, p - 1.0);
    for (int e = 0; e < 16; ++e)
      octave[static_cast<std::size_t>(e)] = std::pow(2.0, e * p) / scale;
    for (int j = 0; j < kPowerParts; ++j) {
      const double c = 1.0 + (j + 0.5) / kPowerParts;
      centre_power[static_cast<std::size_t>(j)] = std::pow(c, p);
      inv_centre[static_cast<std::size_t>(j)] = 1.0 / c;
    }
    binomial[0] = 1.0;
    for (int k = 1; k < kPowerTerms; ++k)
      binomial[static_cast<std::size_t>(k)] = binomial[static_cast<std::size_t>(k - 1)] * (p - (k - 1)) / k;
  }
};

// Estimates of the power curve's entries n = first to first + count - 1 (first at least 1), part by
// part.
QLM_VECTOR_CLONES
void powerEstimates(int first, int count, double* out, const PowerParts& pp) {
  const std::array<double, kPowerTerms> b = pp.binomial;
  int n = first;
  const int end = first + count;
  while (n < end) {
    const int e = std::bit_width(static_cast<unsigned>(n)) - 1;  // 2^e <= n < 2^(e + 1)
    const int j = (n << 5 >> e) & (kPowerParts - 1);             // the part of m = n / 2^e
    const int stop = std::min(end, (((kPowerParts + 1 + j) << e) + kPowerParts - 1) >> 5);
    const auto sj = static_cast<std::size_t>(j);
    const double a = pp.octave[static_cast<std::size_t>(e)] * pp.centre_power[sj];
    const double factor = pp.inv_centre[sj] / static_cast<double>(1 << e);
    double* o = out + (n - first);
    for (int k = 0; k < stop - n; ++k) {
      const double u = (n + k) * factor - 1.0;
      double s = b[kPowerTerms - 1];
      for (int t = kPowerTerms - 2; t >= 0; --t)
        s = s * u + b[static_cast<std::size_t>(t)];
      o[k] = a * s;
    }
    n = stop;
  }
}

QLM_VECTOR_CLONES
void normalEntries(StretchCurve& t, int b, int top, double s) {
  for (int i = 0; i < kStretchTableSize; ++i) {
    const int v = std::min(kTopEntry, static_cast<int>((i - b) * s));
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i < b ? 0 : (i < top ? v : kTopEntry));
  }
}

QLM_VECTOR_CLONES
void backgroundEntries(StretchCurve& t, int k, double s) {
  for (int i = 0; i < kStretchTableSize; ++i) {
    const int v = std::min(kTopEntry, static_cast<int>((i - k) * s));
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i < k ? 0 : v);
  }
}

QLM_VECTOR_CLONES
void nonLinearEntries(StretchCurve& t, double p) {
  for (int i = 0; i < kStretchTableSize; ++i) {
    const double e = i / 32768.0;
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(p * 32768.0 * e / (e * (p - 1.0) + 1.0));
  }
}

void computeNormalCurve(StretchCurve& t, int black, int white) {
  // (i - b) x s is below 2^31 and, from b up, not negative: the int conversion truncates it.
  normalEntries(t, black * 128, std::min(white * 128, kStretchTableSize), 255.0 / (white - black));
}

void computePowerCurve(StretchCurve& t, double power) {
  const double scale = std::pow(32768.0, power - 1.0);
  const PowerParts pp(power);
  fillFromEstimates(
      t,
      [&](int first, int n, double* v) {
        const int skip = first == 0 ? 1 : 0;  // entry 0 is 0^p = 0
        v[0] = 0.0;
        powerEstimates(first + skip, n - skip, v + skip, pp);
      },
      [&](int i) { return limited(std::pow(static_cast<double>(i), power) / scale); });
}

void computeSineCurve(StretchCurve& t) {
  fillFromEstimates(t, sineEstimates, [](int i) {
    // The factor 1 / 10432 runs the argument from -1.5706 to +1.5705 rad.
    const double v = (std::sin((i - 16384) * 0.00009585889570552147) + 1.0) * 16383.0;
    return static_cast<std::uint16_t>(std::trunc(v));
  });
}

void computeLogCurve(StretchCurve& t) {
  const LogParts lp;
  fillFromEstimates(
      t,
      [&](int first, int n, double* v) {
        lnEstimates(first + 1, n, v, lp);
        for (int k = 0; k < n; ++k)
          v[k] *= 3151.0;
      },
      [](int i) { return static_cast<std::uint16_t>(std::trunc(std::log(i + 1.0) * 3151.0)); });
}

void computeAntilogCurve(StretchCurve& t) {
  // exp(i / 3151) = exp(i0 / 3151) exp(j / 3151) for i = i0 + j: one library call per block and one
  // per offset in a block.
  std::array<double, kBlock> offsets;
  for (int j = 0; j < kBlock; ++j)
    offsets[static_cast<std::size_t>(j)] = std::exp(j / 3151.0);
  fillFromEstimates(
      t,
      [&](int first, int n, double* v) {
        const double anchor = std::exp(first / 3151.0);
        for (int k = 0; k < n; ++k)
          v[k] = std::min(anchor * offsets[static_cast<std::size_t>(k)] - 1.0, 65536.0);
      },
      [](int i) { return limited(std::exp(i / 3151.0) - 1.0); });
}

void computeInvertCurve(StretchCurve& t) {
  for (int i = 0; i < kStretchTableSize; ++i)
    t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(kTopEntry - i);
}

void computeNonLinearCurve(StretchCurve& t, int power) {
  // The quotient is positive and below 32768: the int conversion truncates it.
  nonLinearEntries(t, power);
}

void computeBackgroundCurve(StretchCurve& t, int level) {
  backgroundEntries(t, level * 128 - 256, 255.0 / (257 - level));
}

// The last twelve curves worked out are kept, each with its parameters, and filled again by a copy: a
// user repeats a stretch with the last dialog values, and automatic processing applies the same
// background level and power to frame after frame.
enum class CurveKind { Normal, Power, Sine, Log, Antilog, Invert, NonLinear, Background };

class CurveMemo {
 public:
  template <typename Compute>
  void fill(StretchCurve& t, CurveKind kind, std::uint64_t key, Compute compute) {
    for (Slot& s : slots_) {
      if (s.used && s.kind == kind && s.key == key) {
        t = s.curve;
        return;
      }
    }
    Slot& s = slots_[next_];
    next_ = (next_ + 1) % slots_.size();
    compute(s.curve);
    s.kind = kind;
    s.key = key;
    s.used = true;
    t = s.curve;
  }

 private:
  struct Slot {
    bool used = false;
    CurveKind kind = CurveKind::Normal;
    std::uint64_t key = 0;
    StretchCurve curve;
  };
  std::array<Slot, 12> slots_;
  std::size_t next_ = 0;
};

CurveMemo& curveMemo() {
  static auto* memo = new CurveMemo;
  return *memo;
}

}  // namespace

bool fillNormalCurve(StretchCurve& t, int black, int white) {
  if (black >= white) return false;
  const auto key =
      static_cast<std::uint64_t>(static_cast<std::uint32_t>(black)) << 32 | static_cast<std::uint32_t>(white);
  curveMemo().fill(t, CurveKind::Normal, key, [&](StretchCurve& c) { computeNormalCurve(c, black, white); });
  return true;
}

void fillPowerCurve(StretchCurve& t, double power) {
  curveMemo().fill(t, CurveKind::Power, std::bit_cast<std::uint64_t>(power),
                   [&](StretchCurve& c) { computePowerCurve(c, power); });
}

void fillSineCurve(StretchCurve& t) {
  curveMemo().fill(t, CurveKind::Sine, 0, computeSineCurve);
}

void fillLogCurve(StretchCurve& t) {
  curveMemo().fill(t, CurveKind::Log, 0, computeLogCurve);
}

void fillAntilogCurve(StretchCurve& t) {
  curveMemo().fill(t, CurveKind::Antilog, 0, computeAntilogCurve);
}

void fillInvertCurve(StretchCurve& t) {
  curveMemo().fill(t, CurveKind::Invert, 0, computeInvertCurve);
}

void fillNonLinearCurve(StretchCurve& t, int power) {
  curveMemo().fill(t, CurveKind::NonLinear, static_cast<std::uint32_t>(power),
                   [&](StretchCurve& c) { computeNonLinearCurve(c, power); });
}

void fillBackgroundCurve(StretchCurve& t, int level) {
  curveMemo().fill(t, CurveKind::Background, static_cast<std::uint32_t>(level),
                   [&](StretchCurve& c) { computeBackgroundCurve(c, level); });
}

}  // namespace qlm
