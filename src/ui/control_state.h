// What both desktop backends keep of a control beside its native one: the definition it was
// made from, moved where SetControlRect put it since, and the value and range of the kinds
// whose native control keeps none of its own (images) or only a scaled one (progress bars).
#ifndef STOWKEEPER_UI_CONTROL_STATE_H_
#define STOWKEEPER_UI_CONTROL_STATE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/toolkit.h"

namespace sk::ui {

struct ControlState {
  ControlDef def;
  int64_t value = 0;
  int64_t minimum = 0, maximum = 100;

  // A new control: an image shows none until it is given one.
  void Start(const ControlDef& made) {
    def = made;
    if (made.kind == ControlKind::kImage) value = -1;
  }
  Rect Bounds() const { return {def.x, def.y, def.width, def.height}; }
  void Place(const Rect& rect) {
    def.x = rect.x;
    def.y = rect.y;
    def.width = rect.width;
    def.height = rect.height;
  }
  // A maximum below the minimum is taken as the minimum: the range is then empty. A progress
  // bar's value stays inside it.
  void SetRange(int64_t low, int64_t high) {
    minimum = low;
    maximum = std::max(high, low);
    if (def.kind == ControlKind::kProgressBar) value = std::clamp(value, minimum, maximum);
  }
  // Keeps a value the program set, a progress bar's inside its range. The kinds whose native
  // control holds a value of its own (options, drop-downs, lists, tabs) are read from there.
  void Keep(int64_t wanted) {
    value = def.kind == ControlKind::kProgressBar ? std::clamp(wanted, minimum, maximum) : wanted;
  }
};

// The image of that id among the program's images, or null when there is none.
inline const Image* ImageOf(const std::vector<Image>& images, int64_t id) {
  if (id < 0 || static_cast<uint64_t>(id) >= images.size()) return nullptr;
  return &images[static_cast<size_t>(id)];
}

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_CONTROL_STATE_H_
