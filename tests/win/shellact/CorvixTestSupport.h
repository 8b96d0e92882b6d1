// What the Corvix tests share: checking the library's boxes, a window that
// records keystrokes, and machine registry entries for a test's length.
#pragma once

#include "support/WinTestSupport.h"

#include <ostream>
#include <string>
#include <vector>

namespace qxtest {

constexpr char kCdRomEnumKey[] = "System\\CurrentControlSet\\Services\\CdRom\\Enum";

// The device-instance path the tests give CD drive i.
std::string CdDriveInstancePath(unsigned index);

// The system's text for an error code, as the library's error box shows it.
std::wstring SystemErrorText(DWORD code);

// Text in the system code page (the library's strings).
std::string Narrow(const std::wstring& text);

// One box of the library: caption "Tarvolt", the given text, only an OK
// button, the information icon.
void ExpectInformationBox(const SeenBox& box, const std::wstring& text);
// The error box for a code: an information box with the system's text.
void ExpectErrorBox(const SeenBox& box, DWORD code);

// Extended styles of the message boxes this thread shows while it lives, to
// tell system-modal (topmost) boxes from others.
class BoxStyleRecorder {
  public:
    BoxStyleRecorder();
    BoxStyleRecorder(const BoxStyleRecorder&) = delete;
    BoxStyleRecorder& operator=(const BoxStyleRecorder&) = delete;
    ~BoxStyleRecorder();
    std::vector<DWORD> ExtendedStyles() const { return m_styles; }

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook;
    std::vector<DWORD> m_styles;
};

// One keystroke as a window receives it.
struct Keystroke {
    unsigned scanCode;
    bool extended;
    bool up;
    bool operator==(const Keystroke& other) const {
        return scanCode == other.scanCode && extended == other.extended && up == other.up;
    }
};
void PrintTo(const Keystroke& stroke, std::ostream* out);

// A top-level window of the test, in front and focused, that records the
// keystrokes it gets, and stays when asked to close (Alt+F4 asks on its key
// down, and the keys' ups come after).
class KeyRecorder {
  public:
    KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;
    ~KeyRecorder();

    HWND Window() const { return m_window; }
    // Waits until the window is in front with the focus.
    bool InFront(DWORD timeoutMs);
    bool WaitForKeystrokes(std::size_t count, DWORD timeoutMs);
    std::vector<Keystroke> Keystrokes() const { return m_strokes; }
    bool CloseRequested() const { return m_closeRequested; }
    // Key downs that came as system keys (with Alt held, or Alt itself).
    std::size_t AltKeyDowns() const { return m_altKeyDowns; }

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_window = nullptr;
    std::vector<Keystroke> m_strokes;
    bool m_closeRequested = false;
    std::size_t m_altKeyDowns = 0;
};

// Values below HKEY_LOCAL_MACHINE (the test prefix's), removed again with
// the keys the test created when it ends.
class MachineKeys {
  public:
    MachineKeys() = default;
    MachineKeys(const MachineKeys&) = delete;
    MachineKeys& operator=(const MachineKeys&) = delete;
    ~MachineKeys();

    void SetString(const std::string& key, const std::string& name, const std::string& value);
    void SetDword(const std::string& key, const std::string& name, DWORD value);

    // CD drives as the CD-ROM class driver lists them: a count, the
    // device-instance path of each drive by index, and its friendly name.
    void AddCdDrives(const std::vector<std::string>& friendlyNames);

  private:
    void Set(const std::string& key, const std::string& name, DWORD type, const void* data,
             DWORD size);
    std::vector<std::string> m_created; // topmost keys the test created
};

} // namespace qxtest
