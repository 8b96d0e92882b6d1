// Where Pellor's dialogs open.
#include "config/Placement.h"

#include <gtest/gtest.h>

namespace {

TEST(Placement, CentresOverTheBoxAndStaysOnTheWorkArea) {
    const ScreenBox work = {0, 0, 1024, 738};
    const struct {
        const char* label;
        ScreenBox over;
        int width, height;
        ScreenPoint origin;
    } cases[] = {
        {"on the work area", work, 400, 100, {312, 319}},
        {"over an owner", {100, 100, 500, 300}, 200, 100, {200, 150}},
        {"owner near the left and top edges", {-50, -20, 150, 80}, 300, 200, {0, 0}},
        {"owner near the right and bottom edges", {900, 700, 1100, 760}, 300, 200, {724, 538}},
        {"larger than the work area keeps its top-left corner on it", work, 1200, 900, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const ScreenPoint origin = CentredOrigin(c.over, c.width, c.height, work);
        EXPECT_EQ(c.origin.x, origin.x);
        EXPECT_EQ(c.origin.y, origin.y);
    }
}

} // namespace
