#include "image/label_model.h"

#include "image/label.h"

namespace qlm {

LabelModel::LabelModel() : auto_date_(rememberedAutoDate()) {}

void LabelModel::setText(const std::string& text) {
  text_ = text.substr(0, kLabelMaxChars);
}

void LabelModel::accept() {
  rememberedAutoDate() = auto_date_;
}

bool& LabelModel::rememberedAutoDate() {
  static bool auto_date = false;
  return auto_date;
}

}  // namespace qlm
