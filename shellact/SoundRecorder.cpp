#include "RecorderActions.h"
#include "ShellActions.h"

#include <algorithm>

namespace corvix {

namespace {

const char kRecorderClass[] = "SoundRec";
const char kButtonClass[] = "Button";

// A started recorder that has not shown its window with the wanted button by
// then is given up.
constexpr DWORD RECORDER_START_LIMIT_MS = 10000;
constexpr DWORD RECORDER_POLL_MS = 100;

HWND FindRecorderWindow() {
    return ::FindWindowA(kRecorderClass, nullptr);
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

// The started recorder's process; none when it cannot be started.
qx::unique_handle StartRecorder() {
    char commandLine[] = "SndRec32.exe";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &startup, &started))
        return qx::unique_handle();
    ::CloseHandle(started.hThread);
    return qx::unique_handle(started.hProcess);
}

// Waits until the recorder's window holds the wanted button, within one bound
// of elapsed time; a recorder that ends meanwhile will never show it.
HWND WaitForRecorderButton(HANDLE recorderProcess, unsigned buttonIndex) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const HWND recorder = FindRecorderWindow();
        if (FindNthButton(recorder, buttonIndex))
            return recorder;
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= RECORDER_START_LIMIT_MS)
            return recorder;
        const DWORD pause = std::min(RECORDER_POLL_MS, RECORDER_START_LIMIT_MS - elapsed);
        if (::WaitForSingleObject(recorderProcess, pause) != WAIT_TIMEOUT)
            return FindRecorderWindow();
    }
}

// The running recorder's window; when it is not running and start is allowed,
// that of a recorder started now, once it shows the wanted button.
HWND FindSoundRecorder(bool startAllowed, unsigned buttonIndex) {
    const HWND recorder = FindRecorderWindow();
    if (recorder || !startAllowed)
        return recorder;
    const qx::unique_handle started = StartRecorder();
    if (!started)
        return nullptr;
    return WaitForRecorderButton(started.get(), buttonIndex);
}

} // namespace

int ControlSoundRecorder(unsigned action) {
    const std::optional<RecorderButton> button = RecorderButtonFor(action);
    const HWND recorder =
        FindSoundRecorder(RecorderActionStartsRecorder(action), button ? button->index : 0);
    if (!recorder)
        return 0;
    if (!button)
        return HandleToLong(recorder);
    const HWND buttonWindow = FindNthButton(recorder, button->index);
    if (!buttonWindow)
        return 0;
    return ::PostMessageA(recorder, WM_COMMAND, MAKEWPARAM(button->commandId, 0),
                          reinterpret_cast<LPARAM>(buttonWindow));
}

} // namespace corvix
