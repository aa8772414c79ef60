// The arithmetic of a dialog that is larger than the screen: fitting it into
// the work area and scrolling its contents, one axis at a time. Portable.
#pragma once

namespace Quellmar::config {

// A stretch of one axis, in pixels.
struct Extent {
  int start = 0;
  int size = 0;
  int end() const { return start + size; }
  bool operator==(const Extent&) const = default;
};

// A window's extent on the work area's: larger than the area, it becomes the
// area less `margin` on both sides; otherwise one that sticks out is moved in.
Extent FitIntoWorkArea(Extent window, Extent work, int margin);

// `position` limited to 0..max(0, content - view).
int LimitScroll(int position, int content, int view);

// Where to scroll so that `control` (in view coordinates, at scroll position
// `scroll`) is in view: `near_margin` from the view's start when it lies
// before that, `far_margin` from its end when it lies beyond it, its start at
// `near_margin` when it is larger than the view; `scroll` when it is in view.
int ScrollToShow(int scroll, Extent control, int view, int near_margin, int far_margin);

}  // namespace Quellmar::config
