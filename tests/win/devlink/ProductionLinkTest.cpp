// The shipped library without a keyboard, a program that imports it, the
// KeyboardSim command line, and the keyboard driver's own answers.
#include "LinkFixture.h"

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

constexpr DWORD IOCTL_DEVICELINK = 0x000B0008;
constexpr ULONG_PTR STATUS_CANCELLED_995 = 0xC0000120;
constexpr ULONG_PTR STATUS_DEVICE_NOT_CONNECTED_1167 = 0xC000009D;

// One command packet on a synchronous handle: 0 or its Win32 error.
DWORD Request(HANDLE device, BYTE command) {
    BYTE request[4] = {254, 0, 0, command};
    BYTE reply[400] = {};
    DWORD returned = 0;
    const BOOL succeeded = DeviceIoControl(device, IOCTL_DEVICELINK, request, sizeof request, reply,
                                           sizeof reply, &returned, nullptr);
    return succeeded ? 0 : GetLastError();
}

DWORD Poll(HANDLE device) {
    return Request(device, 33);
}

class DevlinkKeyboardDriver : public KeyboardLinkTest {};

// The driver completes a faulted request with a status that the system maps
// back to the Win32 error asked for; a handle from before an unplug stays
// dead after the keyboard is plugged in again.
TEST_F(DevlinkKeyboardDriver, FaultsAndUnplugReachTheCallerAsTheirWin32Errors) {
    const qx::unique_hfile device = OpenKeyboardInterface();
    ASSERT_TRUE(device) << "no keyboard interface";
    for (const DWORD error : {121ul, 1167ul, 31ul, 87ul, 1ul, 1460ul}) {
        SCOPED_TRACE(error);
        m_keyboard.Must("fault " + std::to_string(error) + " 1");
        EXPECT_EQ(error, Poll(device.get()));
    }
    EXPECT_EQ(0u, Poll(device.get()));

    const std::string path = simkeyboard::KeyboardInterfacePath().value_or("");
    m_keyboard.Must("unplug");
    EXPECT_FALSE(OpenKeyboardInterface()) << "the interface stayed after the unplug";
    EXPECT_FALSE(OpenKeyboardInterface(FILE_ATTRIBUTE_NORMAL, path)) << "opened while removed";
    EXPECT_EQ(1167u, Poll(device.get()));
    m_keyboard.Must("plug");
    EXPECT_EQ(1167u, Poll(device.get())) << "a handle from before the unplug came back";
    const qx::unique_hfile reopened = OpenKeyboardInterface();
    ASSERT_TRUE(reopened);
    EXPECT_EQ(0u, Poll(reopened.get()));
}

// As the platform serves a synchronous handle: a command from a second thread
// waits behind the poll the driver holds and is answered only after it.
TEST_F(DevlinkKeyboardDriver, TwoThreadsOnOneHandleAreServedOneAtATime) {
    const qx::unique_hfile device = OpenKeyboardInterface();
    ASSERT_TRUE(device) << "no keyboard interface";
    m_keyboard.Must("delay 500 33");
    struct Poller {
        HANDLE device;
        DWORD error = ~0u;
        static DWORD WINAPI Run(void* self) {
            static_cast<Poller*>(self)->error = Poll(static_cast<Poller*>(self)->device);
            return 0;
        }
    } poller{device.get()};
    qx::unique_handle thread(CreateThread(nullptr, 0, Poller::Run, &poller, 0, nullptr));
    ASSERT_TRUE(qxtest::WaitWithoutMessages([&] { return StatusField("in-flight") == 1; }, 5000));

    EXPECT_EQ(0u, Request(device.get(), 36));
    EXPECT_EQ(0, StatusField("in-flight")) << "the command was answered while the poll was held";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 5000));
    EXPECT_EQ(0u, poller.error);
    const std::vector<LoggedRequest> requests = Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(33, requests[0].Command());
    EXPECT_EQ(36, requests[1].Command());
}

