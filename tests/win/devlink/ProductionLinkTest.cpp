// The shipped library without a keyboard, a program that imports it, the
// KeyboardSim command line, and the keyboard driver's own answers.
#include "LinkHarness.h"

#include "simkeyboard/KeyboardClient.h"

#include <gtest/gtest.h>

using namespace devlinktest;

namespace {

TEST(DevlinkProduction, WithoutAKeyboardNothingStartsAndNothingIsHeld) {
    CSimulatedKeyboard keyboard;
    ASSERT_TRUE(keyboard.Reset());
    keyboard.Must("unplug");
    CLinkLibrary link;
    ASSERT_TRUE(link.Load(LibraryPath()));
    CKeyRecorder recorder;
    qxtest::MessageBoxWatcher watcher(L"TarvoltXP", IDOK);
    const std::size_t threadsBefore = ThreadsOfThisProcess().size();
    link.LoadDriver(recorder.Window()); // SetupAPI sets itself up on first use
    const std::uintptr_t handleBefore = FreshHandleValue();

    EXPECT_EQ(0, link.LoadDriver(recorder.Window()));
    EXPECT_EQ(0, link.LoadDriver(nullptr));
    EXPECT_EQ(threadsBefore, ThreadsOfThisProcess().size()) << "a polling thread started";
    EXPECT_EQ(handleBefore, FreshHandleValue()) << "a handle was kept";
    const BYTE data[3] = {1, 2, 3};
    EXPECT_EQ(0, link.ResetDevice());
    EXPECT_EQ(0, link.ReloadKeyMap());
    EXPECT_EQ(0, link.ResetKeyMap(0x1234, 0x5678));
    EXPECT_EQ(0, link.ResetKeyMapEx(data, 3));
    EXPECT_EQ(0, link.UnloadDriver());
    EXPECT_FALSE(watcher.WaitForBoxes(1, 300));
}

// A program linked against the import library, as the resident program is,
// calls all six exports of the shipped library.
TEST(DevlinkExports, ProgramLinkedAgainstTheImportLibraryCallsAllSix) {
    CSimulatedKeyboard keyboard;
    ASSERT_TRUE(keyboard.Reset());
    wchar_t path[4096] = L"";
    GetEnvironmentVariableW(L"PATH", path, static_cast<DWORD>(std::size(path)));
    struct Case {
        const char* label;
        const char* keyboardCommand;
        DWORD results; // bit i: export i returned non-zero
    } cases[] = {
        {"keyboard plugged in", "plug", 63},
        {"keyboard unplugged", "unplug", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        keyboard.Must(c.keyboardCommand);
        // The shipped library is found on the path, as an installed one would be.
        qxtest::Process process =
            qxtest::StartProcess(qxtest::TestBinPath(L"TarvoltXPImportProbe.exe"), L"",
                                 {{L"PATH", qxtest::BinPath(L"") + L";" + path}});
        ASSERT_TRUE(process);
        const auto exitCode = process.WaitForExit(15000);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(c.results, *exitCode);
    }
}

// The command line that shells, the demo and the resident program's tests use.
TEST(DevlinkSimulatorCommandLine, CommandsReachTheInstalledKeyboard) {
    CSimulatedKeyboard keyboard;
    ASSERT_TRUE(keyboard.Reset());
    const auto run = [](const std::wstring& arguments) -> std::optional<DWORD> {
        qxtest::Process process = qxtest::StartProcess(qxtest::KeyboardSimPath(), arguments);
        return process ? process.WaitForExit(20000) : std::nullopt;
    };
    struct Step {
        const wchar_t* arguments;
        DWORD exitCode;
    } steps[] = {
        {L"install", 0}, // already installed is fine
        {L"press 3 1", 0},  {L"queue 4:0 5:1", 0}, {L"press 300 1", 2},
        {L"frobnicate", 2}, {L"fault 31", 2},      {L"reply error=121 0 0 7 1", 0},
        {L"status", 0},     {L"log", 0},           {L"help", 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.arguments, step.arguments + wcslen(step.arguments)));
        EXPECT_EQ(std::optional<DWORD>(step.exitCode), run(step.arguments));
    }
    EXPECT_NE(std::string::npos, keyboard.Must("status").find("queued=4"));
}

// The driver completes a faulted request with a status that the system maps
// back to the Win32 error asked for; a handle from before an unplug stays
// dead after the keyboard is plugged in again.
TEST(DevlinkKeyboardDriver, FaultsAndUnplugReachTheCallerAsTheirWin32Errors) {
    CSimulatedKeyboard keyboard;
    ASSERT_TRUE(keyboard.Reset());
    const qx::unique_hfile device = OpenKeyboardInterface();
    ASSERT_TRUE(device) << "no keyboard interface";
    const auto poll = [](HANDLE handle) {
        BYTE request[4] = {254, 0, 0, 33};
        BYTE reply[400] = {};
        DWORD returned = 0;
        const BOOL succeeded = DeviceIoControl(handle, 0x000B0008, request, sizeof request, reply,
                                               sizeof reply, &returned, nullptr);
        return succeeded ? 0 : GetLastError();
    };
    for (const DWORD error : {121ul, 1167ul, 31ul, 87ul, 1ul, 1460ul}) {
        SCOPED_TRACE(error);
        keyboard.Must("fault " + std::to_string(error) + " 1");
        EXPECT_EQ(error, poll(device.get()));
    }
    EXPECT_EQ(0u, poll(device.get()));

    keyboard.Must("unplug");
    EXPECT_FALSE(OpenKeyboardInterface()) << "the interface stayed after the unplug";
    EXPECT_EQ(1167u, poll(device.get()));
    keyboard.Must("plug");
    EXPECT_EQ(1167u, poll(device.get())) << "a handle from before the unplug came back";
    const qx::unique_hfile reopened = OpenKeyboardInterface();
    ASSERT_TRUE(reopened);
    EXPECT_EQ(0u, poll(reopened.get()));
}

} // namespace
