#include "ShellActionApp.h"
#include "ShellActions.h"

namespace corvix {

namespace {

// Scan codes of the composite keystrokes.
constexpr WORD SCAN_LEFT_CTRL = 0x1D;
constexpr WORD SCAN_V = 0x2F;
constexpr WORD SCAN_LEFT_ALT = 0x38;
constexpr WORD SCAN_F4 = 0x3E;

constexpr WPARAM ID_CALC_COPY = 300; // the calculator's copy-to-clipboard command
const char kCalculatorClass[] = "SciCalc";
constexpr UINT CALC_BOX_STYLE = MB_ICONINFORMATION | MB_SYSTEMMODAL;

BOOL PressKey(WORD scanCode) {
    return GenerateKeyStroke(scanCode, FALSE, FALSE);
}

BOOL ReleaseKey(WORD scanCode) {
    return GenerateKeyStroke(scanCode, FALSE, TRUE);
}

// Presses modifier and key together, as a person would; the result is that
// of the last event.
BOOL PressCombination(WORD modifier, WORD key) {
    PressKey(modifier);
    PressKey(key);
    ReleaseKey(key);
    return ReleaseKey(modifier);
}

} // namespace

BOOL GenerateKeyStroke(WORD scanCode, BOOL extended, BOOL keyUp) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = 0;
    input.ki.wScan = scanCode;
    input.ki.dwFlags = KEYEVENTF_SCANCODE;
    if (keyUp)
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
    if (extended)
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    return ::SendInput(1, &input, sizeof input) == 1;
}

BOOL CloseForegroundWindow() {
    return PressCombination(SCAN_LEFT_ALT, SCAN_F4);
}

BOOL TransferCalculatorResult() {
    const HWND front = ::GetForegroundWindow();
    const HWND calculator = ::FindWindowA(kCalculatorClass, nullptr);
    if (!calculator) {
        theApp.DoMessageBox("Could not find Windows Calculator.", CALC_BOX_STYLE);
        return FALSE;
    }
    if (calculator == front) {
        theApp.DoMessageBox("Could not X'fer to Calcuator itself.", CALC_BOX_STYLE);
        return FALSE;
    }
    // The paste is synthesised at once, without waiting for the calculator
    // to have filled the clipboard.
    ::PostMessageA(calculator, WM_COMMAND, ID_CALC_COPY, 0);
    PressCombination(SCAN_LEFT_CTRL, SCAN_V);
    return TRUE;
}

BOOL OpenWithShell(const char* target) {
    if (!target)
        return FALSE;
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask =
        SEE_MASK_CONNECTNETDRV | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI;
    info.hwnd = nullptr;
    info.lpVerb = "open";
    info.lpFile = target;
    info.lpParameters = "";
    info.lpDirectory = "";
    info.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExA(&info) ? TRUE : FALSE;
}

} // namespace corvix
