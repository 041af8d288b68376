#include "guiding/telescope.h"

#include "camera/link.h"
#include "files/settings.h"
#include "guiding/lx200.h"
#include "platform/platform.h"

namespace qlm {

namespace {

constexpr std::uint32_t kRelayLeadMs = 10;
constexpr std::uint32_t kRelaySettleMs = 300;
constexpr std::uint32_t kTextLeadMs = 20;
constexpr std::uint32_t kTextSettleMs = 4;
constexpr std::uint32_t kAutostarReplyMs = 10;
constexpr std::uint32_t kObjectInfoMs = 200;
constexpr std::uint32_t kSlewReplyMs = 500;

Clock& clock() {
  return *platform().clock;
}

// Busy-waits until `ms` after the clock reading `t0`.
void waitUntil(std::uint32_t t0, std::uint32_t ms) {
  Clock& c = clock();
  while (c.millis() - t0 < ms)
    c.idle(1);
}

void send(const TelescopeState& s, std::string_view text, std::size_t n = lx200::kShortCommandBytes) {
  SerialWrite(s.port, text, n);
}

// A 33-byte read; returns the text the mount actually delivered.
std::string readReply(const TelescopeState& s) {
  SerialRead(s.port, kSerialReplyBytes);
  return lx200::replyText(receiveBuffer().bytes.data(), linkState().bytes_read);
}

// The slew answer: '0' (empty text), or the reason that follows any other first byte.
std::string readSlewReply(const TelescopeState& s) {
  SerialReadReply(s.port);
  if (secondReplyText()[0] == '\0') return {};
  return lx200::replyText(receiveBuffer().bytes.data(), linkState().bytes_read);
}

bool socketMethod() {
  return settings().drive_method == 'b';
}

// The Autostar's answer after a focus command: read and not examined, though like every 33-byte read
// it becomes the object info.
void autostarRead(TelescopeState& s) {
  if (settings().drive_method != 'a') return;
  waitUntil(clock().millis(), kAutostarReplyMs);
  s.object_info = readReply(s);
}

}  // namespace

TelescopeState& telescopeState() {
  static TelescopeState state;
  return state;
}

void resetTelescopeState(TelescopeState& s) {
  s = TelescopeState{};
}

char directionLetter(Direction d) {
  return settings().direction_letters[static_cast<std::size_t>(d)];
}

void SelectTelescopePort(TelescopeState& s) {
  if (s.port_selected) return;
  s.port = settings().telescope_com == '1' ? 0 : 1;
  s.port_selected = true;
}

PulseRoad trainingPulseRoad(char drive_method) {
  return drive_method == 'b' ? PulseRoad::Relay : PulseRoad::Text;
}

PulseRoad guidingPulseRoad(char drive_method) {
  return drive_method == 'l' ? PulseRoad::Text : PulseRoad::Relay;
}

void GuidePulse(PulseRoad road, TelescopeState& s) {
  const char letter = s.current_direction;
  const std::uint32_t length = s.pulse_length_ms > 0 ? static_cast<std::uint32_t>(s.pulse_length_ms) : 0;
  const bool known = lx200::isDirectionLetter(letter);
  if (road == PulseRoad::Relay) {
    if (known) {
      waitUntil(clock().millis(), kRelayLeadMs);
      const std::uint32_t t1 = clock().millis();
      SetGuideRelays(lx200::relayBit(letter));
      waitUntil(t1, length);
      SetGuideRelays(0);
    }
    waitUntil(clock().millis(), kRelaySettleMs);
    return;
  }
  if (known) {
    const std::uint32_t t0 = clock().millis();
    send(s, lx200::kGuideRate);
    waitUntil(t0, kTextLeadMs);
    const std::uint32_t t1 = clock().millis();
    send(s, lx200::moveCommand(letter));
    waitUntil(t1, length);
    send(s, lx200::quitCommand(letter));
  }
  waitUntil(clock().millis(), kTextSettleMs);
}

void StartManualMove(Direction d, TelescopeState& s) {
  if (s.moving) return;
  const char letter = directionLetter(d);
  if (socketMethod()) {
    s.current_direction = letter;
    waitUntil(clock().millis(), 1);
    SetGuideRelays(lx200::relayBit(letter));
  } else {
    s.move_command = lx200::moveCommand(letter);
    send(s, s.rate_command);
    send(s, s.move_command);
  }
  s.moving = true;
}

void StopManualMove(TelescopeState& s) {
  if (!s.moving) return;
  s.moving = false;
  if (socketMethod()) {
    SetGuideRelays(0);
    return;
  }
  for (std::string_view quit : lx200::kQuitAll)
    send(s, quit);
}

void StartFocus(bool up, TelescopeState& s) {
  if (s.focusing) return;
  s.focus_direction_command = std::string(up ? lx200::kFocusIn : lx200::kFocusOut);
  send(s, s.focus_speed_command);
  autostarRead(s);
  send(s, s.focus_direction_command);
  autostarRead(s);
  s.focusing = true;
}

void StopFocus(TelescopeState& s) {
  if (!s.focusing) return;
  s.focusing = false;
  send(s, lx200::kFocusQuit);
  autostarRead(s);
}

void ReadObjectInfo(TelescopeState& s) {
  s.object_info.clear();
  send(s, lx200::kObjectInfo);
  waitUntil(clock().millis(), kObjectInfoMs);
  s.object_info = readReply(s);
}

void GotoCatalogue(char kind, int number, TelescopeState& s) {
  s.object_info.clear();
  send(s, lx200::catalogueCommand(kind, number), lx200::kCatalogueCommandBytes);
  ReadObjectInfo(s);
  platform().ui->beep();
  send(s, lx200::kSlewToObject);
  waitUntil(clock().millis(), kSlewReplyMs);
  s.slew_reply = readSlewReply(s);
}

void GotoCoordinates(int hours, int minutes, int degrees, int dec_minutes, TelescopeState& s) {
  s.object_info.clear();
  const std::uint32_t start = clock().millis();
  send(s, lx200::raCommand(hours, minutes), lx200::kRaCommandBytes);
  send(s, lx200::decCommand(degrees, dec_minutes), lx200::kDecCommandBytes);
  send(s, lx200::kObjectInfo);
  waitUntil(start, 1);
  platform().ui->beep();
  send(s, lx200::kSlewToObject);
  waitUntil(clock().millis(), 1);
  s.slew_reply = readSlewReply(s);
}

void ReadPosition(TelescopeState& s) {
  const bool autostar = settings().drive_method == 'a';
  send(s, lx200::kGetRa);
  s.object_info = readReply(s);
  if (autostar) {
    waitUntil(clock().millis(), kAutostarReplyMs);
    s.object_info = readReply(s);
  }
  s.ra_text = s.object_info;
  send(s, lx200::kGetDec);
  s.object_info = readReply(s);
  if (autostar) {
    waitUntil(clock().millis(), kAutostarReplyMs);
    s.object_info = readReply(s);
  }
  s.dec_text = s.object_info;
}

}  // namespace qlm
