// The emulated hardware cursor: which scan lines of a cell a start and stop
// line pair lights, as the video hardware drew them.
#include "runtime/display/refresh_internal.h"
#include <algorithm>

namespace {

// Blocks that hang from the bottom end one line short in 16-line cells.
CursorLines bottom_lines(int count, int h) {
    int last = h == 16 ? 14 : h - 1;
    return {std::max(0, last - count + 1), last};
}

// Blocks that start at a fixed line run to the cell's last line.
CursorLines from_line(int first, int last, int h) {
    if (first >= h) return {1, 0};
    return {first, std::min(last, h - 1)};
}

}  // namespace

CursorLines cursor_lines(int s, int e, int h) {
    if (h <= 0) return {1, 0};
    if (e == 0) return s == 0 ? CursorLines{0, 0} : CursorLines{1, 0};
    if (e < s) return from_line(e, h - 1, h);
    if (s == e) return s < 4 ? from_line(s, s, h) : bottom_lines(1, h);
    if (s <= 1) return e < 4 ? from_line(s, e, h) : from_line(s, h - 1, h);
    if (s == 2) {
        if (e == 3) return from_line(2, 3, h);
        if (e == 4) return bottom_lines(3, h);
        return from_line(2, h - 1, h);
    }
    if (e == s + 1) return bottom_lines(2, h);
    if (e == s + 2) return bottom_lines(3, h);
    // The half-cell block reaches the last line even in 16-line cells.
    return {h - h / 2, h - 1};
}
