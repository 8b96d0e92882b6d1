// A short session of the whole system on the simulated keyboard, for people
// to watch: each step is written to demo.log and the console, with a
// screenshot of the display after it. Started by scripts/demo.
//   ResidentDemo OUTPUT-FOLDER (a Unix path)
#include "ResidentHarness.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

using namespace qxtest;
using namespace residenttest;

namespace {

const wchar_t CONFIG_TITLE[] = L"User Key Configuration";
const COLORREF LABEL_COLOUR = RGB(0, 0, 255);
const char BOUND_PROGRAM[] = "C:\\windows\\notepad.exe";
const std::wstring PROG2_KEY = std::wstring(USER_KEYS_KEY) + L"\\Prog 2";

class DemoLog {
  public:
    explicit DemoLog(const std::string& folder) : m_folder(folder), m_start(GetTickCount()) {
        m_file =
            CreateFileW(WindowsPath(folder + "/demo.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~DemoLog() {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    void Line(const char* format, ...) {
        char text[1024];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        char line[1100];
        std::snprintf(line, sizeof line, "[%6.2f s] %s\n", (GetTickCount() - m_start) / 1000.0,
                      text);
        std::fputs(line, stdout);
        std::fflush(stdout);
        DWORD written = 0;
        if (m_file != INVALID_HANDLE_VALUE)
            WriteFile(m_file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    }
    void Check(bool good, const char* what) {
        Line("%s %s", good ? "ok:    " : "FAILED:", what);
        m_failures += good ? 0 : 1;
    }
    // Saves the whole display as NN-name.png in the output folder, once every
    // window of the given processes has painted what it shows.
    void Screenshot(const std::string& name, const std::vector<DWORD>& painters = {}) {
        const bool painted = WaitUntil(
            [&] {
                return std::none_of(painters.begin(), painters.end(),
                                    [](DWORD id) { return PaintPending(id); });
            },
            5000);
        if (!painted)
            Line("(a window was still painting)");
        char file[64];
        std::snprintf(file, sizeof file, "%02d-%s.png", ++m_shots, name.c_str());
        // Written before the next step changes the screen.
        const bool saved = SaveScreenshot(m_folder + "/" + file);
        Line("screenshot %s%s", file, saved ? "" : " could not be taken");
    }
    int Failures() const { return m_failures; }
    int Shots() const { return m_shots; }

  private:
    std::string m_folder;
    DWORD m_start;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    int m_failures = 0;
    int m_shots = 0;
};

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text)
        result.push_back(c < 128 ? static_cast<char>(c) : '?');
    return result;
}

struct Notice {
    HWND window = nullptr;
    std::string parameters;
};

// The display started by the last key press, once its notice window is up.
Notice WaitForNotice(const RunFolder& folder) {
    Notice notice;
    WaitUntil(
        [&] {
            for (DWORD id : ProcessesIn(folder, L"Vistrel.exe")) {
                const std::vector<HWND> windows = VisibleWindowsOf(id);
                if (!windows.empty()) {
                    notice.window = windows.front();
                    notice.parameters = Narrow(ParametersOf(ProcessCommandLine(id)));
                    return true;
                }
            }
            return false;
        },
        10000);
    return notice;
}

// Whether any pixel of that part of the screen has the colour. A window can
// exist a moment before its letters reach the screen, and a notice whose
// process was ended can stay there a moment after.
bool ScreenShowsColourIn(const RECT& rect, COLORREF colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool found = false;
    if (memory && bitmap && bits) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        const DWORD wanted =
            (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        const DWORD* pixel = static_cast<const DWORD*>(bits);
        for (int i = 0; i < width * height && !found; ++i)
            found = (pixel[i] & 0xFFFFFF) == wanted;
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return found;
}

// The system's programs, and another window's, whose windows a screenshot shows.
std::vector<DWORD> PaintersIn(const RunFolder& folder, HWND other = nullptr) {
    std::vector<DWORD> ids;
    for (const wchar_t* program : {L"Tarvolt.exe", L"Pellor.exe", L"Vistrel.exe"}) {
        const std::vector<DWORD> running = ProcessesIn(folder, program);
        ids.insert(ids.end(), running.begin(), running.end());
    }
    DWORD otherId = 0;
    if (other && GetWindowThreadProcessId(other, &otherId))
        ids.push_back(otherId);
    return ids;
}

void EndNotices(const RunFolder& folder) {
    EndProcesses(ProcessesIn(folder, L"Vistrel.exe"), 0);
}

void PressKey(DemoLog& log, const char* name, unsigned code, unsigned state) {
    log.Line("key: %s (code %u, state %u) queued on the simulated keyboard", name, code, state);
    Keyboard::Press(code, state);
}

HWND WaitForDialogOf(DWORD processId, const wchar_t* title) {
    return WaitForProcessWindow(processId, title, 10000);
}

DWORD ProcessOf(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

// opens: the title of a window the press also brings up; the screenshot
// waits for it, so that it is not caught half drawn.
void ShowLabelStep(DemoLog& log, const RunFolder& folder, const char* name, unsigned code,
                   const std::string& expected, const wchar_t* opens = nullptr) {
    EndNotices(folder);
    RECT labelPlace = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &labelPlace, 0);
    labelPlace.top = labelPlace.bottom - 100;
    WaitUntil([&] { return !ScreenShowsColourIn(labelPlace, LABEL_COLOUR); }, 3000);
    PressKey(log, name, code, 1);
    const Notice notice = WaitForNotice(folder);
    log.Line("display started with \"%s\"", notice.parameters.c_str());
    log.Check(notice.parameters == expected,
              "the display shows the key's label in the preference colour");
    WaitUntil(
        [&] {
            RECT place = {};
            return GetWindowRect(notice.window, &place) && ScreenShowsColourIn(place, LABEL_COLOUR);
        },
        3000);
    if (opens) {
        const HWND opened = WaitForWindow(opens, nullptr, 5000);
        WaitUntil([&] { return opened && IsWindowVisible(opened); }, 5000);
    }
    std::string shot = std::string("label-") + name;
    std::replace(shot.begin(), shot.end(), ' ', '-');
    log.Screenshot(shot, PaintersIn(folder));
}

void BindProg2ThroughTheConfigProgram(DemoLog& log, HWND config) {
    const DWORD pellor = ProcessOf(config);
    log.Line("configuration program: Modify on the Prog 2 row");
    ClickButton(config, 2102);
    const HWND editor = WaitForDialogOf(pellor, L"Prog 2");
    log.Check(editor != nullptr, "the editor opened with the title Prog 2");
    if (!editor)
        return;
    log.Screenshot("editor-opened", {pellor});
    log.Line("editor: choose Program, click into the location, enter %s", BOUND_PROGRAM);
    ClickButton(editor, 1005);
    WaitUntil([&] { return IsWindowVisible(GetDlgItem(editor, 1007)) != FALSE; }, 5000);
    const HWND location = GetDlgItem(editor, 1006);
    ClickAt(CentreOf(location), MOUSEEVENTF_LEFTDOWN);
    // The editor takes the text when the location loses the focus, so the
    // click must have given it the focus first.
    log.Check(WaitUntil([&] { return FocusOnThreadOf(editor) == location; }, 5000),
              "the location has the keyboard focus");
    SendMessageTimeoutA(location, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(BOUND_PROGRAM),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    log.Screenshot("editor-program", {pellor});
    ClickButton(editor, IDOK);
    log.Check(WaitForWindowGone(editor, 5000), "the editor closed with OK");
    log.Line("main dialog now shows Prog 2 -> \"%s\"",
             Narrow(DialogItemText(config, 2002)).c_str());
    log.Line("configuration program: Apply, then OK");
    ClickButton(config, 1008);
    WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(config, 1008)); }, 5000);
    log.Screenshot("config-applied", {pellor});
    ClickButton(config, IDOK);
    log.Check(WaitForWindowGone(config, 5000), "the configuration program closed");
    const auto type = ReadUserDword(PROG2_KEY, L"Type");
    const auto command = ReadUserString(PROG2_KEY, L"Command");
    log.Line("registry: Prog 2 Type %lu, Command \"%s\"", type ? *type : 0xFFFFFFFFul,
             command ? command->c_str() : "(none)");
    log.Check(type == 2u && command == std::string(BOUND_PROGRAM),
              "Prog 2 is bound to the program");
}

void VolumeBurstStep(DemoLog& log, const RunFolder& folder) {
    log.Line("volume key (code 12, state 0) four times, 300 ms apart");
    DWORD lastPress = 0;
    for (int i = 0; i < 4; ++i) {
        Keyboard::Press(12, 0);
        lastPress = GetTickCount();
        if (i == 1) {
            const HWND volume = WaitForWindow(L"Volume Control", nullptr, 3000);
            log.Screenshot("volume-control", PaintersIn(folder, volume));
        }
        PumpMessages(300);
    }
    std::vector<std::string> lines;
    WaitUntil(
        [&] {
            lines = ReadLines(folder.File(L"sndvol32.log"));
            for (const std::string& line : lines) {
                if (line.find(" close") != std::string::npos)
                    return true;
            }
            return false;
        },
        10000);
    WaitForWindowGone(FindWindowW(nullptr, L"Volume Control"), 5000);
    int starts = 0;
    DWORD closedAt = 0;
    for (const std::string& line : lines) {
        log.Line("volume control log: %s", line.c_str());
        if (line.find(" start") != std::string::npos)
            ++starts;
        if (line.find(" close") != std::string::npos)
            closedAt = static_cast<DWORD>(std::stoul(line.substr(0, line.find(' '))));
    }
    log.Check(starts == 1, "the volume control was started once for the whole burst");
    log.Line("closed %ld ms after the last volume key", static_cast<long>(closedAt - lastPress));
    log.Check(closedAt != 0 && closedAt - lastPress >= 900 && closedAt - lastPress <= 1800,
              "it closed about a second after the last volume key");
    log.Screenshot("volume-closed", PaintersIn(folder));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ResidentDemo OUTPUT-FOLDER\n");
        return 2;
    }
    DemoLog log(argv[1]);
    log.Line("fresh user: no QX-310 settings in the registry");
    DeleteUserKey(PRODUCT_KEY);
    KeyboardServer keyboard;
    if (!keyboard.Start()) {
        std::printf("the simulated keyboard's driver is not installed\n");
        return 1;
    }
    const RunFolder folder("demo");
    log.Line("system copied to %s", Narrow(folder.Path()).c_str());

