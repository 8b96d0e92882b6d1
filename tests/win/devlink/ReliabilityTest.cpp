// Many load/unload cycles, a keyboard unplugged and plugged back while it is
// polled, and errors that are no removal.
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

// Unplugged, the link lets the dead handle go and looks for the keyboard
// once a second without a request to it; plugged back, its keys arrive again
// with nothing asked of the client.
TEST_F(DevlinkReliability, UnpluggedKeyboardIsFoundAgainAndItsKeysArrive) {
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    for (unsigned round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        m_keyboard.Must("unplug");
        ASSERT_TRUE(qxtest::WaitUntil([&] { return StatusField("open") == 0; }, 3000))
            << "the dead handle was kept";
        m_keyboard.Must("clear");
        qxtest::PumpMessages(2000);
        EXPECT_LE(Requests().size(), 4u) << "the unplugged keyboard was polled";
        EXPECT_EQ(0, m_link.ResetDevice());

        m_keyboard.Must("plug");
        const DWORD plugged = GetTickCount();
        m_keyboard.Must("press " + std::to_string(round) + " 1");
        ASSERT_TRUE(WaitForKeys(round, 3000));
        EXPECT_LE(GetTickCount() - plugged, 1500u);
        EXPECT_EQ(round, m_recorder.Keys().back().code);
        EXPECT_EQ(1, m_link.ResetDevice());
    }
    m_keyboard.Must("unplug");
    ASSERT_TRUE(qxtest::WaitUntil([&] { return StatusField("open") == 0; }, 3000));
    const DWORD start = GetTickCount();
    EXPECT_NE(0, m_link.UnloadDriver());
    EXPECT_LT(GetTickCount() - start, 500u) << "UnloadDriver waited out the look";
    EXPECT_EQ(0, m_link.LoadDriver(m_recorder.Window())) << "loaded without a keyboard";
}

// A failed request alone is no removal: gone errors fewer than a run, a
// device not ready, and 121 with 4 bytes keep the device open.
TEST_F(DevlinkReliability, ErrorsThatAreNoRemovalKeepTheDevice) {
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    for (const char* fault : {"fault 1167 2 33", "fault 21 20 33", "reply error=121 0 0 9 1"}) {
        m_keyboard.Must(fault);
        ASSERT_TRUE(qxtest::WaitUntil(
            [&] { return StatusField("faults") == 0 && StatusField("queued") == 0; }, 5000));
    }
    m_keyboard.Must("press 8 1");
    ASSERT_TRUE(WaitForKeys(2));
    EXPECT_EQ(9u, m_recorder.Keys()[0].code);
    EXPECT_EQ(8u, m_recorder.Keys()[1].code);
    EXPECT_EQ(std::string::npos, Log().find(" close connection=")) << "the device was reopened";
}

} // namespace
