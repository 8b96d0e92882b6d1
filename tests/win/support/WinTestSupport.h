// What the Windows-side tests use to drive programs as a person would.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qxtest {

// Paths of the built deliverables (bin/) and of the test programs (tests/bin/).
std::wstring BinPath(const std::wstring& file);
std::wstring TestBinPath(const std::wstring& file);
// The simulated keyboard's tool, KeyboardSim.exe: a 64-bit program in every
// build, since its driver is one.
std::wstring KeyboardSimPath();

// Folder path in the form Windows programs see it (Wine maps /... to Z:\...).
std::wstring WindowsPath(const std::string& unixPath);

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// A started process; ends it (TerminateProcess) if it is still running when
// the test lets go of it.
class Process {
  public:
    Process() = default;
    Process(HANDLE process, HANDLE thread, DWORD id);
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process();

    explicit operator bool() const { return m_process != nullptr; }
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process; }

    // Exit code once the process has ended within timeoutMs, else nothing.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs);
    bool IsRunning() const;
    void Kill();

  private:
    void Close();
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

// Starts program (full path) with arguments; environment entries are added to
// or replace the test's own (LANG, LC_ALL, LC_MESSAGES, DISPLAY and WINE* reach Wine
// through a Unix launcher). Fails the current test when the start fails.
Process StartProcess(const std::wstring& program, const std::wstring& arguments = L"",
                     const Environment& environment = {}, const std::wstring& folder = L"");

// CreateProcessW, tried a second time when it fails: Wine has been seen to
// refuse one start now and then under load (error 1359, the new process
// ended before it began), most often under the emulator. A second refusal is
// a real failure; failure then names both errors.
bool CreateProcessTwice(const std::wstring& program, std::wstring& commandLine, BOOL inheritHandles,
                        DWORD flags, void* environment, const wchar_t* folder,
                        STARTUPINFOW& startup, PROCESS_INFORMATION& info, std::string& failure);

struct ProcessEntry {
    DWORD id;
    std::wstring exeName;
};

// Every running process, with its executable's file name.
std::vector<ProcessEntry> RunningProcesses();

// Ids of the running processes whose executable has this file name.
std::vector<DWORD> ProcessIdsOf(const std::wstring& exeName);

// Terminates each process with exitCode and waits (up to 5 s each) for it to
// end; processes already gone are passed over.
void EndProcesses(const std::vector<DWORD>& ids, UINT exitCode = 0xDEAD);

// Environment for a program that should show its Korean (or English) user
// interface.
Environment KoreanUserInterface();
Environment EnglishUserInterface();

// Serves sent messages and this thread's queue while waiting.
void PumpMessages(DWORD milliseconds);
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// The same without serving messages, for waits that must not run other code
// of this thread meanwhile.
bool WaitWithoutMessages(const std::function<bool()>& condition, DWORD timeoutMs);

// Top-level window by exact title and/or class (either may be null), waiting
// up to timeoutMs for it to exist. Null when it never came.
HWND WaitForWindow(const wchar_t* title, const wchar_t* className, DWORD timeoutMs);
// Top-level window of the given process (visible or not) whose title matches.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* title, DWORD timeoutMs);
bool WaitForWindowGone(HWND window, DWORD timeoutMs);
// Every top-level window, hidden ones included; every descendant of parent.
std::vector<HWND> TopLevelWindows();
std::vector<HWND> ChildWindows(HWND parent);
// Whether a visible window of the process, or one of its controls, still has
// a part to paint: a screenshot taken now could show it half drawn.
bool PaintPending(DWORD processId);
// The window that has the keyboard focus on window's thread, or null.
HWND FocusOnThreadOf(HWND window);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
std::wstring DialogItemText(HWND dialog, int id);
// Clicks a button the way the mouse does, through BM_CLICK on its dialog's thread.
void ClickButton(HWND dialog, int id);

