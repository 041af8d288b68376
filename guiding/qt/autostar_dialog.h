#pragma once
#include "guiding/qt/lx200_dialog.h"

namespace qlm {

// The Autostar panel: the LX200 panel without the planet buttons, with the "Telescope Position" fields
// that the position polling keeps up to date.
class TAutostarDialog : public TLX200Dialog {
  Q_OBJECT
 public:
  explicit TAutostarDialog(QWidget* parent = nullptr);

  // The position polling: delivers the pending window events, then one pass of the model's polling,
  // over and over until the panel closes or a right mouse button press ends it.
  void poll();
};

}  // namespace qlm
