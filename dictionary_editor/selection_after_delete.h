// Which row of the Delete dialog's word list is selected after an entry was
// removed. Portable.
#pragma once

namespace Quellmar::dictionary {

// `deleted_row` is the row that was removed, `rows_left` the number of rows
// now in the list. Row 0 when the entry was the first of the list; the same
// row number (now its successor) when the entry before it now has a
// successor; otherwise the row before. -1 when the list is empty.
inline int SelectionAfterDelete(int deleted_row, bool had_predecessor,
                                bool predecessor_has_successor, int rows_left) {
  if (rows_left <= 0) return -1;
  int row = !had_predecessor ? 0 : predecessor_has_successor ? deleted_row : deleted_row - 1;
  if (row >= rows_left) row = rows_left - 1;
  if (row < 0) row = 0;
  return row;
}

}  // namespace Quellmar::dictionary
