#include <gtest/gtest.h>

#include <memory>

#include "image/photometry.h"

namespace qlm {
namespace {

class PhotometryTest : public ::testing::Test {
 protected:
  PhotometryTest() {
    frame->fill(0);
    model.start();
  }
  void set(int x, int y, std::uint16_t v) { (*frame)[static_cast<std::size_t>(y) * kFrameWidth + x] = v; }
  void box(int x, int y, int a, std::uint16_t v) {
    for (int yy = y - a; yy <= y + a; ++yy)
      for (int xx = x - a; xx <= x + a; ++xx)
        set(xx, yy, v);
  }
  void measure(PhotometrySlot s, int x, int y) {
    model.chooseSlot(s);
    model.click(*frame, x, y);
  }
  std::unique_ptr<Frame> frame = std::make_unique<Frame>();
  PhotometryModel model;
};

TEST_F(PhotometryTest, TwiceTheComparisonGivesMinusPointSevenFive) {
  box(100, 100, 4, 1100);  // object: 1000 above a background of 100
  box(200, 100, 4, 600);   // comparison: 500 above
  box(300, 300, 4, 100);
  measure(PhotometrySlot::Object, 100, 100);
  measure(PhotometrySlot::Comparison, 200, 100);
  // Choosing the background slot marks it measured at once: its field shows 0 until the click.
  model.chooseSlot(PhotometrySlot::Background);
  EXPECT_EQ(model.fields(7).background, "      0");
  model.click(*frame, 300, 300);
  const PhotometryFields f = model.fields(7);
  EXPECT_EQ(f.object_mean, "   1100");
  EXPECT_EQ(f.comparison_mean, "    600");
  EXPECT_EQ(f.background, "    100");
  EXPECT_EQ(f.magnitude, "-0.75");
  EXPECT_EQ(f.object_x, "100");
  EXPECT_EQ(f.comparison_x, "200");
  EXPECT_EQ(f.background_y, "300");
}

TEST_F(PhotometryTest, MagnitudeIsEmptyUnlessBothStarsStandAboveTheBackground) {
  EXPECT_EQ(model.fields(0).magnitude, "");  // nothing measured
  box(100, 100, 4, 500);
  box(300, 300, 4, 500);
  measure(PhotometrySlot::Object, 100, 100);
  EXPECT_EQ(model.fields(0).magnitude, "");  // comparison 0
  measure(PhotometrySlot::Comparison, 100, 100);
  EXPECT_EQ(model.fields(0).magnitude, "-0.00");  // -2.5 x log10(1) is a negative zero
  measure(PhotometrySlot::Background, 300, 300);  // equal to both: not above
  EXPECT_EQ(model.fields(0).magnitude, "");
}

TEST_F(PhotometryTest, SinglePixelUsesExactlyTheClickedElement) {
  box(50, 60, 1, 7);
  set(50, 60, 1234);
  model.chooseAperture(0);
  measure(PhotometrySlot::Object, 50, 60);
  EXPECT_EQ(model.sum(PhotometrySlot::Object), 1234);
  model.chooseAperture(2);  // 5 x 5: the element and its eight neighbours
  measure(PhotometrySlot::Object, 50, 60);
  EXPECT_EQ(model.sum(PhotometrySlot::Object), 1234 + 8 * 7);
  EXPECT_EQ(model.fields(0).object_mean, "     52");  // 1290 / 25 rounded
  frame->fill(1);
  EXPECT_EQ(apertureSum(*frame, 0, 0, 2), 9);  // only the part inside the frame counts
}

TEST_F(PhotometryTest, ApertureChangeClearsButSlotChoiceDoesNot) {
  box(100, 100, 8, 1000);
  measure(PhotometrySlot::Object, 100, 100);
  EXPECT_EQ(model.sum(PhotometrySlot::Object), 81 * 1000);  // start aperture 9 x 9
  model.chooseSlot(PhotometrySlot::Comparison);
  EXPECT_EQ(model.sum(PhotometrySlot::Object), 81 * 1000);
  model.chooseSlot(PhotometrySlot::Background);
  model.chooseAperture(8);
  EXPECT_EQ(model.radius(), 8);
  EXPECT_EQ(model.sum(PhotometrySlot::Object), 0);
  EXPECT_FALSE(model.backgroundMeasured());
  EXPECT_EQ(model.fields(0).object_x, "0");
  model.chooseAperture(5);  // no such button
  EXPECT_EQ(model.radius(), 8);
  model.start();
  EXPECT_EQ(model.radius(), 4);
  EXPECT_EQ(model.slot(), PhotometrySlot::Object);
}

}  // namespace
}  // namespace qlm
