#include "config/scroll_geometry.h"

#include <algorithm>

namespace Quellmar::config {

Extent FitIntoWorkArea(Extent window, Extent work, int margin) {
  if (window.size > work.size) return {work.start + margin, work.size - 2 * margin};
  if (window.start < work.start) window.start = work.start;
  if (window.end() > work.end()) window.start = work.end() - window.size;
  return window;
}

int LimitScroll(int position, int content, int view) {
  return std::clamp(position, 0, std::max(0, content - view));
}

int ScrollToShow(int scroll, Extent control, int view, int near_margin, int far_margin) {
  const bool larger = control.size + near_margin + far_margin > view;
  if (control.start < near_margin || larger) return scroll + control.start - near_margin;
  if (control.end() + far_margin > view) return scroll + control.end() + far_margin - view;
  return scroll;
}

}  // namespace Quellmar::config
