#pragma once
#include <QAbstractSlider>
#include <optional>

#include "image/stretch_model.h"

namespace qlm {

// The scroll-bar event behind a QAbstractSlider action: the single and page steps towards the low
// end are "up", towards the high end "down"; a drag of the thumb is Thumb. Nothing for the others.
inline std::optional<BarAction> barActionOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      return BarAction::LineUp;
    case QAbstractSlider::SliderSingleStepAdd:
      return BarAction::LineDown;
    case QAbstractSlider::SliderPageStepSub:
      return BarAction::PageUp;
    case QAbstractSlider::SliderPageStepAdd:
      return BarAction::PageDown;
    case QAbstractSlider::SliderMove:
      return BarAction::Thumb;
    default:
      return std::nullopt;
  }
}

}  // namespace qlm
