// Many load/unload cycles, and a keyboard unplugged while it is polled.
#include "LinkFixture.h"

using namespace devlinktest;

namespace {

class DevlinkReliability : public KeyboardLinkTest {};

TEST_F(DevlinkReliability, ThousandLoadUnloadCyclesLeakNoHandleOrThread) {
    // One cycle first, so that what the system sets up once is not counted.
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    ASSERT_NE(0, m_link.UnloadDriver());
    const std::size_t threadsBefore = ThreadsOfThisProcess().size();
    const std::uintptr_t handleBefore = FreshHandleValue();

    int failedLoads = 0, failedUnloads = 0;
    const DWORD start = GetTickCount();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        failedLoads += m_link.LoadDriver(m_recorder.Window()) == 1 ? 0 : 1;
        failedUnloads += m_link.UnloadDriver() != 0 ? 0 : 1;
    }
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(0, failedLoads);
    EXPECT_EQ(0, failedUnloads);
    EXPECT_EQ(threadsBefore, ThreadsOfThisProcess().size());
    EXPECT_LE(FreshHandleValue(), handleBefore) << "handles leaked";
    EXPECT_TRUE(qxtest::WaitUntil([&] { return StatusField("open") == 0; }, 5000))
        << "devices left open at the keyboard";
    std::printf("1000 cycles took %lu ms\n", static_cast<unsigned long>(elapsed));
}

TEST_F(DevlinkReliability, UnplugWhilePollingFailsQuietlyAndPlugBackWorks) {
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    m_keyboard.Must("press 1 1");
    ASSERT_TRUE(WaitForKeys(1));

    m_keyboard.Must("unplug");
    m_keyboard.Must("clear");
    ASSERT_TRUE(qxtest::WaitUntil(
        [&] {
            int failed = 0;
            for (const LoggedRequest& request : Requests())
                failed += request.Command() == 33 && request.error == 1167 ? 1 : 0;
            return failed >= 10;
        },
        5000))
        << "the polling thread stopped cycling";
    EXPECT_EQ(0, m_link.ResetDevice());
    EXPECT_EQ(0, m_link.ReloadKeyMap());

    const DWORD start = GetTickCount();
    EXPECT_NE(0, m_link.UnloadDriver());
    EXPECT_LT(GetTickCount() - start, 1500u) << "UnloadDriver hung on the unplugged keyboard";
    EXPECT_EQ(0, m_link.LoadDriver(m_recorder.Window())) << "loaded without a keyboard";

    m_keyboard.Must("plug");
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    m_keyboard.Must("press 2 1");
    ASSERT_TRUE(WaitForKeys(2));
    EXPECT_EQ(2u, m_recorder.Keys()[1].code);
    EXPECT_EQ(1, m_link.ResetDevice());
}

} // namespace
