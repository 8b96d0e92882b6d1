// The shipped library under Wine, where no QX-310 keyboard exists, and the
// ways a program finds one library or the other.
#include "LinkHarness.h"

#include "devlink/SimulatorPipe.h"

#include <gtest/gtest.h>

using namespace devlinktest;

namespace {

TEST(DevlinkProduction, WithoutAKeyboardNothingStartsAndNothingIsHeld) {
    CLinkLibrary link;
    ASSERT_TRUE(link.Load(ProductionLibraryPath()));
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

std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// A program linked against the import library, as the resident program is,
// calls all six exports of whichever TarvoltXP.dll it finds.
TEST(DevlinkExports, ProgramLinkedAgainstTheImportLibraryCallsAllSix) {
    const std::wstring probe = qxtest::TestBinPath(L"TarvoltXPImportProbe.exe");
    const std::wstring path = EnvironmentValue(L"PATH");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring beside = std::wstring(temp) + L"devlink-beside";
    CreateDirectoryW(beside.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(probe.c_str(), (beside + L"\\TarvoltXPImportProbe.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW(SimulatedLibraryPath().c_str(), (beside + L"\\TarvoltXP.dll").c_str(), FALSE));

    CSimulatorProcess keyboard;
    ASSERT_TRUE(keyboard.Start());
    struct Case {
        const char* label;
        std::wstring program;
        std::wstring pathFirst;
        bool keyboardRunning;
        DWORD results; // bit i: export i returned non-zero
    } cases[] = {
        {"shipped library on the path", probe, qxtest::BinPath(L""), true, 0},
        {"simulated folder first on the path", probe, qxtest::BinPath(L"simulated"), true, 63},
        {"copied beside the simulated library", beside + L"\\TarvoltXPImportProbe.exe",
         qxtest::BinPath(L""), true, 63},
        {"simulated library, keyboard stopped", probe, qxtest::BinPath(L"simulated"), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (!c.keyboardRunning) {
            ASSERT_TRUE(keyboard.Stop());
        }
        qxtest::Process process =
            qxtest::StartProcess(c.program, L"", {{L"PATH", c.pathFirst + L";" + path}});
        ASSERT_TRUE(process);
        const auto exitCode = process.WaitForExit(15000);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(c.results, *exitCode);
    }
}

// The command line that shells, the demo and the resident program's tests use.
TEST(DevlinkSimulatorCommandLine, CommandsReachTheRunningKeyboard) {
    const auto run = [](const std::wstring& arguments) -> std::optional<DWORD> {
        qxtest::Process process = qxtest::StartProcess(KeyboardSimPath(), arguments);
        return process ? process.WaitForExit(20000) : std::nullopt;
    };
    struct Step {
        const wchar_t* arguments;
        DWORD exitCode;
    } steps[] = {
        {L"press 1 1", 1},                 // nothing running yet
        {L"start", 0},      {L"start", 0}, // already running is fine
        {L"serve", 1},                     // a second keyboard refuses
        {L"press 3 1", 0},  {L"queue 4:0 5:1", 0}, {L"press 300 1", 2},
        {L"frobnicate", 2}, {L"fault 31", 2},      {L"reply error=121 0 0 7 1", 0},
        {L"status", 0},     {L"log", 0},           {L"help", 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.arguments, step.arguments + wcslen(step.arguments)));
        EXPECT_EQ(std::optional<DWORD>(step.exitCode), run(step.arguments));
    }
    const auto status = devlink::sim::RunSimulatorCommand("status");
    ASSERT_TRUE(status);
    EXPECT_NE(std::string::npos, status->text.find("queued=4")) << status->text;

    EXPECT_EQ(std::optional<DWORD>(0), run(L"stop"));
    EXPECT_FALSE(devlink::sim::RunSimulatorCommand("status")) << "still running after stop";
    EXPECT_EQ(std::optional<DWORD>(1), run(L"stop"));
}

} // namespace
