// What the volume notice shows and where the notices go.
#include "NoticeLayout.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace osd;

namespace {

TEST(OsdNoticeLayout, VolumeLabelNamesUpAndDownOnly) {
    EXPECT_EQ("Volume Up", VolumeLabel(1));
    EXPECT_EQ("Volume Down", VolumeLabel(2));
    for (int type : {0, 3, 4, -1}) {
        SCOPED_TRACE(type);
        EXPECT_EQ("", VolumeLabel(type));
    }
}

TEST(OsdNoticeLayout, VolumeBarHasOneStrokePerLevel) {
    const struct {
        std::int64_t level;
        std::string bar;
    } cases[] = {
        {0, " "},
        {1, "|"},
        {12, "||||||||||||"},
        {60, std::string(60, '|')},
        {61, ""},
        {-1, ""},
        {std::numeric_limits<std::int64_t>::max(), ""},
        {std::numeric_limits<std::int64_t>::min(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        EXPECT_EQ(c.bar, VolumeBar(c.level));
    }
}

TEST(OsdNoticeLayout, BarWidthFollowsTheWorkAreaWidth) {
    const struct {
        int workAreaWidth;
        int barWidth;
    } cases[] = {
        {1024, 33}, {1280, 41}, {800, 25}, {1600, 51}, {0, 0}, {31, 0}, {32, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.workAreaWidth);
        EXPECT_EQ(c.barWidth, VolumeBarWidth(c.workAreaWidth));
    }
}

TEST(OsdNoticeLayout, NoticesSitOnTheWorkAreaBottom) {
    EXPECT_EQ(712, NoticeTop(768, 56));
    EXPECT_EQ(650, NoticeTop(768, 60, 58)); // a label directly above a 58-pixel bar
    EXPECT_EQ(-10, NoticeTop(40, 50));
    EXPECT_EQ("Hello  ", ShapedString("Hello"));
    EXPECT_EQ("  ", ShapedString(""));
}

} // namespace

namespace {

TEST(OsdNoticeLayout, FittingLengthCutsAtWholeCharactersWithinTheWidth) {
    // 10 pixels a byte; the ends given make "ab", a double-byte character, "c".
    const std::vector<std::size_t> ends = {1, 2, 4, 5};
    const auto widthOf = [](std::size_t length) { return static_cast<int>(length) * 10; };
    const struct {
        int maxWidth;
        std::size_t length;
    } cases[] = {
        {100, 5}, {50, 5}, {49, 4}, {39, 2}, {30, 2}, {20, 2}, {10, 1}, {9, 0}, {-1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxWidth);
        EXPECT_EQ(c.length, FittingLength(ends, c.maxWidth, widthOf));
    }
    EXPECT_EQ(0u, FittingLength({}, 100, widthOf));
}

TEST(OsdNoticeLayout, FittingLengthMeasuresFewPrefixesOfALongText) {
    std::vector<std::size_t> ends(30000);
    for (std::size_t i = 0; i < ends.size(); ++i)
        ends[i] = i + 1;
    int measured = 0;
    const auto widthOf = [&](std::size_t length) {
        ++measured;
        return static_cast<int>(length) * 47;
    };
    EXPECT_EQ(21u, FittingLength(ends, 1024, widthOf));
    EXPECT_LE(measured, 20);
}

} // namespace
