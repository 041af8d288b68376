#pragma once
#include <QProgressDialog>

namespace qlm {

// The width a window needs for its title bar to show its whole caption (bold title font, and room for
// the window manager's buttons).
int captionWidth(const QWidget& window);

// The shared progress window of long operations ("Filter Progress"): modeless, a bar from 0 to 256
// marked "0%" at its left end and "100%" at its right, no cancel button; the caption is the text the
// caller gives.
class TProgressDialog : public QProgressDialog {
  Q_OBJECT
 public:
  explicit TProgressDialog(QWidget* parent = nullptr);
  // Sets the caption and shows the window with the bar at 0.
  void open(const QString& caption);
  // Moves the bar and repaints at once: the running operation does not return to the event loop.
  void setPosition(int position);
};

}  // namespace qlm
