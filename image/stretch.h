#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "image/frame.h"

namespace qlm {

// The contrast transfer table: index = element value / 2, entry 0-32767, doubled on the way back.
using StretchCurve = std::array<std::uint16_t, kStretchTableSize>;

// Curves. Each fills every entry 0-32767 of `t`, written in halved units.
// Linear from black to white (display-byte units); false, and `t` untouched, unless black < white.
bool fillNormalCurve(StretchCurve& t, int black, int white);
// entry = i^p / 32768^(p - 1), limited to 32767.
void fillPowerCurve(StretchCurve& t, double power);
void fillSineCurve(StretchCurve& t);
void fillLogCurve(StretchCurve& t);
void fillAntilogCurve(StretchCurve& t);
void fillInvertCurve(StretchCurve& t);
// The rational curve P x i / (i (P - 1) / 32768 + 1); power 1 is the identity.
void fillNonLinearCurve(StretchCurve& t, int power);
// Black at or below two display steps under `level`, the rest spread over the full scale.
void fillBackgroundCurve(StretchCurve& t, int level);

// Table application: shows the "CONTRAST STRETCH" progress, takes the undo snapshot and maps every
// element (the label band is skipped on a labelled frame) through `t`. No cursor, no refresh.
void applyStretchCurve(const StretchCurve& t, Frame& current, Frame& undo);

// History texts.
std::string normalStretchText(int black, int white);
std::string powerStretchText(int power_tenths);
std::string backgroundRemovedText(int level);
std::string nonLinearStretchText(int power);

// Commands on the program-wide frame, history and table. Each fills the table, applies it with the
// wait cursor, refreshes the display when asked and appends its history text.
void normalStretch(int black, int white);  // nothing unless black < white
// Power in tenths (1-30); exactly 10 (1.0) leaves image and history unchanged.
void powerStretch(int power_tenths);
void sineStretch();
void logStretch();
void antilogStretch();
void invertImage();
// Nothing (no snapshot, no history) when `level` is below 3.
void removeBackground(int level, bool refresh);
void nonLinearStretch(int power, bool refresh);

// The menu commands: dialogs opened through the Ui (panels "Normal Stretch", "Power Law Stretch",
// "Non-Linear Stretch"); Cancel does nothing. Remove Background uses the display's background level.
void normalStretchCommand();
void powerStretchCommand();
void nonLinearStretchCommand();
void removeBackgroundCommand();

}  // namespace qlm
