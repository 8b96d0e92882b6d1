// Where a notice sits on Wine's shell desktop: on the work area, above the
// taskbar rather than behind it.
#include "OsdTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace osdtest;

TEST(OsdWorkArea, NoticeSitsOnTheWorkAreaAboveTheTaskbar) {
    // Wine's explorer keeps a hidden tray window of that class on the bare X
    // screen too, so only a visible one is the taskbar.
    const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_NE(nullptr, taskbar);
    ASSERT_TRUE(IsWindowVisible(taskbar)) << "no taskbar: the session runs on the bare X screen";
    const RECT bar = WindowRect(taskbar);
    const RECT area = WorkArea();

    qxtest::Process copy = StartVistrel(L"Taskbar``0`0`255");
    const HWND window = WaitForNotice(copy.Id(), L"Taskbar", 30000);
    ASSERT_NE(nullptr, window) << "no notice window with the text";
    const RECT notice = WindowRect(window);
    EXPECT_EQ(area.bottom, notice.bottom);
    // Windows leaves the taskbar's edge out of the work area. Wine 10.0's shell
    // desktop gives the whole screen as the work area with its taskbar on it:
    // there the notice sits on the work area's bottom, behind the taskbar.
    if (area.bottom > bar.top)
        std::printf("[ NOTE     ] the work area (bottom %ld) holds the taskbar (top %ld)\n",
                    area.bottom, bar.top);
    else
        EXPECT_LE(notice.bottom, bar.top) << "the notice reaches behind the taskbar";
    EXPECT_TRUE(copy.WaitForExit(10000).has_value()) << "the display did not end";
}