    Resident resident = StartResident(folder);
    log.Check(resident.keyService != nullptr, "Tarvolt.exe started: marker window and tray icon");
    if (!resident.keyService)
        return 1;
    log.Line("preference colour \"%s\"",
             ReadUserString(PREFERENCE_KEY, L"OSDRGBColor").value_or("(none)").c_str());
    log.Screenshot("started", PaintersIn(folder));

    ShowLabelStep(log, folder, "Prog 1", 1, "Prog 1``0`0`255", CONFIG_TITLE);
    const HWND config = WaitForWindow(CONFIG_TITLE, nullptr, 15000);
    log.Check(config != nullptr, "Prog 1 is not bound: the configuration program opened");
    if (config) {
        WaitUntil([&] { return IsWindowVisible(config) != FALSE; }, 5000);
        log.Screenshot("config-opened", PaintersIn(folder));
        BindProg2ThroughTheConfigProgram(log, config);
    }

    ShowLabelStep(log, folder, "Prog 2", 2, "Prog 2``0`0`255");
    const HWND notepad = WaitForWindow(nullptr, L"Notepad", 15000);
    log.Check(notepad != nullptr, "Prog 2 started the bound program");
    WaitUntil([&] { return notepad && IsWindowVisible(notepad); }, 5000);
    log.Screenshot("prog2-program", PaintersIn(folder, notepad));
    if (notepad) {
        SendMessageTimeoutW(notepad, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        log.Check(WaitForWindowGone(notepad, 10000), "the bound program closed again");
    }

    ShowLabelStep(log, folder, "Mute", 16, "Mute``0`0`255");
    EndNotices(folder);
    VolumeBurstStep(log, folder);

    log.Line("stop request: WM_CLOSE with lParam 999 to the window titled with the instance GUID");
    const bool stopped = StopResident(resident);
    log.Check(stopped, "Tarvolt.exe ended");
    log.Check(!TrayIconExists(resident.keyService, TRAY_ICON_ID), "its tray icon is gone");
    log.Screenshot("stopped", PaintersIn(folder));
    EndProcessesIn(folder);
    log.Line("done: %d screenshot(s), %d failure(s)", log.Shots(), log.Failures());
    return log.Failures() == 0 ? 0 : 1;
}
