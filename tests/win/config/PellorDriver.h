// Drives Pellor.exe from outside as a person would: start it, find its
// dialogs, click, type, and read what it stored.
#pragma once

#include "support/WinTestSupport.h"

#include <optional>
#include <string>

namespace pellortest {

// Bound of every wait for the program to answer; generous, as the tests
// share the machine.
constexpr DWORD kUiWait = 15000;

extern const std::wstring kUserKeysPath;
extern const std::wstring kCaption; // title of the main dialog and of its questions

// Ids of the dialogs' controls, as a person finds them.
enum : int {
    kResetAll = 3,
    kUrl = 1004,
    kProgram = 1005,
    kLocation = 1006,
    kBrowse = 1007,
    kApply = 1008,
    kProg1Command = 2001,
    kProg1Modify = 2101,
};

std::wstring KeyPath(int index);

// Both keys gone from the store, as on a machine where nothing was set yet.
void ForgetAllKeys();
// Stores a binding the way the configuration program does.
void StoreKey(int index, DWORD type, const std::string& command);

struct StoredKey {
    std::optional<DWORD> type;
    std::optional<std::string> command;
};
StoredKey ReadKey(int index);

struct PellorRun {
    qxtest::Process process;
    HWND main = nullptr;
};

// Starts Pellor and waits for its main dialog to be shown.
PellorRun StartPellor(const qxtest::Environment& language = {});

// Clicks Modify of row index and waits for the editor titled with the key's name.
HWND OpenEditor(const PellorRun& run, int index);

// Top-level window of the process owned by owner (a question, the Open-file
// dialog), waiting up to timeoutMs.
HWND WaitForOwnedDialog(const PellorRun& run, HWND owner, DWORD timeoutMs);

// Apply, once the main dialog has taken the editor's result: Modify enables
// Apply only after its editor has closed. Waits until the entries are saved.
void ApplyChanges(const PellorRun& run);

bool IsEnabled(HWND dialog, int id);
bool IsShown(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// The control that has the keyboard focus in the process's user-interface thread.
HWND FocusOf(const PellorRun& run);

// Types text into a control, one character at a time.
void TypeText(HWND control, const std::wstring& text);
// Selects all of an edit's text and deletes it, as with Ctrl+A and Backspace.
void ClearText(HWND edit);
bool WaitForText(HWND dialog, int id, const std::wstring& text);

// Real input through the system's input queue, sent once the window that
// is to take it is in front, as a person would wait for it.
void MouseClick(HWND control);
void PressKey(HWND window, WORD virtualKey);

// Answers the Open-file dialog shown by the editor with a typed path.
void ChooseFileInOpenDialog(HWND openDialog, const std::wstring& path);

// A picture of the display saved as <name>.png for people to look at, taken
// once the program's windows are painted, and waited for until it is written.
void SaveScreenshot(const PellorRun& run, const std::string& name);

// The main dialog's OK or Cancel when no question is expected: the process ends.
bool EndsWithin(PellorRun& run, DWORD timeoutMs);

} // namespace pellortest
