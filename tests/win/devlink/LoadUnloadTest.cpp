// Starting and stopping the link: discovery, a second load, reloading, the
// end of the polling thread, and the key event in flight at unload.
#include "LinkFixture.h"

#include <algorithm>
#include <regex>

using namespace devlinktest;

namespace {

class DevlinkLoad : public KeyboardLinkTest {};
class DevlinkUnload : public KeyboardLinkTest {};

std::vector<DWORD> NewThreads(const std::vector<DWORD>& before) {
    std::vector<DWORD> added;
    for (DWORD thread : ThreadsOfThisProcess()) {
        if (std::find(before.begin(), before.end(), thread) == before.end())
            added.push_back(thread);
    }
    return added;
}

std::size_t CountLines(const std::string& log, const std::string& text) {
    const std::vector<std::string> lines = LogLines(log);
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

// Connections whose handle the keyboard saw closed.
std::vector<unsigned> ClosedConnections(const std::string& log) {
    const std::string mark = " close connection=";
    std::vector<unsigned> closed;
    for (const std::string& line : LogLines(log)) {
        const std::size_t at = line.find(mark);
        if (at != std::string::npos)
            closed.push_back(std::stoul(line.substr(at + mark.size())));
    }
    return closed;
}

bool IsRunning(DWORD threadId) {
    const std::vector<DWORD> threads = ThreadsOfThisProcess();
    return std::find(threads.begin(), threads.end(), threadId) != threads.end();
}

TEST_F(DevlinkLoad, SecondLoadWhileLoadedChangesNothing) {
    const std::vector<DWORD> before = ThreadsOfThisProcess();
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    const std::vector<DWORD> pollThreads = NewThreads(before);
    ASSERT_EQ(1u, pollThreads.size());

    CKeyRecorder other;
    EXPECT_EQ(0, m_link.LoadDriver(other.Window()));
    EXPECT_EQ(pollThreads, NewThreads(before)) << "a second polling thread";
    m_keyboard.Must("press 9 1");
    ASSERT_TRUE(WaitForKeys(1));
    EXPECT_TRUE(other.Keys().empty()) << "the target window changed";
    const std::string log = Log();
    EXPECT_EQ(1u, CountLines(log, " open "));
    EXPECT_EQ(1, StatusField("open"));
}

TEST_F(DevlinkLoad, LoadUnloadLoadDiscoversAndOpensAfresh) {
    const std::vector<DWORD> before = ThreadsOfThisProcess();
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    const std::vector<DWORD> firstThreads = NewThreads(before);
    ASSERT_EQ(1u, firstThreads.size());
    ASSERT_NE(0, m_link.UnloadDriver());
    EXPECT_FALSE(IsRunning(firstThreads[0]));
    ASSERT_TRUE(qxtest::WaitUntil([&] { return StatusField("open") == 0; }, 5000))
        << "the device was not closed";

    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    const std::vector<DWORD> secondThreads = NewThreads(before);
    ASSERT_EQ(1u, secondThreads.size());
    EXPECT_NE(firstThreads, secondThreads);
    const std::string log = Log();
    EXPECT_EQ(2u, CountLines(log, " open connection="));
    const std::vector<LoggedRequest> requests = LoggedRequests(log);
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests.front().connection, requests.back().connection) << "the old device again";

    m_keyboard.Must("press 3 1");
    ASSERT_TRUE(WaitForKeys(1));
    EXPECT_EQ(3u, m_recorder.Keys()[0].code);
}

TEST_F(DevlinkLoad, WithTwoInterfacesTheFirstIsOpened) {
    m_keyboard.Must("interfaces 2");
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    const std::string log = Log();
    EXPECT_EQ(1u, CountLines(log, " open connection="));
    EXPECT_EQ(1u, CountLines(log, " interface=0"));
}

TEST_F(DevlinkLoad, FailedResetStillOpensTheDevice) {
    m_keyboard.Must("fault 31 1 0");
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    ASSERT_TRUE(WaitForPolls(1));
    const std::vector<LoggedRequest> requests = Requests();
    EXPECT_EQ(0, requests[0].Command());
    EXPECT_EQ(31u, requests[0].error);
    m_keyboard.Must("press 4 0");
    EXPECT_TRUE(WaitForKeys(1));
}

TEST_F(DevlinkLoad, NoKeyboardMeansNoLinkAndNothingHeld) {
    struct Case {
        const char* label;
        std::function<void()> takeAway;
    } cases[] = {
        {"unplugged", [&] { m_keyboard.Must("unplug"); }},
        {"no interface",
         [&] {
             m_keyboard.Must("plug");
             m_keyboard.Must("interfaces 0");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        c.takeAway();
        const std::vector<DWORD> threadsBefore = ThreadsOfThisProcess();
        const std::uintptr_t handleBefore = FreshHandleValue();
        EXPECT_EQ(0, m_link.LoadDriver(m_recorder.Window()));
        EXPECT_EQ(threadsBefore.size(), ThreadsOfThisProcess().size());
        EXPECT_EQ(handleBefore, FreshHandleValue()) << "a handle was kept";
        EXPECT_EQ(0, m_link.ResetDevice());
        EXPECT_EQ(0, m_link.UnloadDriver());
    }
}

TEST_F(DevlinkUnload, UnloadWhileUnloadedReturnsZeroAndShowsNothing) {
    qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
    EXPECT_EQ(0, m_link.UnloadDriver());
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    EXPECT_NE(0, m_link.UnloadDriver());
    EXPECT_EQ(0, m_link.UnloadDriver());
    EXPECT_FALSE(watcher.WaitForBoxes(1, 500));
}

// The driver holds the polling thread's request: UnloadDriver waits for it
// at most three seconds, shows the box, and returns once the box is closed,
// however long the driver goes on holding it. A load right after, or from the
// box as the resident program's reconnect comes, opens the device afresh and
// its keys arrive while the old request is still held; the old device is
// closed when that request returns. The key the held poll took arrives
// during the wait or not at all: never after the new load's, nor inside a
// handler.
TEST_F(DevlinkUnload, PollHeldByTheDriverBoundsTheWaitAndTheLinkLoadsAgainAtOnce) {
    struct Case {
        DWORD holdMs;
        bool box;
        DWORD fastestMs;
        DWORD slowestMs;
        bool loadFromTheBox;
    } cases[] = {
        {2000, false, 1000, 2900, false},
        {8000, true, 2900, 7500, false},
        {8000, true, 2900, 7500, true},
    };
    constexpr WPARAM RELOAD_MARK = 0x5E55; // a posted "key" that only the box's loop delivers
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.holdMs) + (c.loadFromTheBox ? " from the box" : ""));
        qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
        m_keyboard.Must("clear");
        ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
        ASSERT_TRUE(WaitForPolls(1));
        const unsigned oldConnection = Requests().front().connection;
        m_keyboard.Must("delay " + std::to_string(c.holdMs) + " 33");
        m_keyboard.Must("press 5 1");
        ASSERT_TRUE(
            qxtest::WaitWithoutMessages([&] { return StatusField("in-flight") == 1; }, 5000));
        m_keyboard.Must("delay 0"); // the held request keeps its hold

        int loaded = -1;
        int heldAtKey = -1;
        m_recorder.OnKey([&](const ReceivedKey& key) {
            if (key.code == RELOAD_MARK)
                loaded = m_link.LoadDriver(m_recorder.Window());
            else if (key.code == 7)
                heldAtKey = StatusField("in-flight");
        });
        const std::size_t keysBefore = m_recorder.Keys().size();
        if (c.loadFromTheBox)
            PostMessageW(m_recorder.Window(), WM_DEVICEKEY, RELOAD_MARK, 0);
        const DWORD start = GetTickCount();
        EXPECT_NE(0, m_link.UnloadDriver());
        const DWORD returned = GetTickCount();
        const DWORD elapsed = returned - start;
        EXPECT_GE(elapsed, c.fastestMs);
        EXPECT_LT(elapsed, c.slowestMs);
        const std::vector<qxtest::SeenBox> boxes = watcher.Boxes();
        EXPECT_EQ(c.box ? 1u : 0u, boxes.size());
        // Wine with no window manager waits up to 2 s for a closed box's
        // window to be withdrawn before MessageBox returns.
        if (c.box && boxes.size() == 1) {
            EXPECT_LT(returned - boxes[0].answeredTick, 2500u) << "returned long after the box";
        }

        if (!c.loadFromTheBox)
            loaded = m_link.LoadDriver(m_recorder.Window());
        ASSERT_EQ(1, loaded);
        m_keyboard.Must("press 7 1");
        EXPECT_TRUE(qxtest::WaitUntil([&] { return heldAtKey >= 0; }, 5000));
        EXPECT_EQ(c.box ? 1 : 0, heldAtKey) << "in-flight when the key arrived";

        ASSERT_TRUE(qxtest::WaitUntil([&] { return StatusField("in-flight") == 0; }, 10000));
        qxtest::PumpMessages(200); // what the old thread still sends
        m_recorder.OnKey(nullptr);
        const std::vector<ReceivedKey> keys = m_recorder.Keys();
        ASSERT_FALSE(keys.empty());
        EXPECT_EQ(7u, keys.back().code) << "the held poll's key came after the new load's";
        for (std::size_t i = keysBefore; i < keys.size(); ++i)
            EXPECT_EQ(1, keys[i].depth) << "key " << keys[i].code << " inside a handler";
        EXPECT_TRUE(qxtest::WaitWithoutMessages(
            [&] { return ClosedConnections(Log()) == std::vector<unsigned>{oldConnection}; }, 5000))
            << "the old device was not closed, or the new one was";
        EXPECT_EQ(1, StatusField("open"));
        EXPECT_NE(0, m_link.UnloadDriver());
    }
}