// Keys as the keyboard would send them to whichever window has the focus.
void TypeText(const std::wstring& text);

// Every window that was in the foreground while it ran, sampled every 5 ms on
// a thread of its own.
class ForegroundRecorder {
  public:
    ForegroundRecorder();
    ForegroundRecorder(const ForegroundRecorder&) = delete;
    ForegroundRecorder& operator=(const ForegroundRecorder&) = delete;
    ~ForegroundRecorder();
    std::set<HWND> Stop();

  private:
    static DWORD WINAPI Record(void* self);
    std::set<HWND> m_seen;
    HANDLE m_stop;
    HANDLE m_thread;
};

// The text of a file another program may still be writing, read until at
// least maxBytes are in or the file ends; empty when it cannot be opened.
std::string ReadSharedFile(const std::wstring& path, std::size_t maxBytes = SIZE_MAX);
// The lines the text ends with '\n'; a last line not ended yet is still being
// written and left out.
std::vector<std::string> EndedLines(const std::string& text);

// UTF-8 text (as the sources hold it) in UTF-16.
std::wstring Wide(const char* utf8);

// A message box seen by a watcher.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons; // control ids: IDOK, IDCANCEL, IDYES, IDNO ...
    int defaultButton = 0;    // id of the button with the default style
    UINT icon = 0; // MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK or 0
    DWORD answeredTick = 0; // GetTickCount() when the watcher clicked its button
};

// Watches for message boxes with the given caption on its own thread,
// records each one and answers it by clicking the given button.
class MessageBoxWatcher {
  public:
    MessageBoxWatcher(std::wstring caption, int answer);
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
    ~MessageBoxWatcher();

    // Changes the button that answers the boxes still to come.
    void SetAnswer(int answer);
    // Waits until count boxes have been seen in all.
    bool WaitForBoxes(std::size_t count, DWORD timeoutMs);
    std::vector<SeenBox> Boxes() const;

  private:
    static DWORD WINAPI Watch(void* self);
    void WatchLoop();

    std::wstring m_caption;
    LONG volatile m_answer;
    LONG volatile m_stop = 0;
    mutable CRITICAL_SECTION m_lock;
    std::vector<SeenBox> m_boxes;
    HANDLE m_thread = nullptr;
};

// Reads a message box window's text, buttons and icon.
SeenBox ReadMessageBox(HWND box);

// Registry helpers on HKEY_CURRENT_USER.
void DeleteUserKey(const std::wstring& path);
bool UserKeyExists(const std::wstring& path);
void SetUserDword(const std::wstring& path, const std::wstring& name, DWORD value);
void SetUserString(const std::wstring& path, const std::wstring& name, const std::string& value);
// Stores the bytes as given, through the ANSI call, as a program would: no zero
// is added to a string type.
void SetUserAnsiValue(const std::wstring& path, const std::wstring& name, DWORD type,
                      const std::string& bytes);
void SetUserValue(const std::wstring& path, const std::wstring& name, DWORD type,
                  const std::vector<BYTE>& data);
struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
std::optional<RegistryValue> ReadUserValue(const std::wstring& path, const std::wstring& name);
std::optional<DWORD> ReadUserDword(const std::wstring& path, const std::wstring& name);
std::optional<std::string> ReadUserString(const std::wstring& path, const std::wstring& name);
std::vector<std::wstring> UserValueNames(const std::wstring& path);

// Windows version that Wine reports to one program ("win98", "win2k",
// "winxp", "win7" ...); an empty version removes the setting.
void SetProgramWindowsVersion(const std::wstring& exeName, const std::wstring& version);

// Saves a picture of the whole test display as <name>.png in the screenshot
// folder; returns the Unix path, empty when it could not be taken.
std::string TakeScreenshot(const std::string& name);
// Saves a picture of the whole display as that PNG file (a Unix path) and
// returns once it is written.
bool SaveScreenshot(const std::string& file);

} // namespace qxtest
