#pragma once
#include <string>

#include "platform/ui.h"

namespace qlm {

// The rules of the "Label Current Image" dialog: the text typed under "Enter the Label text" and the
// "Auto Date" box, whose state persists between uses of the dialog.
class LabelModel : public PanelModel {
 public:
  static constexpr const char* kPanelName = "TLabelDialog";

  LabelModel();
  const std::string& text() const { return text_; }
  // Takes at most 30 characters.
  void setText(const std::string& text);
  bool autoDate() const { return auto_date_; }
  void setAutoDate(bool on) { auto_date_ = on; }
  // OK: keeps the Auto Date choice for the next use.
  void accept();

  // The Auto Date choice kept between uses (program-wide; reset at start-up).
  static bool& rememberedAutoDate();

 private:
  std::string text_;
  bool auto_date_;
};

}  // namespace qlm
