// The session-switch library through its exports, called by LqnmodClient on
// its own thread as the resident program calls them. Wine plays the platform:
// the Windows version per program, and session changes sent to the monitor
// window by hand. Stand-ins for Wtsapi32.dll show what Wine's cannot.
#include "tests/win/session/ClientProtocol.h"
#include "support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qxtest;
using namespace lqnclient;

namespace {

const wchar_t kClientExe[] = L"LqnmodClient.exe";
const wchar_t kMonitorTitle[] = L"MSG_MONITOR";
constexpr UINT kSessionChange = 0x02B1;
constexpr DWORD kWaitMs = 20000;

const MsgParams kResidentMessages = {8625, 1, 1, 8625, 0, 0};

// Which Wtsapi32.dll the client gets.
enum class SessionLibrary {
    Wine,
    Missing,
    Recording,
    RefusingUnregistration,
    WithoutRegisterFunction,
    WithoutUnregisterFunction,
};

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring LogPathForThisTest() {
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::wstring path = std::wstring(folder) + L"lqnmod-" + Wide(name) + L".log";
    DeleteFileW(path.c_str());
    return path;
}

using Lines = std::vector<std::string>;

std::string WindowNumber(HWND window) {
    return std::to_string(reinterpret_cast<ULONG_PTR>(window));
}

// Top-level windows of the process captioned MSG_MONITOR, hidden ones included.
std::vector<HWND> MonitorWindowsOf(DWORD processId) {
    std::vector<HWND> found;
    for (HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[64] = L"";
        // Top-level captions are read without a message, so a busy client does not stall this.
        GetWindowTextW(window, title, std::size(title));
        if (owner == processId && std::wstring(title) == kMonitorTitle)
            found.push_back(window);
    }
    return found;
}

// Wine reads WINEDLLOVERRIDES from the Unix environment a program starts in;
// a locale entry makes StartProcess start the client through that path.
Environment WithDllOverride(const std::wstring& override) {
    wchar_t current[512] = L"";
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", current, std::size(current));
    Environment environment = EnglishUserInterface();
    const std::wstring separator = current[0] ? L";" : L"";
    environment.push_back({L"WINEDLLOVERRIDES", current + separator + L"wtsapi32=" + override});
    return environment;
}

const wchar_t* StandInFolder(SessionLibrary library) {
    switch (library) {
    case SessionLibrary::Recording:
    case SessionLibrary::RefusingUnregistration:
        return L"wts-recording";
    case SessionLibrary::WithoutRegisterFunction:
        return L"wts-no-register";
    case SessionLibrary::WithoutUnregisterFunction:
        return L"wts-no-unregister";
    default:
        return nullptr;
    }
}

// One running LqnmodClient, which logs what reaches its target window.
class Client {
  public:
    // extra: more environment for the stand-in session library.
    Client(const wchar_t* windowsVersion, SessionLibrary library = SessionLibrary::Wine,
           const Environment& extra = {})
        : m_log(LogPathForThisTest()) {
        SetProgramWindowsVersion(kClientExe, windowsVersion);
        std::wstring arguments = Quoted(m_log);
        Environment environment;
        if (library == SessionLibrary::Missing)
            environment = WithDllOverride(L"d");
        if (const wchar_t* folder = StandInFolder(library)) {
            arguments += L" " + Quoted(TestBinPath(folder));
            environment = WithDllOverride(L"n");
        }
        if (library == SessionLibrary::RefusingUnregistration)
            environment.push_back({kFakeRefusedUnregistrationsVariable, L"1000"});
        environment.insert(environment.end(), extra.begin(), extra.end());
        // The client finds Lqnmod.dll in the folder it starts in, beside the deliverables.
        m_process =
            StartProcess(TestBinPath(kClientExe), arguments, environment, WindowsPath(QX_BIN_DIR));
        if (m_process)
            m_control = WaitForProcessWindow(m_process.Id(), kControlTitle, kWaitMs);
        if (m_process)
            m_target = WaitForProcessWindow(m_process.Id(), kTargetTitle, kWaitMs);
    }

