#pragma once
#include <optional>
#include <string>

namespace qlm {

// The rules of the modeless "MERGE IMAGES" dialog and of the merging mode it controls: which mark the
// next click sets, the four marks, the Average / Superimpose / Centre boxes and what "Merge" combines.
class MergeModel {
 public:
  static constexpr const char* kTitle = "MERGE IMAGES";
  static constexpr const char* kOriginalRadio = "Original  Image";
  static constexpr const char* kMergeRadio = "Merge Image";
  static constexpr const char* kHelpCaption = "QLM_T4_USB - Control Merging";
  static constexpr const char* kHelpText =
      "Mark the position in the displayed image by pressing the left Mouse button. Then load the image to be "
      "merged by using the File/Open Menu Option. Mark the position to be matched on, and press the MERGE "
      "button.\n\nCheck the Average box if you want an average rather than addition.\n\nIf you want to set x "
      "and y shift to zero select superimpose.";

  enum class Field { BaseX, BaseY, MergeX, MergeY };

  // What "Merge" combines: the merge image's shift against the base image and the Average choice.
  struct Combine {
    int dx;
    int dy;
    bool average;
  };

  // Entering merging mode: base marking on, Average off, the four marks 0.
  void start();
  bool active() const { return active_; }

  // The radio buttons: the next click sets the base mark ("Original  Image") or the merge mark.
  void chooseOriginal() { base_marking_ = true; }
  void chooseMerge() { base_marking_ = false; }
  bool baseMarking() const { return base_marking_; }

  // A click at frame (x, y): the base mark while base marking is on, else the merge mark.
  void mark(int x, int y);
  // File/Open while merging: the shown image became the base image, so the next click marks the
  // image being loaded.
  void fileOpened() { base_marking_ = false; }

  // Superimpose and Centre exclude each other: ticking one clears the other.
  void setAverage(bool on) { average_ = on; }
  void setSuperimpose(bool on);
  void setCentre(bool on);
  bool average() const { return average_; }
  bool superimpose() const { return superimpose_; }
  bool centre() const { return centre_; }

  int value(Field f) const;
  std::string text(Field f) const;
  // A typed coordinate: a whole decimal number inside the frame (column 0-659, row 0-499) is taken;
  // any other text leaves the mark as it was.
  void setText(Field f, const std::string& text);

  // "Merge": nothing while base marking is still on. Otherwise merging mode ends and the shift is
  // merge mark - base mark, or (0, 0) with Superimpose; Superimpose and Average are cleared after.
  std::optional<Combine> merge();
  // "Cancel": merging mode ends without combining.
  void cancel() { active_ = false; }

 private:
  int& ref(Field f);

  bool active_ = false;
  bool base_marking_ = true;
  bool average_ = false;
  bool superimpose_ = false;
  bool centre_ = false;
  int base_x_ = 0;
  int base_y_ = 0;
  int merge_x_ = 0;
  int merge_y_ = 0;
};

}  // namespace qlm
