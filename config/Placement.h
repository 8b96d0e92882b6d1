// Where a dialog opens: in the middle of its owner, or of the work area when
// it has none, and never off the work area. Plain arithmetic on screen
// rectangles.
#pragma once

struct ScreenBox {
    int left;
    int top;
    int right;
    int bottom;
};

struct ScreenPoint {
    int x;
    int y;
};

// Top-left corner of a window of the given size centred over the box and
// moved back inside the work area where it would stick out.
ScreenPoint CentredOrigin(const ScreenBox& over, int width, int height, const ScreenBox& work);
