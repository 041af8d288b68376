#include "image/filter_model.h"

#include <cstdio>

#include "platform/platform.h"

namespace qlm {

std::string MedianModel::powerText() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%1.1f", power_ * 0.1);
  return buf;
}

void MedianModel::help() const {
  platform().ui->messageBox("QLM_T4_USB - Median Filter",
                            "Use controls to vary the radius from 1 to 3, and the power from 0.1 to 1.",
                            MessageButtons::Ok, MessageIcon::None);
}

void UnsharpModel::help() const {
  platform().ui->messageBox(kPanelName,
                            "Use controls to vary the radius from 1 to 7, and the power from 1 to 7.",
                            MessageButtons::Ok, MessageIcon::None);
}

}  // namespace qlm