// A held request ends at once, with error 995 when it is cancelled or its
// handle is closed, with 1167 when the keyboard is unplugged. The key event
// it took goes back to the queue, except with the unplugged keyboard's buffer.
TEST_F(DevlinkKeyboardDriver, HeldRequestEndsWhenCancelledClosedOrUnplugged) {
    struct Ending {
        const char* label;
        std::function<void(qx::unique_hfile&)> end;
        ULONG_PTR status;
        int queuedAfter;
    } endings[] = {
        {"cancelled", [](qx::unique_hfile& device) { EXPECT_TRUE(CancelIo(device.get())); },
         STATUS_CANCELLED_995, 1},
        {"closed", [](qx::unique_hfile& device) { device.reset(); }, STATUS_CANCELLED_995, 1},
        {"unplugged", [&](qx::unique_hfile&) { m_keyboard.Must("unplug"); },
         STATUS_DEVICE_NOT_CONNECTED_1167, 0},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.label);
        ASSERT_TRUE(m_keyboard.Reset());
        qx::unique_hfile device = OpenKeyboardInterface(FILE_FLAG_OVERLAPPED);
        ASSERT_TRUE(device) << "no keyboard interface";
        m_keyboard.Must("delay 60000 33");
        m_keyboard.Must("press 5 1");
        qx::unique_handle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED overlapped = {};
        overlapped.hEvent = ended.get();
        BYTE request[4] = {254, 0, 0, 33};
        BYTE reply[400] = {};
        ASSERT_FALSE(DeviceIoControl(device.get(), IOCTL_DEVICELINK, request, sizeof request, reply,
                                     sizeof reply, nullptr, &overlapped));
        ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
        EXPECT_TRUE(
            qxtest::WaitWithoutMessages([&] { return StatusField("in-flight") == 1; }, 5000));

        ending.end(device);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ended.get(), 1000)) << "still held";
        // The buffers stay until the request has ended, however late.
        WaitForSingleObject(ended.get(), 65000);
        EXPECT_EQ(ending.status, overlapped.Internal);
        EXPECT_EQ(0, StatusField("in-flight"));
        EXPECT_EQ(ending.queuedAfter, StatusField("queued")) << "the key event it took";
    }
}

// A request built in kernel mode comes without a file object, so without a
// handle's record: refused, and the driver goes on answering.
TEST_F(DevlinkKeyboardDriver, RequestWithoutAFileObjectIsRefused) {
    constexpr long STATUS_INVALID_DEVICE_REQUEST_1 = static_cast<long>(0xC0000010);
    EXPECT_EQ(std::optional<long>(STATUS_INVALID_DEVICE_REQUEST_1),
              simkeyboard::RequestWithoutFileObject());
    const qx::unique_hfile device = OpenKeyboardInterface();
    ASSERT_TRUE(device) << "no keyboard interface";
    EXPECT_EQ(0u, Poll(device.get()));
}

// Plug and unplug racing each other from two threads leave the interface as
// the last of them says, and the driver answering.
TEST_F(DevlinkKeyboardDriver, PlugAndUnplugRacingEndAsTheLastSays) {
    struct Switcher {
        bool unplugFirst;
        static DWORD WINAPI Run(void* self) {
            const bool unplugFirst = static_cast<Switcher*>(self)->unplugFirst;
            for (int i = 0; i < 500; ++i)
                simkeyboard::Run((i % 2 == 0) == unplugFirst ? "unplug" : "plug");
            return 0;
        }
    } switchers[] = {{true}, {false}};
    qx::unique_handle threads[] = {
        qx::unique_handle(CreateThread(nullptr, 0, Switcher::Run, &switchers[0], 0, nullptr)),
        qx::unique_handle(CreateThread(nullptr, 0, Switcher::Run, &switchers[1], 0, nullptr)),
    };
    for (const qx::unique_handle& thread : threads)
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 120000));

    m_keyboard.Must("unplug");
    EXPECT_FALSE(OpenKeyboardInterface()) << "an interface stayed after the unplug";
    ASSERT_TRUE(m_keyboard.Reset()) << "the driver stopped answering";
    const qx::unique_hfile device = OpenKeyboardInterface();
    ASSERT_TRUE(device) << "no interface after the reset";
    EXPECT_EQ(0u, Poll(device.get()));
}

} // namespace
