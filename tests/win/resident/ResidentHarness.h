// What the resident program's end-to-end tests share: a folder with a copy
// of the system per test, the simulated keyboard driver's command line, the running
// resident program's windows, the tray, and the processes it starts.
#pragma once

#include "support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace residenttest {

using qxtest::Environment;
using qxtest::Process;

constexpr wchar_t INSTANCE_TITLE[] = L"C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3";
constexpr wchar_t PREFERENCE_KEY[] = L"Software\\Morvel\\QX-310\\Preference";
constexpr wchar_t USER_KEYS_KEY[] = L"Software\\Morvel\\QX-310\\User Keys";
constexpr wchar_t PRODUCT_KEY[] = L"Software\\Morvel";
constexpr UINT WM_DEVICEKEY = 4485;
constexpr UINT WM_TRAYNOTIFY = 2023;
constexpr UINT WM_SESSIONSWITCH = 8625;
constexpr UINT TRAY_ICON_ID = 102;

// A fresh folder holding Tarvolt.exe, the shipped libraries, the programs it
// starts and the volume-control stand-in, as an installation would lay them out.
class RunFolder {
  public:
    explicit RunFolder(const std::string& name);
    std::wstring Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    void Remove(const std::wstring& name) const;

  private:
    void Copy(const std::wstring& source, const std::wstring& name) const;
    std::wstring m_path;
};

struct CommandResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs a console program and collects what it prints, within timeoutMs.
CommandResult RunConsoleProgram(const std::wstring& program, const std::wstring& arguments,
                                DWORD timeoutMs);

// The simulated keyboard's driver, installed once for the Wine session, for
// the length of one test or program: reset when taken and when let go, so
// nothing queued, faulted or unplugged outlives its owner.
class KeyboardServer {
  public:
    KeyboardServer() = default;
    KeyboardServer(const KeyboardServer&) = delete;
    KeyboardServer& operator=(const KeyboardServer&) = delete;
    ~KeyboardServer() { Stop(); }
    // False when the driver is not installed.
    bool Start();
    void Stop();
};

// The simulated keyboard, driven through KeyboardSim's command line as a
// person presses keys.
class Keyboard {
  public:
    static CommandResult Run(const std::wstring& arguments);
    static void Press(unsigned code, unsigned state);
    static void Unplug();
    static void Plug();
    static std::string Log();
    static void ClearLog();
    // Poll requests (command 33) in a packet log text.
    static std::size_t PollCount(const std::string& log);
    // Waits until every key event queued so far has been fetched and its
    // handler has returned: the polling thread sends each event
    // synchronously, so a second poll after the log was cleared comes only
    // after the handler of any event fetched before it.
    static bool WaitForHandled(DWORD timeoutMs = 10000);
};

// A started Tarvolt.exe with its two hidden windows.
struct Resident {
    Process process;
    HWND marker = nullptr;
    HWND keyService = nullptr;
};

Resident StartResident(const RunFolder& folder,
                       const Environment& language = qxtest::EnglishUserInterface());
// Sends the marker the stop request and waits for the process to end.
bool StopResident(Resident& resident, DWORD timeoutMs = 15000);

// The hidden key-service window of a process: its dialog without a title.
HWND FindKeyServiceWindow(DWORD processId);

// The icons in the notification area, left to right.
std::vector<HWND> TrayIconWindows();
HWND TrayWindow();
// Whether the shell holds an icon for this owner window and id.
bool TrayIconExists(HWND owner, UINT id);

// The whole command line a running process was started with.
std::wstring ProcessCommandLine(DWORD processId);
// Running processes of that executable whose image lies in the folder.
std::vector<DWORD> ProcessesIn(const RunFolder& folder, const std::wstring& exeName);
// Ends every process started from the folder.
void EndProcessesIn(const RunFolder& folder);

// Visible top-level windows of a process.
std::vector<HWND> VisibleWindowsOf(DWORD processId);

// Lines of a text file (fixture logs); empty when it does not exist.
std::vector<std::string> ReadLines(const std::wstring& path);

// Moves the mouse to the centre of a window and clicks it through the input
// system, as a person would (button: MOUSEEVENTF_LEFTDOWN or ..._RIGHTDOWN).
void MoveMouseTo(POINT point);
void ClickAt(POINT point, DWORD downFlag, int clicks = 1);
POINT CentreOf(HWND window);

// Each test starts from a user without any of the system's settings, a
// plugged-in keyboard with nothing queued, and its own copy of the system.
class ResidentTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // The copy of the system for this test, made on first use.
    const RunFolder& Folder();
    // Parameters of the next on-screen display started from the folder.
    std::wstring WaitForNoticeParameters(DWORD timeoutMs = 10000);
    // The display processes started from the folder so far, ended.
    void EndNotices();

  private:
    KeyboardServer m_keyboard;
    std::unique_ptr<RunFolder> m_folder;
};

// The parameters part of a command line: what follows the program's name.
std::wstring ParametersOf(const std::wstring& commandLine);

} // namespace residenttest
