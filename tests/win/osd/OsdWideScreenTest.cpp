// The volume bar on a second display size: run in a Wine session of its own
// on a 1280x1024 screen.
#include "OsdTestSupport.h"

#include <gtest/gtest.h>

using namespace osdtest;

namespace {

TEST(OsdWideScreen, VolumeBarCharactersFollowTheWorkAreaWidth) {
    const RECT area = WorkArea();
    ASSERT_EQ(1280, area.right - area.left) << "this test needs a 1280-pixel-wide screen";

    qxtest::Process copy = StartVistrel(L"{VOLUP:12}");
    const HWND label = WaitForNotice(copy.Id(), L"Volume Up", 30000);
    const HWND bar = WaitForNotice(copy.Id(), Strokes(12), 30000);
    ASSERT_NE(nullptr, label);
    ASSERT_NE(nullptr, bar);
    const NoticeShot labelShot(label);
    const NoticeShot barShot(bar);
    // 1280 x 33 / 1024 = 41.25, truncated.
    ExpectVolumeLayout(&labelShot, barShot, "||||||||||||", 41);
    EXPECT_TRUE(copy.WaitForExit(10000).has_value());
}

} // namespace