    bool Started() const { return m_control && m_target; }
    Process& process() { return m_process; }
    HWND control() const { return m_control; }
    HWND target() const { return m_target; }

    // A command's result; -1 when the client did not answer in time.
    LRESULT Call(UINT command, WPARAM wParam = 0, DWORD timeoutMs = kWaitMs) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(m_control, command, wParam, 0, SMTO_NORMAL, timeoutMs, &result))
            return -1;
        return static_cast<LRESULT>(result);
    }
    LRESULT Init() { return Call(CMD_INIT, INIT_TARGET_WINDOW); }
    LRESULT InitWithNullWindow() { return Call(CMD_INIT, INIT_NULL_WINDOW); }
    LRESULT Close() { return Call(CMD_CLOSE); }
    LRESULT SessionLibraryLoaded() { return Call(CMD_SESSION_LIBRARY_LOADED); }
    LRESULT SetMsgParams(MsgParams params) {
        COPYDATASTRUCT data = {kSetMsgParams, sizeof params, &params};
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(m_control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                 SMTO_NORMAL, kWaitMs, &result))
            return -1;
        return static_cast<LRESULT>(result);
    }

    std::vector<HWND> Monitors() { return MonitorWindowsOf(m_process.Id()); }
    HWND OnlyMonitor() {
        const std::vector<HWND> monitors = Monitors();
        return monitors.size() == 1 ? monitors.front() : nullptr;
    }

    // The opening most tests share: the client started, LoquenInit called with
    // its target window, and the one monitor window that made. Null, with the
    // failure reported, when any step fails.
    HWND InitWithMonitor() {
        if (!Started()) {
            ADD_FAILURE() << "the client did not start";
            return nullptr;
        }
        if (Init() != 1) {
            ADD_FAILURE() << "LoquenInit failed";
            return nullptr;
        }
        HWND monitor = OnlyMonitor();
        if (!monitor)
            ADD_FAILURE() << "not exactly one monitor window";
        return monitor;
    }

    Lines Log() const { return EndedLines(ReadSharedFile(m_log)); }
    // Lines of the log that start with the given word.
    Lines Log(const std::string& kind) const {
        Lines lines;
        for (const std::string& line : Log()) {
            if (line.rfind(kind + " ", 0) == 0)
                lines.push_back(line);
        }
        return lines;
    }

  private:
    std::wstring m_log;
    Process m_process;
    HWND m_control = nullptr;
    HWND m_target = nullptr;
};

// Sends a session-change event as the platform would, and returns the messages
// that reached the client before the send returned.
Lines SendSessionChange(Client& client, HWND monitor, WPARAM eventCode) {
    const std::size_t before = client.Log("message").size();
    DWORD_PTR result = 0;
    EXPECT_TRUE(
        SendMessageTimeoutW(monitor, kSessionChange, eventCode, 1, SMTO_NORMAL, kWaitMs, &result))
        << "the monitor window did not take the session change";
    Lines messages = client.Log("message");
    messages.erase(messages.begin(), messages.begin() + before);
    return messages;
}

// ---------------------------------------------------------------------------

struct PlatformCase {
    const wchar_t* version;
    LRESULT code;
};

TEST(LqnmodPlatforms, OnlyWindowsXPGetsAMonitorAndANullWindowIsAlwaysRefused) {
    const PlatformCase platforms[] = {
        {L"win2k", 5}, {L"win98", 3}, {L"win2003", 0}, {L"win7", 0}, {L"winxp", 6}};
    for (const PlatformCase& platform : platforms) {
        SCOPED_TRACE(platform.version);
        Client client(platform.version);
        ASSERT_TRUE(client.Started());
        EXPECT_EQ(platform.code, client.Call(CMD_PLATFORM));

        EXPECT_EQ(0, client.InitWithNullWindow());
        EXPECT_TRUE(client.Monitors().empty());
        if (platform.code == 6)
            continue;
        EXPECT_EQ(1, client.Init());
        EXPECT_EQ(0, client.SetMsgParams(kResidentMessages));
        EXPECT_TRUE(client.Monitors().empty());
        EXPECT_EQ(0, client.SessionLibraryLoaded());
        EXPECT_EQ(0, client.Close());
        EXPECT_TRUE(client.process().IsRunning());
        EXPECT_EQ(Lines{}, client.Log());
    }
}

