// What the device link's tests and benchmark share: the simulated keyboard's
// driver, the shipped library loaded by path, a window that records the
// key events it receives, the keyboard's packet log read back, and counts of
// this process's threads and handles.
#pragma once

#include "devlink/TarvoltXP.h"

#include "framework/Handles.h"
#include "simkeyboard/KeyboardClient.h"
#include "support/WinTestSupport.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace devlinktest {

// The installed simulated keyboard, driven through its control device as
// KeyboardSim drives it; reset again when the object goes, so a test leaves
// no fault, delay or queued key behind.
class CSimulatedKeyboard {
  public:
    CSimulatedKeyboard() = default;
    CSimulatedKeyboard(const CSimulatedKeyboard&) = delete;
    CSimulatedKeyboard& operator=(const CSimulatedKeyboard&) = delete;
    ~CSimulatedKeyboard();

    // Plugged, one interface, nothing queued; false when no driver answers.
    bool Reset() const;
    // Output of one command line ("press 1 1"); nothing when it failed.
    std::optional<std::string> Run(const std::string& commandLine) const;
    // Run, reporting a failed or refused command as an empty string.
    std::string Must(const std::string& commandLine) const;
};

std::wstring LibraryPath();

// The first present interface of the keyboard's class (or the one at path),
// opened as the library opens it (access 0, synchronous unless flags say
// otherwise); empty when it cannot be.
qx::unique_hfile
OpenKeyboardInterface(DWORD flags = FILE_ATTRIBUTE_NORMAL,
                      const std::string& path = simkeyboard::KeyboardInterfacePath().value_or(""));

// The six exports of one copy of the library, loaded by path.
class CLinkLibrary {
  public:
    bool Load(const std::wstring& path);
    bool Loaded() const { return static_cast<bool>(m_module); }

    int LoadDriver(HWND window) const { return m_loadDriver(window); }
    int UnloadDriver() const { return m_unloadDriver(); }
    int ResetDevice() const { return m_resetDevice(); }
    int ReloadKeyMap() const { return m_reloadKeyMap(); }
    int ResetKeyMap(int first, int second) const { return m_resetKeyMap(first, second); }
    int ResetKeyMapEx(const BYTE* data, int length) const { return m_resetKeyMapEx(data, length); }

  private:
    qx::unique_hmodule m_module;
    int(WINAPI* m_loadDriver)(HWND) = nullptr;
    int(WINAPI* m_unloadDriver)() = nullptr;
    int(WINAPI* m_resetDevice)() = nullptr;
    int(WINAPI* m_reloadKeyMap)() = nullptr;
    int(WINAPI* m_resetKeyMap)(int, int) = nullptr;
    int(WINAPI* m_resetKeyMapEx)(const BYTE*, int) = nullptr;
};

struct ReceivedKey {
    unsigned code = 0;
    unsigned state = 0;
    DWORD threadId = 0; // thread whose window procedure ran
    int depth = 0;      // key events being handled at once, this one included
};

// A hidden window of the creating thread that records every WM_DEVICEKEY.
class CKeyRecorder {
  public:
    CKeyRecorder();
    CKeyRecorder(const CKeyRecorder&) = delete;
    CKeyRecorder& operator=(const CKeyRecorder&) = delete;
    ~CKeyRecorder();

    HWND Window() const { return m_window; }
    std::vector<ReceivedKey> Keys() const;
    // Runs inside the window procedure for each key, after it is recorded.
    void OnKey(std::function<void(const ReceivedKey&)> handler) { m_onKey = std::move(handler); }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    mutable CRITICAL_SECTION m_lock;
    std::vector<ReceivedKey> m_keys;
    int m_depth = 0;
    std::function<void(const ReceivedKey&)> m_onKey;
};

// One "request" line of the keyboard's log.
struct LoggedRequest {
    unsigned connection = 0;
    std::string ioctl;
    unsigned inputLength = 0;
    unsigned replySize = 0;
    std::vector<std::uint8_t> data;
    bool succeeded = false;
    unsigned error = 0;
    unsigned returned = 0;

    int Command() const { return data.size() >= 4 ? data[3] : -1; }
};

std::vector<std::string> LogLines(const std::string& log);
std::vector<LoggedRequest> LoggedRequests(const std::string& log);
// Requests other than polls (command byte 33).
std::vector<LoggedRequest> LoggedCommands(const std::string& log);

std::vector<DWORD> ThreadsOfThisProcess();
// The value of a freshly created and closed handle: it rises when handles
// leak, because the lowest free slot is handed out first.
std::uintptr_t FreshHandleValue();

} // namespace devlinktest