// Each copy of the library releases what it made when it is freed, and its
// polling thread's hold on it goes with the thread.
TEST_F(DevlinkUnload, LibraryLoadedAndFreedFiftyTimesKeepsNoHandle) {
    m_link = CLinkLibrary(); // only this test's copies hold the library
    const auto round = [&] {
        CLinkLibrary library;
        ASSERT_TRUE(library.Load(LibraryPath()));
        ASSERT_EQ(1, library.LoadDriver(m_recorder.Window()));
        ASSERT_NE(0, library.UnloadDriver());
    };
    round(); // what the process keeps from the first load on
    const std::uintptr_t handleBefore = FreshHandleValue();
    for (int i = 0; i < 50 && !HasFatalFailure(); ++i)
        round();
    EXPECT_EQ(handleBefore, FreshHandleValue()) << "a handle was kept";
    EXPECT_EQ(nullptr, GetModuleHandleW(L"TarvoltXP.dll"));
}

// The client frees the library while the polling thread of an unload that
// gave up is still held by the driver: the library stays mapped until that
// thread ends, and goes with it.
TEST_F(DevlinkUnload, LibraryFreedAfterAGivenUpUnloadGoesWithItsPollingThread) {
    m_link = CLinkLibrary();
    {
        CLinkLibrary library;
        ASSERT_TRUE(library.Load(LibraryPath()));
        qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
        ASSERT_EQ(1, library.LoadDriver(m_recorder.Window()));
        ASSERT_TRUE(WaitForPolls(1));
        m_keyboard.Must("delay 8000 33");
        ASSERT_TRUE(
            qxtest::WaitWithoutMessages([&] { return StatusField("in-flight") == 1; }, 5000));
        EXPECT_NE(0, library.UnloadDriver());
        EXPECT_EQ(1u, watcher.Boxes().size());
    }
    EXPECT_NE(nullptr, GetModuleHandleW(L"TarvoltXP.dll")) << "unmapped under its thread";
    ASSERT_TRUE(qxtest::WaitWithoutMessages([&] { return StatusField("in-flight") == 0; }, 10000));
    EXPECT_TRUE(
        qxtest::WaitWithoutMessages([&] { return !GetModuleHandleW(L"TarvoltXP.dll"); }, 5000));
    EXPECT_EQ(0, StatusField("open"));
}

