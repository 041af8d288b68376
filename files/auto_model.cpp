#include "files/auto_model.h"

#include "image/stretch_model.h"
#include "platform/messages.h"
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
  if (saveSettings() != kSettingsOk) ShowWriteFailure(24);
  return true;
}

void AutoModel::help() const {
  platform().ui->messageBox("RAZA8R8 - Auto Processing",
                            "To process images as they are taken choose from these options. You can select "
                            "various non-linear stretches, a high pass or Unsharp mask filter.\n\nFor more "
                            "control save raw images and apply all image processing later.",
                            MessageButtons::Ok, MessageIcon::None);
}

int autoStretchPower(const Settings& s) {
  if (s.apply_weak_stretch) return kWeakStretchPower;
  if (s.apply_strong_stretch) return kStrongStretchPower;
  if (s.auto_stretch_user) return s.user_stretch_value;
  return 0;
}

AutoProcessChoice autoProcessChoice(const Settings& s) {
  AutoProcessChoice c;
  c.stretch_power = autoStretchPower(s);
  c.remove_background = s.remove_background;
  c.high_pass_low_power = s.high_pass_low_power;
  c.unsharp_mask = s.unsharp_mask;
  c.unsharp_dia = s.unsharp_dia;
  c.unsharp_power = s.unsharp_power;
  return c;
}

void setAutoProcessingCommand() {
  AutoModel model(settings());
  platform().ui->runPanel(AutoModel::kPanelName, model);
}

}  // namespace qlm
