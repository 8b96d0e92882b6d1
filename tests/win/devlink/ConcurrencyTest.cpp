// Command exports on another thread while the link is taken down.
#include "LinkFixture.h"

#include <atomic>

using namespace devlinktest;

namespace {

class DevlinkConcurrency : public KeyboardLinkTest {};

struct CommandThread {
    const CLinkLibrary* link = nullptr;
    int result = -1;
    static DWORD WINAPI Run(void* parameter) {
        auto* self = static_cast<CommandThread*>(parameter);
        self->result = self->link->ResetKeyMap(1, 2);
        return 0;
    }
};

// The platform completes one synchronous request on a handle at a time, so
// the polling thread's next poll waits behind a command the driver holds, and
// UnloadDriver, waiting for that thread, waits for the command too: well
// within its bound, with no box. The command keeps its device until it ends,
// and no command follows the unload.
TEST_F(DevlinkConcurrency, UnloadWaitsForACommandInProgressThroughThePollBehindIt) {
    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    m_keyboard.Must("delay 400 34");
    CommandThread command{&m_link};
    qx::unique_handle thread(CreateThread(nullptr, 0, CommandThread::Run, &command, 0, nullptr));
    ASSERT_TRUE(qxtest::WaitWithoutMessages(
        [&] { return StatusField("in-flight") == 1 && StatusField("waiting") == 1; }, 5000))
        << "no poll waited behind the command";

    qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
    EXPECT_NE(0, m_link.UnloadDriver());
    EXPECT_EQ(0, StatusField("in-flight")) << "UnloadDriver returned before the command ended";
    EXPECT_EQ(0, m_link.ResetKeyMap(1, 2)) << "a command after UnloadDriver";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 5000));
    EXPECT_EQ(1, command.result) << "the command in progress lost its device";
    EXPECT_TRUE(watcher.Boxes().empty());
    EXPECT_TRUE(qxtest::WaitWithoutMessages([&] { return StatusField("open") == 0; }, 5000))
        << "the device was not closed";
    std::size_t keyMapCommands = 0;
    for (const LoggedRequest& request : LoggedCommands(Log()))
        keyMapCommands += request.Command() == 34 ? 1 : 0;
    EXPECT_EQ(1u, keyMapCommands);
}

// Commands hammer the link while it is loaded and unloaded over and over:
// each returns 0 or 1, never crashes, and every 1 is a request the keyboard
// really answered.
TEST_F(DevlinkConcurrency, CommandsRacingLoadAndUnloadOnlyUseOpenDevices) {
    struct Hammer {
        const CLinkLibrary* link;
        std::atomic<bool> stop{false};
        int accepted = 0;
        int refused = 0;
        int other = 0;
        static DWORD WINAPI Run(void* parameter) {
            auto* self = static_cast<Hammer*>(parameter);
            while (!self->stop) {
                const int result = self->link->ReloadKeyMap();
                (result == 1 ? self->accepted : result == 0 ? self->refused : self->other)++;
            }
            return 0;
        }
    } hammer{&m_link};
    qx::unique_handle thread(CreateThread(nullptr, 0, Hammer::Run, &hammer, 0, nullptr));
    // A load right after an unload is refused while a command still runs on
    // the device just let go, so the cycles go on until 100 loads took.
    int loads = 0, unloads = 0;
    const DWORD start = GetTickCount();
    while (loads < 100 && GetTickCount() - start < 20000) {
        const int loaded = m_link.LoadDriver(nullptr);
        loads += loaded;
        unloads += m_link.UnloadDriver() != 0 ? 1 : 0;
        if (!loaded)
            Sleep(1);
    }
    hammer.stop = true;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 10000));
    EXPECT_EQ(100, loads);
    EXPECT_EQ(loads, unloads);
    EXPECT_EQ(0, hammer.other);
    EXPECT_GT(hammer.accepted, 0);

    int answered = 0;
    for (const LoggedRequest& request : Requests())
        answered += request.Command() == 36 && request.succeeded ? 1 : 0;
    EXPECT_EQ(hammer.accepted, answered);
}

} // namespace
