// A test with the simulated keyboard reset and the shipped library loaded.
#pragma once

#include "LinkHarness.h"

#include <gtest/gtest.h>

namespace devlinktest {

class KeyboardLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_keyboard.Reset()) << "the simulated keyboard's driver is not installed";
        ASSERT_TRUE(m_link.Load(LibraryPath())) << "TarvoltXP.dll not loaded";
    }
    // A held poll that a failed assertion left behind ends the unload with a
    // box, answered here, not with ctest's time-out.
    void TearDown() override {
        m_keyboard.Must("delay 0");
        qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
        if (m_link.Loaded())
            m_link.UnloadDriver();
    }

    std::string Log() const { return m_keyboard.Must("log"); }
    std::vector<LoggedRequest> Requests() const { return LoggedRequests(Log()); }

    // Waits, serving messages, until the keyboard has logged count polls.
    bool WaitForPolls(std::size_t count, DWORD timeoutMs = 5000) const {
        return qxtest::WaitUntil(
            [&] {
                std::size_t polls = 0;
                for (const LoggedRequest& request : Requests())
                    polls += request.Command() == 33 ? 1 : 0;
                return polls >= count;
            },
            timeoutMs);
    }

    // Waits, serving messages, until the recorder has count keys.
    bool WaitForKeys(std::size_t count, DWORD timeoutMs = 5000) const {
        return qxtest::WaitUntil([&] { return m_recorder.Keys().size() >= count; }, timeoutMs);
    }

    // A field of the keyboard's status line ("queued", "open", "in-flight").
    int StatusField(const std::string& name) const {
        const std::string status = " " + m_keyboard.Must("status");
        const std::size_t at = status.find(" " + name + "=");
        if (at == std::string::npos)
            return -1;
        return std::stoi(status.substr(at + name.size() + 2));
    }

    CSimulatedKeyboard m_keyboard;
    CLinkLibrary m_link;
    CKeyRecorder m_recorder;
};

} // namespace devlinktest