TEST_F(DevlinkUnload, PollingEndsAtOnceAndNoRequestFollows) {
    const std::vector<DWORD> before = ThreadsOfThisProcess();
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    const std::vector<DWORD> pollThreads = NewThreads(before);
    ASSERT_EQ(1u, pollThreads.size());
    ASSERT_TRUE(WaitForPolls(3));

    const DWORD start = GetTickCount();
    EXPECT_NE(0, m_link.UnloadDriver());
    EXPECT_LT(GetTickCount() - start, 1500u) << "the polling thread took long to end";
    EXPECT_FALSE(IsRunning(pollThreads[0]));
    ASSERT_TRUE(qxtest::WaitUntil([&] { return StatusField("open") == 0; }, 5000))
        << "the device was not closed";
    m_keyboard.Must("clear");
    m_keyboard.Must("press 6 1");
    qxtest::PumpMessages(200);
    EXPECT_TRUE(Requests().empty()) << "a request after UnloadDriver";
    EXPECT_TRUE(m_recorder.Keys().empty());
}

// The window's own thread unloads while the polling thread waits in its
// send to that window: the event is let through and the thread ends. The
// link is unloaded by then, so a load from the handler succeeds.
TEST_F(DevlinkUnload, OnTheWindowsThreadTheEventInFlightIsDeliveredAndNoBoxShown) {
    qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
    // A handler that loads again at once, as a client might on some key.
    int loadedInHandler = -1;
    m_recorder.OnKey(
        [&](const ReceivedKey&) { loadedInHandler = m_link.LoadDriver(m_recorder.Window()); });
    ASSERT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    m_keyboard.Must("press 42 1");
    // Not serving messages here, so the polling thread's send stays pending.
    ASSERT_TRUE(qxtest::WaitWithoutMessages(
        [&] {
            for (const LoggedRequest& request : Requests())
                if (request.returned == 4)
                    return true;
            return false;
        },
        5000));
    ASSERT_TRUE(m_recorder.Keys().empty());

    const DWORD start = GetTickCount();
    EXPECT_NE(0, m_link.UnloadDriver());
    EXPECT_LT(GetTickCount() - start, 2900u) << "waited for the time-out";
    ASSERT_EQ(1u, m_recorder.Keys().size());
    EXPECT_EQ(42u, m_recorder.Keys()[0].code);
    EXPECT_TRUE(watcher.Boxes().empty());
    EXPECT_EQ(1, loadedInHandler) << "a load during the unload's wait was refused";
    m_recorder.OnKey(nullptr);
    EXPECT_TRUE(qxtest::WaitUntil([&] { return StatusField("open") == 1; }, 5000))
        << "the old device was not closed, or the new one not opened";
    m_keyboard.Must("press 44 1");
    ASSERT_TRUE(WaitForKeys(2));
    EXPECT_EQ(44u, m_recorder.Keys()[1].code);
}

