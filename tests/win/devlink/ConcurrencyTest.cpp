// Command exports on another thread while the link is taken down.
#include "SimulatedLinkFixture.h"

#include <atomic>

using namespace devlinktest;

namespace {

class DevlinkConcurrency : public SimulatedLinkTest {};

struct CommandThread {
    const CLinkLibrary* link = nullptr;
    int result = -1;
    static DWORD WINAPI Run(void* parameter) {
        auto* self = static_cast<CommandThread*>(parameter);
        self->result = self->link->ResetKeyMap(1, 2);
        return 0;
    }
};

TEST_F(DevlinkConcurrency, UnloadWaitsForACommandInProgressBeforeClosing) {
    ASSERT_EQ(1, m_link.LoadDriver(nullptr));
    m_keyboard.Must("delay 400 34");
    CommandThread command{&m_link};
    qx::unique_handle thread(CreateThread(nullptr, 0, CommandThread::Run, &command, 0, nullptr));
    ASSERT_TRUE(WaitWithoutMessages([&] { return StatusField("in-flight") == 1; }, 5000))
        << "the command never reached the keyboard";

    EXPECT_NE(0, m_link.UnloadDriver());
    // The keyboard's log, not the command thread's clock: that thread may be
    // scheduled only after UnloadDriver has returned.
    EXPECT_NE(std::string::npos, Log().find("data=FE0000220102 -> ok"))
        << "UnloadDriver returned before the command ended";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 5000));
    EXPECT_EQ(1, command.result) << "the command in progress lost its device";
    EXPECT_EQ(0, m_link.ResetKeyMap(1, 2)) << "a command after UnloadDriver";

    const std::vector<std::string> lines = LogLines(Log());
    std::size_t commandLine = lines.size(), closeLine = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("data=FE0000220102 -> ok") != std::string::npos)
            commandLine = i;
        if (lines[i].find("close connection") != std::string::npos)
            closeLine = i;
    }
    EXPECT_LT(commandLine, closeLine) << "the device was closed under the command";
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
    int loads = 0, unloads = 0;
    for (int cycle = 0; cycle < 100; ++cycle) {
        loads += m_link.LoadDriver(nullptr);
        unloads += m_link.UnloadDriver() != 0 ? 1 : 0;
    }
    hammer.stop = true;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 10000));
    EXPECT_EQ(100, loads);
    EXPECT_EQ(100, unloads);
    EXPECT_EQ(0, hammer.other);
    EXPECT_GT(hammer.accepted, 0);

    int answered = 0;
    for (const LoggedRequest& request : Requests())
        answered += request.Command() == 36 && request.succeeded ? 1 : 0;
    EXPECT_EQ(hammer.accepted, answered);
}

} // namespace
