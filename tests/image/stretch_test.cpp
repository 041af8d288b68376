#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "image/display.h"
#include "image/processing_frames.h"
#include "image/stretch.h"
#include "image/stretch_model.h"
#include "support/test_home.h"

namespace qlm {
namespace {

using test::at;

// ---- The curves, against values worked out by hand from their definitions ----

struct CurvePoint {
  const char* name;
  std::function<void(StretchCurve&)> fill;
  int index;
  int entry;
};

class CurvePointTest : public ::testing::TestWithParam<CurvePoint> {};

TEST_P(CurvePointTest, EntryMatchesTheHandComputedValue) {
  StretchCurve t{};
  GetParam().fill(t);
  EXPECT_EQ(t[static_cast<std::size_t>(GetParam().index)], GetParam().entry);
}

const auto power = [](double p) { return [p](StretchCurve& t) { fillPowerCurve(t, p); }; };
const auto nonLinear = [](int p) { return [p](StretchCurve& t) { fillNonLinearCurve(t, p); }; };
const auto normal = [](int b, int w) { return [b, w](StretchCurve& t) { fillNormalCurve(t, b, w); }; };
const auto background = [](int l) { return [l](StretchCurve& t) { fillBackgroundCurve(t, l); }; };

INSTANTIATE_TEST_SUITE_P(
    Curves, CurvePointTest,
    ::testing::Values(
        // i^2 / 32768; i^0.5 x 32768^0.5; i^3 / 32768^2 stays just under its limit at the top.
        CurvePoint{"Power2Middle", power(2.0), 16384, 8192},
        CurvePoint{"Power2Top", power(2.0), 32767, 32766}, CurvePoint{"Power2Low", power(2.0), 100, 0},
        CurvePoint{"PowerHalfLow", power(0.5), 100, 1810},
        CurvePoint{"PowerHalfTop", power(0.5), 32767, 32767},
        CurvePoint{"Power3Top", power(3.0), 32767, 32765},
        // (sin(0) + 1) x 16383 in the middle; the bottom is just above -1.
        CurvePoint{"SineMiddle", fillSineCurve, 16384, 16383}, CurvePoint{"SineBottom", fillSineCurve, 0, 0},
        // ln(i + 1) x 3151.
        CurvePoint{"LogZero", fillLogCurve, 0, 0}, CurvePoint{"LogOne", fillLogCurve, 1, 2184},
        CurvePoint{"LogTop", fillLogCurve, 32767, 32761},
        // e^(i / 3151) - 1: e - 1, e^5 - 1, and the limit from 32762 up.
        CurvePoint{"AntilogZero", fillAntilogCurve, 0, 0}, CurvePoint{"AntilogE", fillAntilogCurve, 3151, 1},
        CurvePoint{"AntilogE5", fillAntilogCurve, 15755, 147},
        CurvePoint{"AntilogBelowLimit", fillAntilogCurve, 32761, 32760},
        CurvePoint{"AntilogLimit", fillAntilogCurve, 32762, 32767},
        CurvePoint{"InvertZero", fillInvertCurve, 0, 32767},
        CurvePoint{"InvertTop", fillInvertCurve, 32767, 0},
        // 25 x 32768 x 0.5 / (0.5 x 24 + 1) = 31507.7; the slope at 0 is about P.
        CurvePoint{"NonLinear25Middle", nonLinear(25), 16384, 31507},
        CurvePoint{"NonLinear25Slope", nonLinear(25), 1, 24},
        CurvePoint{"NonLinear2Middle", nonLinear(2), 16384, 21845},
        // Level 10: k = 1024, slope 255 / 247.
        CurvePoint{"BackgroundBelowK", background(10), 1023, 0},
        CurvePoint{"BackgroundAtK", background(10), 1024, 0},
        CurvePoint{"BackgroundAbove", background(10), 1124, 103},
        CurvePoint{"BackgroundTop", background(10), 32767, 32767},
        // Black 10, white 20: b = 1280, w = 2560, slope 25.5.
        CurvePoint{"NormalBelowBlack", normal(10, 20), 1279, 0},
        CurvePoint{"NormalAtBlack", normal(10, 20), 1280, 0},
        CurvePoint{"NormalJustAbove", normal(10, 20), 1281, 25},
        CurvePoint{"NormalBelowWhite", normal(10, 20), 2559, 32614},
        CurvePoint{"NormalAtWhite", normal(10, 20), 2560, 32767},
        // White 300: w lies beyond the table; the top is 32767 x 255 / 300.
        CurvePoint{"Normal300Top", normal(0, 300), 32767, 27851}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StretchCurves, SineTopsOutAt32765AndRisesThroughout) {
  StretchCurve t{};
  fillSineCurve(t);
  for (std::size_t i = 1; i < t.size(); ++i)
    ASSERT_GE(t[i], t[i - 1]) << i;
  EXPECT_EQ(t.back(), 32765);
}

TEST(StretchCurves, NonLinearPowerOneIsTheIdentity) {
  StretchCurve t{};
  fillNonLinearCurve(t, 1);
  for (std::size_t i = 0; i < t.size(); ++i)
    ASSERT_EQ(t[i], i);
}

TEST(StretchCurves, NormalStretchNeedsBlackBelowWhite) {
  StretchCurve t{};
  t.fill(7);
  EXPECT_FALSE(fillNormalCurve(t, 20, 20));
  EXPECT_FALSE(fillNormalCurve(t, 30, 20));
  EXPECT_EQ(t[100], 7);
  EXPECT_TRUE(fillNormalCurve(t, 19, 20));
}

TEST(StretchCurves, AntilogUndoesLogWithinTheTruncation) {
  StretchCurve log{};
  StretchCurve antilog{};
  fillLogCurve(log);
  fillAntilogCurve(antilog);
  for (int i : {10, 100, 1000, 10000, 30000}) {
    const int back = antilog[log[static_cast<std::size_t>(i)]];
    EXPECT_NEAR(back, i, i / 3000.0 + 1) << i;
  }
}

// ---- Every entry of every curve, against its formula evaluated entry by entry ----

// One curve with one parameter value: how the program fills it, and the formula for entry i.
struct CurveCase {
  std::string name;
  std::function<void(StretchCurve&)> fill;
  std::function<int(int)> entry;
};

std::uint16_t limitedEntry(double v) {
  return static_cast<std::uint16_t>(std::min(32767.0, std::trunc(v)));
}

std::vector<CurveCase> everyCurve() {
  std::vector<CurveCase> cases;
  cases.push_back({"Sine", fillSineCurve, [](int i) {
                     return static_cast<int>(
                         std::trunc((std::sin((i - 16384) * 0.00009585889570552147) + 1) * 16383));
                   }});
  cases.push_back(
      {"Log", fillLogCurve, [](int i) { return static_cast<int>(std::trunc(std::log(i + 1.0) * 3151)); }});
  cases.push_back(
      {"Antilog", fillAntilogCurve, [](int i) { return limitedEntry(std::exp(i / 3151.0) - 1); }});
  cases.push_back({"Invert", fillInvertCurve, [](int i) { return 32767 - i; }});
  for (int tenths = 1; tenths <= 30; ++tenths) {
    const double p = tenths / 10.0;
    cases.push_back({"Power" + std::to_string(tenths), [p](StretchCurve& t) { fillPowerCurve(t, p); },
                     [p](int i) { return limitedEntry(std::pow(i, p) / std::pow(32768.0, p - 1)); }});
  }
  for (int power = 1; power <= 50; ++power) {
    cases.push_back({"NonLinear" + std::to_string(power),
                     [power](StretchCurve& t) { fillNonLinearCurve(t, power); },
                     [power](int i) {
                       const double e = i / 32768.0;
                       return static_cast<int>(std::trunc(power * 32768.0 * e / (e * (power - 1) + 1)));
                     }});
  }
  for (int level = 3; level <= 256; level += 11) {
    cases.push_back({"Background" + std::to_string(level),
                     [level](StretchCurve& t) { fillBackgroundCurve(t, level); },
                     [level](int i) {
                       const int k = level * 128 - 256;
                       return i < k ? 0 : limitedEntry((i - k) * (255.0 / (257 - level)));
                     }});
  }
  for (const auto& [black, white] :
       {std::pair{0, 255}, std::pair{0, 300}, std::pair{10, 12}, std::pair{254, 300}}) {
    cases.push_back({"Normal" + std::to_string(black) + "_" + std::to_string(white),
                     [black, white](StretchCurve& t) { fillNormalCurve(t, black, white); },
                     [black, white](int i) {
                       if (i < black * 128) return 0;
                       if (i >= white * 128) return 32767;
                       return static_cast<int>(limitedEntry((i - black * 128) * (255.0 / (white - black))));
                     }});
  }
  return cases;
}

class CurveEntriesTest : public ::testing::TestWithParam<CurveCase> {};

TEST_P(CurveEntriesTest, EveryEntryFollowsTheFormula) {
  StretchCurve t{};
  GetParam().fill(t);
  for (int i = 0; i < kStretchTableSize; ++i)
    ASSERT_EQ(t[static_cast<std::size_t>(i)], GetParam().entry(i)) << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(AllParameters, CurveEntriesTest, ::testing::ValuesIn(everyCurve()),
                         [](const auto& info) { return info.param.name; });

// ---- The table application and the commands ----

class StretchCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fillSky(b.CurrentFrame, 7); }
  std::vector<int> progressPositions() const {
    std::vector<int> v;
    for (const auto& c : platform.ui.callsOf("progress"))
      v.push_back(c.value);
    return v;
  }
  test::TestPlatform platform;
  ImageBuffers& b = imageBuffers();
  HistoryList& history = historyList();
};

TEST_F(StretchCommandTest, TableApplicationMovesTheBarTwentyTimesUnderTheWaitCursor) {
  sineStretch();
  const auto opens = platform.ui.callsOf("progress-open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].caption, "CONTRAST STRETCH");
  std::vector<int> expected;
  for (int c = 0; c < 20; ++c)
    expected.push_back(c * 12);
  EXPECT_EQ(progressPositions(), expected);
  EXPECT_EQ(platform.ui.callsOf("progress-close").size(), 1u);
  const auto cursors = platform.ui.callsOf("cursor");
  ASSERT_EQ(cursors.size(), 2u);
  EXPECT_EQ(cursors[0].value, static_cast<int>(CursorShape::Wait));
  EXPECT_EQ(cursors[1].value, static_cast<int>(CursorShape::Arrow));
}

TEST_F(StretchCommandTest, NormalStartValuesOnlyEvenOutValuesBelow65280) {
  // One element of every value: index 2 x v and 2 x v + 1 hold v and the next odd value.
  for (int v = 0; v < 65536; ++v)
    b.CurrentFrame[static_cast<std::size_t>(kLabelElements + v)] = static_cast<std::uint16_t>(v);
  normalStretch(0, 255);
  for (int v = 0; v < 65536; ++v) {
    const int expected = v < 65280 ? (v & ~1) : 65534;
    ASSERT_EQ(b.CurrentFrame[static_cast<std::size_t>(kLabelElements + v)], expected) << v;
  }
  EXPECT_EQ(history.entry(0), "Normal Stretch : max 510 , min : 0");
}

TEST_F(StretchCommandTest, NormalToWhite300LeavesNothingSaturated) {
  b.CurrentFrame[at(100, 100)] = 65535;
  normalStretch(0, 300);
  EXPECT_EQ(b.CurrentFrame[at(100, 100)], 55702);
  EXPECT_EQ(history.entry(0), "Normal Stretch : max 600 , min : 0");
}

TEST_F(StretchCommandTest, AntilogOfTheTopValueIsTheTopEvenValue) {
  b.CurrentFrame[at(50, 60)] = 65535;
  antilogStretch();
  EXPECT_EQ(b.CurrentFrame[at(50, 60)], 65534);
}

TEST_F(StretchCommandTest, InvertingTwiceRestoresEvenValuesAndLowersOddOnes) {
  const Frame before = b.CurrentFrame;
  invertImage();
  invertImage();
  for (int i = 0; i < kFrameElements; ++i) {
    const auto k = static_cast<std::size_t>(i);
    ASSERT_EQ(b.CurrentFrame[k], before[k] & ~1) << i;
  }
  EXPECT_EQ(history.entry(0), "Invert Image to Negative");
  EXPECT_EQ(history.entry(1), "Invert Image to Negative");
}

// Every table stretch: the frame ends up even everywhere, a labelled frame keeps its band, undo
// brings back the frame as it was before, and the history gets the stretch's text.
struct StretchCase {
  const char* name;
  std::function<void()> run;
  const char* history;
};

class EveryStretchTest : public StretchCommandTest, public ::testing::WithParamInterface<StretchCase> {};

TEST_P(EveryStretchTest, LeavesOnlyEvenValuesAndAppendsItsText) {
  GetParam().run();
  for (int i = 0; i < kFrameElements; ++i)
    ASSERT_EQ(b.CurrentFrame[static_cast<std::size_t>(i)] % 2, 0) << i;
  EXPECT_EQ(history.entry(0), GetParam().history);
  EXPECT_EQ(history.count(), 1);
}

TEST_P(EveryStretchTest, KeepsTheLabelBandOfALabelledFrame) {
  test::markLabelled(b.CurrentFrame);
  b.CurrentFrame[at(3, 40)] = 65535;
  b.CurrentFrame[at(9, 659)] = 12345;
  std::vector<std::uint16_t> band(b.CurrentFrame.begin(), b.CurrentFrame.begin() + kLabelElements);
  GetParam().run();
  EXPECT_TRUE(std::equal(band.begin(), band.end(), b.CurrentFrame.begin()));
  EXPECT_TRUE(labelled(b.CurrentFrame.data()));
}

TEST_P(EveryStretchTest, IsOneUndoableStep) {
  const Frame before = b.CurrentFrame;
  GetParam().run();
  ASSERT_NE(b.CurrentFrame, before);
  undoLastFilter(b.CurrentFrame, b.UndoFrame, history);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + kFrameElements, b.CurrentFrame.begin()));
  EXPECT_EQ(history.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Stretches, EveryStretchTest,
    ::testing::Values(
        StretchCase{"Normal", [] { normalStretch(12, 200); }, "Normal Stretch : max 400 , min : 24"},
        StretchCase{"Power", [] { powerStretch(15); }, "Power Stretch :  1.5"},
        StretchCase{"PowerLow", [] { powerStretch(3); }, "Power Stretch :  0.3"},
        StretchCase{"Sine", sineStretch, "Sine Stretch"}, StretchCase{"Log", logStretch, "Log Stretch"},
        StretchCase{"Antilog", antilogStretch, "Antilog Stretch"},
        StretchCase{"Invert", invertImage, "Invert Image to Negative"},
        StretchCase{"Background", [] { removeBackground(10, true); }, "Background Removed : min 16"},
        StretchCase{"NonLinear", [] { nonLinearStretch(25, true); }, "Non-Linear Stretch : power 25"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StretchCommandTest, StretchesThatDoNothingLeaveFrameAndHistoryAlone) {
  const Frame before = b.CurrentFrame;
  normalStretch(100, 100);  // black not below white
  powerStretch(10);         // exactly 1.0
  removeBackground(2, true);
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_EQ(history.count(), 0);
  EXPECT_TRUE(platform.ui.callsOf("progress-open").empty());
}

TEST_F(StretchCommandTest, RemoveBackgroundBlackensEverythingTwoStepsBelowTheLevel) {
  displayState().background_level = 12;  // as a paint leaves it: black up to display value 10
  b.CurrentFrame[at(20, 19)] = 9 * 256 + 255;
  b.CurrentFrame[at(20, 20)] = 10 * 256 + 1;
  b.CurrentFrame[at(20, 21)] = 10 * 256 + 4;
  b.CurrentFrame[at(20, 22)] = 65535;
  removeBackgroundCommand();
  EXPECT_EQ(b.CurrentFrame[at(20, 19)], 0);
  EXPECT_EQ(b.CurrentFrame[at(20, 20)], 0);
  EXPECT_EQ(b.CurrentFrame[at(20, 21)], 4);
  EXPECT_EQ(b.CurrentFrame[at(20, 22)], 65534);
  EXPECT_EQ(history.entry(0), "Background Removed : min 20");
}

// ---- Dialog commands ----

TEST_F(StretchCommandTest, CancelledDialogsDoNothing) {
  const Frame before = b.CurrentFrame;
  normalStretchCommand();
  powerStretchCommand();
  nonLinearStretchCommand();
  EXPECT_EQ(b.CurrentFrame, before);
  EXPECT_EQ(history.count(), 0);
  const auto panels = platform.ui.callsOf("panel");
  ASSERT_EQ(panels.size(), 3u);
  EXPECT_EQ(panels[0].caption, "Normal Stretch");
  EXPECT_EQ(panels[1].caption, "Power Law Stretch");
  EXPECT_EQ(panels[2].caption, "Non-Linear Stretch");
}

TEST_F(StretchCommandTest, DialogValuesReachTheStretch) {
  platform.ui.onPanel("Normal Stretch", [](PanelModel& m) {
    auto& s = dynamic_cast<StretchModel&>(m);
    s.scrollBlack(BarAction::PageDown);
    s.scrollWhite(BarAction::PageUp);
    return kPanelOk;
  });
  platform.ui.onPanel("Power Law Stretch", [](PanelModel& m) {
    dynamic_cast<PowerModel&>(m).scroll(BarAction::LineDown);
    return kPanelOk;
  });
  platform.ui.onPanel("Non-Linear Stretch", [](PanelModel& m) {
    return dynamic_cast<NonLinearModel&>(m).accept("7") ? kPanelOk : kPanelCancel;
  });
  normalStretchCommand();
  powerStretchCommand();
  nonLinearStretchCommand();
  EXPECT_EQ(history.entry(0), "Normal Stretch : max 490 , min : 20");
  EXPECT_EQ(history.entry(1), "Power Stretch :  1.1");
  EXPECT_EQ(history.entry(2), "Non-Linear Stretch : power 7");
}

// ---- Dialog rules ----

struct ScrollCase {
  const char* name;
  std::vector<std::pair<bool, BarAction>> steps;  // true: the white bar
  int thumb;
  int black;
  int white;
};

class NormalStretchScrollTest : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(NormalStretchScrollTest, FollowsTheStepRules) {
  std::array<std::uint16_t, kHistogramBins> counters{};
  StretchModel m(counters);
  for (const auto& [white, action] : GetParam().steps) {
    if (white) {
      m.scrollWhite(action, GetParam().thumb);
    } else {
      m.scrollBlack(action, GetParam().thumb);
    }
  }
  EXPECT_EQ(m.black(), GetParam().black);
  EXPECT_EQ(m.white(), GetParam().white);
}

constexpr bool kB = false;
constexpr bool kW = true;
using SA = BarAction;

INSTANTIATE_TEST_SUITE_P(
    Rules, NormalStretchScrollTest,
    ::testing::Values(
        ScrollCase{"StartValues", {}, 0, 0, 255},
        ScrollCase{"BlackStopsAtZero", {{kB, SA::LineUp}, {kB, SA::PageUp}}, 0, 0, 255},
        ScrollCase{"BlackPages", {{kB, SA::PageDown}, {kB, SA::PageDown}, {kB, SA::LineDown}}, 0, 21, 255},
        // White pages up while 290 or less: from 255 it stops at 295; lines reach 300.
        ScrollCase{"WhitePagesStopAt295", std::vector<std::pair<bool, SA>>(7, {kW, SA::PageDown}), 0, 0, 295},
        ScrollCase{"WhiteLineStopsAt300", std::vector<std::pair<bool, SA>>(50, {kW, SA::LineDown}), 0, 0,
                   300},
        // White pages down to 5: the next page would pass 0; lines stop one above black.
        ScrollCase{"WhitePagesDown", std::vector<std::pair<bool, SA>>(30, {kW, SA::PageUp}), 0, 0, 5},
        ScrollCase{"WhiteLinesDown", std::vector<std::pair<bool, SA>>(300, {kW, SA::LineUp}), 0, 0, 1},
        // Black pages up while below 246 and more than 10 below white: 240 is still 15 below.
        ScrollCase{"BlackPagesUnderWhite", std::vector<std::pair<bool, SA>>(30, {kB, SA::PageDown}), 0, 250,
                   255},
        ScrollCase{"BlackLinesUnderWhite", std::vector<std::pair<bool, SA>>(300, {kB, SA::LineDown}), 0, 254,
                   255},
        ScrollCase{"BlackThumbBelowWhite", {{kB, SA::Thumb}}, 254, 254, 255},
        ScrollCase{"BlackThumbAtWhiteRefused", {{kB, SA::Thumb}}, 255, 0, 255},
        ScrollCase{"WhiteThumbAboveBlack", {{kW, SA::Thumb}}, 290, 0, 290},
        ScrollCase{"WhiteThumbAtBlackRefused", {{kB, SA::PageDown}, {kW, SA::Thumb}}, 10, 10, 255}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StretchModelTest, HistogramBarsAreCountsOverFiveCutAt210) {
  std::array<std::uint16_t, kHistogramBins> counters{};
  counters[0] = 4;
  counters[1] = 1050;
  counters[2] = 1055;
  counters[255] = 60000;
  StretchModel m(counters);
  EXPECT_EQ(m.bar(0).height, 0);
  EXPECT_EQ(m.bar(1).height, 210);
  EXPECT_FALSE(m.bar(1).cut);
  EXPECT_EQ(m.bar(2).height, 210);
  EXPECT_TRUE(m.bar(2).cut);
  EXPECT_TRUE(m.bar(255).cut);
}

TEST(PowerModelTest, ArrowsStepATenthBetweenOneTenthAndThree) {
  test::TestPlatform platform;
  PowerModel m;
  EXPECT_EQ(m.text(), "1.0");
  for (int i = 0; i < 40; ++i)
    m.scroll(BarAction::LineDown);
  EXPECT_EQ(m.text(), "3.0");
  for (int i = 0; i < 40; ++i)
    m.scroll(BarAction::LineUp);
  EXPECT_EQ(m.text(), "0.1");
  m.scroll(BarAction::PageDown);
  m.scroll(BarAction::Thumb);
  EXPECT_EQ(m.tenths(), 1);
  m.help();
  ASSERT_EQ(platform.ui.callsOf("message").size(), 1u);
  EXPECT_EQ(platform.ui.callsOf("message")[0].caption, "QLM_T4_USB - Power Law Stretch");
  EXPECT_EQ(
      platform.ui.callsOf("message")[0].text,
      "Use controls to vary power from 0.1 to 3.0, where powers greater than 1 will increase contrast, and "
      "powers less than 1 will reduce contrast.");
}

TEST(NonLinearModelTest, TypedValuesAreTakenOverBeforeTheArrowsAndCheckedByOk) {
  test::TestPlatform platform;
  NonLinearModel m;
  EXPECT_EQ(m.power(), 25);
  m.scroll(BarAction::LineDown, "25");
  EXPECT_EQ(m.power(), 26);
  m.scroll(BarAction::LineUp, " 1 ");  // typed 1 is taken, the arrow stops at 2 from above only
  EXPECT_EQ(m.power(), 1);
  m.scroll(BarAction::LineDown, "50");
  EXPECT_EQ(m.power(), 50);
  m.scroll(BarAction::LineUp, "x");  // not a number: the arrow steps from the held value
  EXPECT_EQ(m.power(), 49);
  m.scroll(BarAction::LineUp, "3");
  m.scroll(BarAction::LineUp, "2");
  EXPECT_EQ(m.power(), 2);
  EXPECT_FALSE(m.accept("51"));
  EXPECT_EQ(m.text(), "25");
  EXPECT_FALSE(m.accept("0"));
  EXPECT_FALSE(m.accept(""));
  EXPECT_TRUE(m.accept("1"));
  EXPECT_EQ(m.power(), 1);
  m.help();
  EXPECT_EQ(platform.ui.callsOf("message").at(0).caption, "QLM_T4_USB - NonLiniar Filter");
  EXPECT_EQ(platform.ui.callsOf("message").at(0).text, "Use controls to vary the Power from 2 to 50");
}

}  // namespace
}  // namespace qlm