// A window whose thread does not serve messages: the polling thread cannot
// end, and after three seconds the box says so.
TEST_F(DevlinkUnload, PollingThreadStuckInItsSendShowsTheBoxAfterThreeSeconds) {
    struct Target {
        qx::unique_handle ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        qx::unique_handle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        HWND window = nullptr;
        std::vector<ReceivedKey> keys;
        static DWORD WINAPI Run(void* parameter) {
            auto* target = static_cast<Target*>(parameter);
            CKeyRecorder recorder;
            target->window = recorder.Window();
            SetEvent(target->ready.get());
            WaitForSingleObject(target->release.get(), 20000); // not serving messages
            qxtest::WaitUntil([&] { return !recorder.Keys().empty(); }, 5000);
            target->keys = recorder.Keys();
            return 0;
        }
    } target;
    qx::unique_handle thread(CreateThread(nullptr, 0, Target::Run, &target, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(target.ready.get(), 5000));

    const std::vector<DWORD> before = ThreadsOfThisProcess();
    ASSERT_EQ(1, m_link.LoadDriver(target.window));
    const std::vector<DWORD> pollThreads = NewThreads(before);
    m_keyboard.Must("press 43 1");
    ASSERT_TRUE(qxtest::WaitWithoutMessages([&] { return StatusField("queued") == 0; }, 5000));

    qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
    const DWORD start = GetTickCount();
    EXPECT_NE(0, m_link.UnloadDriver());
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LT(elapsed, 10000u);
    ASSERT_EQ(1u, watcher.Boxes().size());
    const qxtest::SeenBox box = watcher.Boxes()[0];
    EXPECT_TRUE(std::regex_match(box.text, std::wregex(LR"(Error Code: -?\d+ \(Ln: 125\))")))
        << std::string(box.text.begin(), box.text.end());
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), box.icon);

    // Once the window's thread serves its messages again, the event arrives
    // and the polling thread ends; no request is sent after the unload.
    m_keyboard.Must("clear");
    SetEvent(target.release.get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 10000));
    ASSERT_EQ(1u, target.keys.size());
    EXPECT_EQ(43u, target.keys[0].code);
    ASSERT_EQ(1u, pollThreads.size());
    EXPECT_TRUE(qxtest::WaitWithoutMessages([&] { return !IsRunning(pollThreads[0]); }, 2000));
    EXPECT_TRUE(Requests().empty());

    const std::vector<DWORD> beforeReload = ThreadsOfThisProcess();
    EXPECT_EQ(1, m_link.LoadDriver(m_recorder.Window()));
    EXPECT_EQ(1u, NewThreads(beforeReload).size());
}

} // namespace