// Reading the dialog template as the library carries it.
const WORD* SkipNameOrOrdinal(const WORD* p, std::wstring* name = nullptr) {
    if (*p == 0xFFFF)
        return p + 2;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(p);
    if (name)
        *name = text;
    return p + wcslen(text) + 1;
}

const WORD* AlignToDword(const WORD* p) {
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR{3});
}

TEST(LqnmodMonitor, TemplateIsMsgMonitorWithOneEmptyStatic) {
    const qx::unique_hmodule library(
        LoadLibraryExW(BinPath(L"Lqnmod.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(library);
    HRSRC resource = FindResourceW(library.get(), MAKEINTRESOURCEW(1000), MAKEINTRESOURCEW(5));
    ASSERT_NE(nullptr, resource) << "no dialog template 1000";
    const auto* dialog =
        static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(library.get(), resource)));
    ASSERT_NE(nullptr, dialog);

    EXPECT_EQ(DWORD(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
              dialog->style & ~DWORD(DS_3DLOOK));
    EXPECT_EQ(245, dialog->cx);
    EXPECT_EQ(113, dialog->cy);
    ASSERT_EQ(1, dialog->cdit);
    const WORD* p = SkipNameOrOrdinal(reinterpret_cast<const WORD*>(dialog + 1)); // menu
    p = SkipNameOrOrdinal(p);                                                     // class
    std::wstring caption, font;
    p = SkipNameOrOrdinal(p, &caption);
    const WORD pointSize = *p++;
    p = SkipNameOrOrdinal(p, &font);
    EXPECT_EQ(L"MSG_MONITOR", caption);
    EXPECT_EQ(8, pointSize);
    EXPECT_EQ(L"MS Sans Serif", font);

    const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(AlignToDword(p));
    EXPECT_EQ(1000, item->id);
    EXPECT_EQ(7, item->x);
    EXPECT_EQ(7, item->y);
    EXPECT_EQ(231, item->cx);
    EXPECT_EQ(99, item->cy);
    const WORD* itemClass = reinterpret_cast<const WORD*>(item + 1);
    EXPECT_EQ(0xFFFF, itemClass[0]);
    EXPECT_EQ(0x0082, itemClass[1]) << "a static control";
    std::wstring text = L"?";
    SkipNameOrOrdinal(itemClass + 2, &text);
    EXPECT_EQ(L"", text);
}

struct ForwardingCase {
    const char* name;
    const MsgParams* params; // null: the client never calls LoquenSetMsgParams
    std::string disconnected;
    std::string connected;
};

TEST(LqnmodForwarding, ConsoleDisconnectAndConnectReachTheClientAtOnceAndNothingElseDoes) {
    const MsgParams extremes = {0x8001, 0xFFFFFFFF, -5, 0xBFFF, 0, 0x7FFFFFFF};
    const ForwardingCase cases[] = {
        {"default messages", nullptr, "message 536 0 0", "message 536 7 0"},
        {"resident program's messages", &kResidentMessages, "message 8625 1 1", "message 8625 0 0"},
        {"widest values", &extremes, "message 32769 4294967295 -5", "message 49151 0 2147483647"},
    };
    Client client(L"winxp");
    HWND monitor = client.InitWithMonitor();
    ASSERT_NE(nullptr, monitor);
    EXPECT_FALSE(IsWindowVisible(monitor));
    // Forwarded within the notification: the monitor lives on the thread that
    // called LoquenInit, which also owns the client's window.
    EXPECT_EQ(GetWindowThreadProcessId(client.target(), nullptr),
              GetWindowThreadProcessId(monitor, nullptr));

    for (const ForwardingCase& forwarding : cases) {
        SCOPED_TRACE(forwarding.name);
        if (forwarding.params) {
            ASSERT_EQ(1, client.SetMsgParams(*forwarding.params));
        }
        // 1 and 2 console connect and disconnect; 3 to 9 remote sessions,
        // logon, logoff, lock, unlock and remote control.
        for (WPARAM code = 1; code <= 9; ++code) {
            SCOPED_TRACE("event " + std::to_string(code));
            const Lines sent = SendSessionChange(client, monitor, code);
            if (code == 2)
                EXPECT_EQ(Lines{forwarding.disconnected}, sent);
            else if (code == 1)
                EXPECT_EQ(Lines{forwarding.connected}, sent);
            else
                EXPECT_EQ(Lines{}, sent);
        }
    }
}

TEST(LqnmodLifecycle, SetMsgParamsBeforeInitIsRefusedAndStoresNothing) {
    Client client(L"winxp");
    ASSERT_TRUE(client.Started());
    EXPECT_EQ(0, client.SetMsgParams(kResidentMessages));
    ASSERT_EQ(1, client.Init());
    HWND monitor = client.OnlyMonitor();
    ASSERT_NE(nullptr, monitor);
    EXPECT_EQ(Lines{"message 536 0 0"}, SendSessionChange(client, monitor, 2));
}

TEST(LqnmodLifecycle, SecondInitReplacesTheMonitorAndStartsFromTheDefaultMessages) {
    Client client(L"winxp", SessionLibrary::Recording);
    HWND first = client.InitWithMonitor();
    ASSERT_NE(nullptr, first);
    ASSERT_EQ(1, client.SetMsgParams(kResidentMessages));

    ASSERT_EQ(1, client.Init());
    HWND second = client.OnlyMonitor();
    ASSERT_NE(nullptr, second) << "exactly one monitor window after the second LoquenInit";
    EXPECT_NE(first, second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ((Lines{"register " + WindowNumber(first) + " 0",
                     "unregister " + WindowNumber(first) + " live",
                     "register " + WindowNumber(second) + " 0"}),
              client.Log());
    EXPECT_EQ(Lines{"message 536 0 0"}, SendSessionChange(client, second, 2));
}

TEST(LqnmodLifecycle, CloseUnregistersReleasesTheLibraryThenDestroysTheMonitor) {
    Client client(L"winxp", SessionLibrary::Recording);
    HWND monitor = client.InitWithMonitor();
    ASSERT_NE(nullptr, monitor);
    ASSERT_EQ(1, client.SetMsgParams(kResidentMessages));
    EXPECT_EQ(1, client.SessionLibraryLoaded());

    EXPECT_EQ(0, client.Close());
    EXPECT_FALSE(IsWindow(monitor));
    EXPECT_TRUE(client.Monitors().empty());
    EXPECT_EQ(0, client.SessionLibraryLoaded());
    EXPECT_EQ((Lines{"register " + WindowNumber(monitor) + " 0",
                     "unregister " + WindowNumber(monitor) + " live"}),
              client.Log())
        << "registration removed while the window existed, and nothing sent to the client";
    EXPECT_EQ(0, client.SetMsgParams(kResidentMessages));
    EXPECT_EQ(0, client.Close());
    EXPECT_EQ(2u, client.Log().size());
}

TEST(LqnmodLifecycle, CloseRequestLetsTheLibraryGoAndLeavesTheWindowHidden) {
    Client client(L"winxp", SessionLibrary::Recording);
    HWND monitor = client.InitWithMonitor();
    ASSERT_NE(nullptr, monitor);

    EXPECT_TRUE(SendMessageTimeoutW(monitor, WM_CLOSE, 0, 0, SMTO_NORMAL, kWaitMs, nullptr));
    EXPECT_EQ(0, client.SessionLibraryLoaded());
    EXPECT_EQ(Lines{"unregister " + WindowNumber(monitor) + " live"}, client.Log("unregister"));
    EXPECT_TRUE(IsWindow(monitor));
    EXPECT_FALSE(IsWindowVisible(monitor));
    EXPECT_EQ(1, client.SetMsgParams(kResidentMessages));

    // Already unregistered: LoquenClose has nothing more to undo.
    EXPECT_EQ(0, client.Close());
    EXPECT_FALSE(IsWindow(monitor));
    EXPECT_EQ(1u, client.Log("unregister").size());
}

TEST(LqnmodLifecycle, ClientEndingWithoutCloseEndsCleanlyAndNothingIsUndoneAtUnload) {
    Client client(L"winxp", SessionLibrary::Recording);
    HWND monitor = client.InitWithMonitor();
    ASSERT_NE(nullptr, monitor);
    PostMessageW(client.control(), WM_CLOSE, 0, 0);
    const auto exitCode = client.process().WaitForExit(kWaitMs);
    ASSERT_TRUE(exitCode.has_value()) << "the client did not end";
    EXPECT_EQ(0u, *exitCode);
    EXPECT_EQ(Lines{"register " + WindowNumber(monitor) + " 0"}, client.Log())
        << "the session library was called while Lqnmod.dll was unloaded";
}

struct ReentryCase {
    Reentry reentry;
    std::string logged;
};

// The client's handler of the forwarded message closes or replaces the monitor
// whose notification is still on the stack, then reuses freed memory.
TEST(LqnmodReentry, CloseOrInitFromTheForwardedMessageLeaveTheFreedMonitorAlone) {
    const ReentryCase cases[] = {{REENTER_CLOSE, "reentered close"},
                                 {REENTER_INIT, "reentered init 1"}};
    for (const ReentryCase& reentry : cases) {
        SCOPED_TRACE(reentry.logged);
        Client client(L"winxp", SessionLibrary::Recording);
        HWND monitor = client.InitWithMonitor();
        ASSERT_NE(nullptr, monitor);
        ASSERT_EQ(1, client.SetMsgParams(kResidentMessages));
        ASSERT_EQ(0, client.Call(CMD_REENTER, reentry.reentry));

        EXPECT_EQ(Lines{"message 8625 1 1"}, SendSessionChange(client, monitor, 2));
        EXPECT_TRUE(client.process().IsRunning());
        EXPECT_EQ(1, client.Call(CMD_CANARY_INTACT)) << "the freed monitor was written to";
        EXPECT_EQ(Lines{reentry.logged}, client.Log("reentered"));
        EXPECT_FALSE(IsWindow(monitor));
        EXPECT_EQ(Lines{"unregister " + WindowNumber(monitor) + " live"}, client.Log("unregister"));
        if (reentry.reentry == REENTER_CLOSE) {
            EXPECT_TRUE(client.Monitors().empty());
            EXPECT_EQ(0, client.SetMsgParams(kResidentMessages));
        } else {
            HWND replacement = client.OnlyMonitor();
            ASSERT_NE(nullptr, replacement);
            EXPECT_EQ(Lines{"message 536 7 0"}, SendSessionChange(client, replacement, 1));
        }
        EXPECT_EQ(0, client.Close());
    }
}

// ---------------------------------------------------------------------------

void ExpectFatalError(const SeenBox& box, const std::wstring& text) {
    EXPECT_EQ(L"Fatal Error", box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.icon);
}

TEST(LqnmodFailures, RefusedUnregistrationIsTriedThreeTimesThenTheLibraryIsLetGo) {
    const std::wstring refused = L"Unable to register with WTSUnRegisterSessionNotification.";
    for (const bool byLoquenClose : {false, true}) {
        SCOPED_TRACE(byLoquenClose ? "LoquenClose" : "close request");
        MessageBoxWatcher watcher(L"Fatal Error", IDOK);
        Client client(L"winxp", SessionLibrary::RefusingUnregistration);
        HWND monitor = client.InitWithMonitor();
        ASSERT_NE(nullptr, monitor);

        if (byLoquenClose) {
            EXPECT_EQ(0, client.Close());
        } else {
            EXPECT_TRUE(SendMessageTimeoutW(monitor, WM_CLOSE, 0, 0, SMTO_NORMAL, kWaitMs, nullptr))
                << "the close request did not end";
        }
        ASSERT_TRUE(watcher.WaitForBoxes(3, kWaitMs));
        const std::vector<SeenBox> boxes = watcher.Boxes();
        ASSERT_EQ(3u, boxes.size());
        for (const SeenBox& box : boxes)
            ExpectFatalError(box, refused);
        const std::string line = "unregister " + WindowNumber(monitor) + " live refused";
        EXPECT_EQ((Lines{line, line, line}), client.Log("unregister"));
        EXPECT_EQ(0, client.SessionLibraryLoaded());
        EXPECT_EQ(!byLoquenClose, IsWindow(monitor) != FALSE);

        EXPECT_EQ(0, client.Close());
        EXPECT_FALSE(IsWindow(monitor));
        EXPECT_EQ(3u, watcher.Boxes().size());
        EXPECT_EQ(3u, client.Log("unregister").size());
    }
}

// After a refused unregistration, the loop of its box serves a second close
// request or the client's LoquenClose, which takes the registration back and
// lets the library go: the first request stops there.
TEST(LqnmodFailures, CloseServedDuringTheUnregistrationBoxEndsTheFirstRequest) {
    for (const bool byLoquenClose : {false, true}) {
        SCOPED_TRACE(byLoquenClose ? "LoquenClose" : "second close request");
        MessageBoxWatcher watcher(L"Fatal Error", IDOK);
        Client client(L"winxp", SessionLibrary::Recording,
                      {{kFakeRefusedUnregistrationsVariable, L"1"}});
        HWND monitor = client.InitWithMonitor();
        ASSERT_NE(nullptr, monitor);

        PostMessageW(monitor, WM_CLOSE, 0, 0);
        if (byLoquenClose)
            PostMessageW(client.control(), CMD_CLOSE, 0, 0);
        else
            PostMessageW(monitor, WM_CLOSE, 0, 0);
        ASSERT_TRUE(watcher.WaitForBoxes(1, kWaitMs));
        ASSERT_TRUE(WaitUntil([] { return !FindWindowW(L"#32770", L"Fatal Error"); }, kWaitMs));
        EXPECT_EQ(0, client.SessionLibraryLoaded()) << "-1: the client ended";
        EXPECT_EQ(0, client.Close());
        EXPECT_TRUE(client.process().IsRunning());
        EXPECT_FALSE(IsWindow(monitor));
        const std::string line = "unregister " + WindowNumber(monitor) + " live";
        EXPECT_EQ((Lines{line + " refused", line}), client.Log("unregister"));
        EXPECT_EQ(1u, watcher.Boxes().size());
    }
}

struct MissingFunctionCase {
    SessionLibrary library;
    const wchar_t* text;
};

TEST(LqnmodFailures, MissingFunctionIsReportedWithOneFatalErrorBox) {
    const MissingFunctionCase cases[] = {
        {SessionLibrary::WithoutRegisterFunction,
         L"Unable to get address of function, WTSRegisterSessionNotification.(127)"},
        {SessionLibrary::WithoutUnregisterFunction,
         L"Unable to get address of function, WTSUnRegisterSessionNotification."},
    };
    for (const MissingFunctionCase& missing : cases) {
        SCOPED_TRACE(std::string(missing.text, missing.text + wcslen(missing.text)));
        MessageBoxWatcher watcher(L"Fatal Error", IDOK);
        Client client(L"winxp", missing.library);
        ASSERT_TRUE(client.Started());
        // LoquenInit now spends its minute of attempts; the client is ended before.
        PostMessageW(client.control(), CMD_INIT, INIT_TARGET_WINDOW, 0);
        ASSERT_TRUE(watcher.WaitForBoxes(1, kWaitMs));
        ExpectFatalError(watcher.Boxes().front(), missing.text);
    }
}

TEST(LqnmodFailures, MonitorWindowThatCannotBeCreatedFailsAtOnce) {
    MessageBoxWatcher watcher(L"Fatal Error", IDOK);
    Client client(L"winxp", SessionLibrary::Recording);
    ASSERT_TRUE(client.Started());

    const DWORD start = GetTickCount();
    EXPECT_EQ(0, client.Call(CMD_INIT, INIT_REFUSING_WINDOWS));
    EXPECT_LT(GetTickCount() - start, 5000u) << "no registration attempts without a window";
    EXPECT_TRUE(client.Monitors().empty());
    EXPECT_EQ(0, client.SetMsgParams(kResidentMessages));
    EXPECT_EQ(Lines{}, client.Log());
    EXPECT_TRUE(watcher.Boxes().empty());
}

TEST(LqnmodFailures, RegistrationRefusedThreeTimesIsTakenAtTheFourthAttemptWithoutABox) {
    MessageBoxWatcher watcher(L"Fatal Error", IDOK);
    Client client(L"winxp", SessionLibrary::Recording, {{kFakeRefusedRegistrationsVariable, L"3"}});
    ASSERT_TRUE(client.Started());

    const DWORD start = GetTickCount();
    EXPECT_EQ(1, client.Init());
    EXPECT_GE(GetTickCount() - start, 2900u) << "1000 ms after each refusal";
    HWND monitor = client.OnlyMonitor();
    ASSERT_NE(nullptr, monitor);
    const std::string refused = "register " + WindowNumber(monitor) + " 0 refused";
    EXPECT_EQ((Lines{refused, refused, refused, "register " + WindowNumber(monitor) + " 0"}),
              client.Log());
    EXPECT_EQ(Lines{"message 536 0 0"}, SendSessionChange(client, monitor, 2));
    EXPECT_TRUE(watcher.Boxes().empty());
}

struct NeverRegisteredCase {
    const char* what;
    SessionLibrary library;
    Environment environment;
    std::vector<std::wstring> boxes;
    std::size_t registrationCalls;
};

TEST(LqnmodFailures, SlowRegistrationNeverTakenGivesUpAfterSixtyAttempts) {
    const NeverRegisteredCase cases[] = {
        {"Wtsapi32.dll missing",
         SessionLibrary::Missing,
         {},
         {L"Unable to load library, Wtsapi32.dll."},
         0},
        // A refusal carries no message of its own.
        {"every registration refused",
         SessionLibrary::Recording,
         {{kFakeRefusedRegistrationsVariable, L"1000"}},
         {},
         60},
    };
    for (const NeverRegisteredCase& never : cases) {
        SCOPED_TRACE(never.what);
        MessageBoxWatcher watcher(L"Fatal Error", IDOK);
        Client client(L"winxp", never.library, never.environment);
        ASSERT_TRUE(client.Started());

        const DWORD start = GetTickCount();
        EXPECT_EQ(0, client.Call(CMD_INIT, INIT_TARGET_WINDOW, 180000));
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_GE(elapsed, 59000u) << "60 attempts, 1000 ms apart";
        EXPECT_LT(elapsed, 120000u);

        const std::vector<SeenBox> boxes = watcher.Boxes();
        ASSERT_EQ(never.boxes.size(), boxes.size());
        for (std::size_t i = 0; i < boxes.size(); ++i)
            ExpectFatalError(boxes[i], never.boxes[i]);
        EXPECT_EQ(never.registrationCalls, client.Log("register").size());
        EXPECT_EQ(Lines{}, client.Log("unregister"));
        HWND monitor = client.OnlyMonitor();
        ASSERT_NE(nullptr, monitor) << "the monitor stays after the failed attempts";
        EXPECT_EQ(1, client.SetMsgParams(kResidentMessages));
        EXPECT_EQ(Lines{}, SendSessionChange(client, monitor, 2)) << "no client window was set";
        EXPECT_EQ(0, client.Close());
        EXPECT_FALSE(IsWindow(monitor));
    }
}

} // namespace
