#include "RecorderActions.h"
#include "ShellActions.h"

namespace corvix {

namespace {

const char kRecorderClass[] = "SoundRec";
const char kButtonClass[] = "Button";

// A started recorder that never shows its window is given up after this long.
constexpr DWORD RECORDER_START_LIMIT_MS = 10000;
constexpr DWORD RECORDER_POLL_MS = 100;

HWND FindRecorderWindow() {
    return ::FindWindowA(kRecorderClass, nullptr);
}

bool StartRecorder() {
    char commandLine[] = "SndRec32.exe";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &startup, &started))
        return false;
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return true;
}

HWND WaitForRecorderWindow() {
    for (DWORD waited = 0; waited < RECORDER_START_LIMIT_MS; waited += RECORDER_POLL_MS) {
        ::Sleep(RECORDER_POLL_MS);
        if (const HWND recorder = FindRecorderWindow())
            return recorder;
    }
    return nullptr;
}

HWND FindSoundRecorder(bool startAllowed) {
    const HWND recorder = FindRecorderWindow();
    if (recorder || !startAllowed || !StartRecorder())
        return recorder;
    return WaitForRecorderWindow();
}

// The index-th child of class "Button" in child-window order.
HWND FindNthButton(HWND parent, unsigned index) {
    if (!parent)
        return nullptr;
    HWND button = ::FindWindowExA(parent, nullptr, kButtonClass, nullptr);
    for (unsigned i = 0; i < index && button; ++i)
        button = ::FindWindowExA(parent, button, kButtonClass, nullptr);
    return button;
}

} // namespace

int ControlSoundRecorder(unsigned action) {
    const HWND recorder = FindSoundRecorder(RecorderActionStartsRecorder(action));
    if (!recorder)
        return 0;
    const std::optional<RecorderButton> button = RecorderButtonFor(action);
    if (!button)
        return HandleToLong(recorder);
    const HWND buttonWindow = FindNthButton(recorder, button->index);
    if (!buttonWindow)
        return 0;
    return ::PostMessageA(recorder, WM_COMMAND, MAKEWPARAM(button->commandId, 0),
                          reinterpret_cast<LPARAM>(buttonWindow));
}

} // namespace corvix
