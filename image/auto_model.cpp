#include "image/auto_model.h"

#include "app/messages.h"
#include "image/stretch_model.h"
#include "platform/platform.h"

namespace qlm {

AutoModel::AutoModel(Settings& s) : s_(s) {
  showStored();
}

AutoModel::Stretch AutoModel::stretch() const {
  if (s_.apply_weak_stretch) return Stretch::Weak;
  if (s_.apply_strong_stretch) return Stretch::Strong;
  if (s_.auto_stretch_user) return Stretch::User;
  return Stretch::None;
}

void AutoModel::chooseStretch(Stretch choice) {
  s_.apply_weak_stretch = choice == Stretch::Weak;
  s_.apply_strong_stretch = choice == Stretch::Strong;
  s_.auto_stretch_user = choice == Stretch::User;
}

void AutoModel::showStored() {
  user_power_text = std::to_string(s_.user_stretch_value);
  dia_text = std::to_string(s_.unsharp_dia);
  power_text = std::to_string(s_.unsharp_power);
}

bool AutoModel::save() {
  const bool user_ok = parseFieldValue(user_power_text, 2, 29, s_.user_stretch_value);
  const bool dia_ok = parseFieldValue(dia_text, 2, 6, s_.unsharp_dia);
  const bool power_ok = parseFieldValue(power_text, 1, 6, s_.unsharp_power);
  showStored();
  if (!(user_ok && dia_ok && power_ok)) {
    platform().ui->beep();
    return false;
  }
  if (saveSettings() != kSettingsOk) ShowMessage(24);
  return true;
}

void AutoModel::help() const {
  platform().ui->messageBox("RAZA8R8 - Auto Processing",
                            "To process images as they are taken choose from these options. You can select "
                            "various non-linear stretches, a high pass or Unsharp mask filter.\n\nFor more "
                            "control save raw images and apply all image processing later.",
                            MessageButtons::Ok, MessageIcon::None);
}

}  // namespace qlm
