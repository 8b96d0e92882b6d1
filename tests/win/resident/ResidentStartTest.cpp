// Start-up, single instance, the version gate, the device link at start, the
// preference defaults and the stop request, with the unmodified programs on
// the simulated keyboard.
#include "ResidentHarness.h"

#include "OsdTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

using namespace qxtest;
using namespace residenttest;

namespace {

using ResidentStart = ResidentTest;

// A value as the program stored it through the ANSI registry calls: its
// type and exactly the bytes (and so the size) it wrote.
struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::optional<StoredValue> ReadAnsiValue(const char* key, const char* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue value;
    DWORD size = 0;
    LONG status = RegQueryValueExA(opened, name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExA(opened, name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

const char PREFERENCE_KEY_ANSI[] = "Software\\Morvel\\QX-310\\Preference";

std::vector<std::wstring> SortedValueNames(const std::wstring& key) {
    std::vector<std::wstring> names = UserValueNames(key);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ResidentStart, FirstStartShowsOneTrayIconAndWritesTheThreePreferenceDefaults) {
    Resident resident = StartResident(Folder());
    ASSERT_NE(nullptr, resident.marker) << "no window titled with the instance GUID";
    ASSERT_NE(nullptr, resident.keyService);
    EXPECT_TRUE(TrayIconExists(resident.keyService, TRAY_ICON_ID));
    EXPECT_EQ(1u, TrayIconWindows().size());

    EXPECT_EQ((std::vector<std::wstring>{L"AudioCDDrive", L"OSDRGBColor", L"TargetDoor"}),
              SortedValueNames(PREFERENCE_KEY));
    const auto colour = ReadAnsiValue(PREFERENCE_KEY_ANSI, "OSDRGBColor");
    ASSERT_TRUE(colour.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), colour->type);
    EXPECT_EQ((std::vector<BYTE>{'0', '`', '0', '`', '2', '5', '5', 0}), colour->data);
    const auto door = ReadAnsiValue(PREFERENCE_KEY_ANSI, "TargetDoor");
    ASSERT_TRUE(door.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), door->type);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), door->data);
    const auto drive = ReadAnsiValue(PREFERENCE_KEY_ANSI, "AudioCDDrive");
    ASSERT_TRUE(drive.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), drive->type);
    EXPECT_EQ((std::vector<BYTE>{0}), drive->data);

    EXPECT_TRUE(StopResident(resident));
}

TEST_F(ResidentStart, LaterStartLeavesAChangedPreferenceKeyAlone) {
    Resident first = StartResident(Folder());
    ASSERT_NE(nullptr, first.keyService);
    ASSERT_TRUE(StopResident(first));

    SetUserString(PREFERENCE_KEY, L"OSDRGBColor", "255`0`0");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, PREFERENCE_KEY, L"TargetDoor");

    Resident second = StartResident(Folder());
    ASSERT_NE(nullptr, second.keyService);
    EXPECT_EQ("255`0`0", ReadUserString(PREFERENCE_KEY, L"OSDRGBColor"));
    EXPECT_EQ((std::vector<std::wstring>{L"AudioCDDrive", L"OSDRGBColor"}),
              SortedValueNames(PREFERENCE_KEY));
    ASSERT_TRUE(StopResident(second));

    RegDeleteKeyValueW(HKEY_CURRENT_USER, PREFERENCE_KEY, L"OSDRGBColor");
    Resident third = StartResident(Folder());
    ASSERT_NE(nullptr, third.keyService);
    EXPECT_EQ(std::vector<std::wstring>{L"AudioCDDrive"}, SortedValueNames(PREFERENCE_KEY));
    EXPECT_TRUE(StopResident(third));
}

TEST_F(ResidentStart, SecondStartEndsSilentlyAndLeavesTheFirstAlone) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    MessageBoxWatcher versionBoxes(L"Tarvolt 1.5", IDOK);
    Resident first = StartResident(Folder());
    ASSERT_NE(nullptr, first.keyService);

    Process second = StartProcess(Folder().File(L"Tarvolt.exe"), L"", EnglishUserInterface());
    ASSERT_TRUE(second);
    const auto exitCode = second.WaitForExit(15000);
    ASSERT_TRUE(exitCode.has_value()) << "the second copy kept running";
    EXPECT_EQ(0u, *exitCode);

    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(versionBoxes.Boxes().empty());
    EXPECT_EQ(1u, TrayIconWindows().size());
    EXPECT_TRUE(first.process.IsRunning());
    EXPECT_EQ(first.marker, FindWindowW(nullptr, INSTANCE_TITLE));
    EXPECT_TRUE(TrayIconExists(first.keyService, TRAY_ICON_ID));
    EXPECT_TRUE(StopResident(first));
}

TEST_F(ResidentStart, OldWindowsShowsTheVersionBoxAndCreatesNothing) {
    for (const wchar_t* version : {L"win98", L"nt40"}) {
        SCOPED_TRACE(std::string(version, version + wcslen(version)));
        DeleteUserKey(PRODUCT_KEY);
        SetProgramWindowsVersion(L"Tarvolt.exe", version);
        MessageBoxWatcher boxes(L"Tarvolt 1.5", IDOK);
        bool markerSeen = false;
        Process resident = StartProcess(Folder().File(L"Tarvolt.exe"), L"", EnglishUserInterface());
        ASSERT_TRUE(resident);
        EXPECT_TRUE(WaitUntil(
            [&] {
                markerSeen = markerSeen || FindWindowW(nullptr, INSTANCE_TITLE) != nullptr;
                return !boxes.Boxes().empty();
            },
            15000));
        ASSERT_TRUE(resident.WaitForExit(15000).has_value());
        EXPECT_FALSE(markerSeen);

        ASSERT_EQ(1u, boxes.Boxes().size());
        const SeenBox box = boxes.Boxes().front();
        EXPECT_EQ(L"Tarvolt 1.5 works on Windows 2000, Windows XP, or later.\r\n"
                  L"Please confirm your Windows version.",
                  box.text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.icon);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_FALSE(UserKeyExists(L"Software\\Morvel\\QX-310"));
        EXPECT_TRUE(TrayIconWindows().empty());
    }
}

TEST_F(ResidentStart, KoreanVersionBoxOnOldWindows) {
    SetProgramWindowsVersion(L"Tarvolt.exe", L"win98");
    MessageBoxWatcher boxes(L"Tarvolt 1.5", IDOK);
    Process resident = StartProcess(Folder().File(L"Tarvolt.exe"), L"", KoreanUserInterface());
    ASSERT_TRUE(resident);
    ASSERT_TRUE(boxes.WaitForBoxes(1, 15000));
    EXPECT_EQ(Wide("Tarvolt 1.5는 Windows 2000, Windows XP, 또는 이후 버전에서만 정상 "
                   "동작합니다.\n\n시스템의 운영체제 버전을 확인하여 주십시오."),
              boxes.Boxes().front().text);
    EXPECT_TRUE(resident.WaitForExit(15000).has_value());
}

TEST_F(ResidentStart, WithoutTheKeyboardTheDriverErrorEndsTheProgramAndWritesNothing) {
    Keyboard::Unplug();
    const RunFolder& folder = Folder();
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    Process resident = StartProcess(folder.File(L"Tarvolt.exe"), L"", EnglishUserInterface());
    ASSERT_TRUE(resident);
    ASSERT_TRUE(boxes.WaitForBoxes(1, 20000)) << "no driver error box";
    const SeenBox box = boxes.Boxes().front();
    EXPECT_EQ(L"Error: failed to load driver", box.text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), box.icon);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);

    const auto exitCode = resident.WaitForExit(15000);
    ASSERT_TRUE(exitCode.has_value()) << "the program kept running after the driver error";
    EXPECT_FALSE(UserKeyExists(PREFERENCE_KEY));
    EXPECT_TRUE(TrayIconWindows().empty());
    EXPECT_EQ(nullptr, FindWindowW(nullptr, INSTANCE_TITLE));
}

// A copy without its marker could be neither found nor stopped.
TEST_F(ResidentStart, MarkerWindowThatCannotBeCreatedGivesABoxAndEndsTheStart) {
    osdtest::GlobalHook refusal(WH_CBT, "RefuseResidentMarker");
    ASSERT_TRUE(refusal);
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    Process resident = StartProcess(Folder().File(L"Tarvolt.exe"), L"", EnglishUserInterface());
    ASSERT_TRUE(resident);
    ASSERT_TRUE(boxes.WaitForBoxes(1, 20000)) << "no box for the missing marker";
    EXPECT_EQ(L"Tarvolt 1.5 could not create its window and cannot run.",
              boxes.Boxes().front().text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), boxes.Boxes().front().icon);
    EXPECT_TRUE(resident.WaitForExit(15000).has_value()) << "the program ran on unfindable";
    EXPECT_FALSE(UserKeyExists(PREFERENCE_KEY));
    EXPECT_TRUE(TrayIconWindows().empty());
}

TEST_F(ResidentStart, StopRequestRemovesTheIconStopsPollingAndEnds) {
    Resident resident = StartResident(Folder());
    ASSERT_NE(nullptr, resident.keyService);
    ASSERT_TRUE(WaitUntil([] { return Keyboard::PollCount(Keyboard::Log()) > 0; }, 10000))
        << "the keyboard was never polled";

    // Any other lParam is the plain dialog treatment: nothing changes, even
    // when only its low 32 bits are 999 (where lParam has more than 32).
    std::vector<unsigned long long> otherValues = {0};
    if (sizeof(LPARAM) > 4)
        otherValues.push_back(0x1000003E7ull);
    for (const unsigned long long other : otherValues) {
        SCOPED_TRACE(other);
        SendMessageTimeoutW(resident.marker, WM_CLOSE, 0, static_cast<LPARAM>(other),
                            SMTO_ABORTIFHUNG, 5000, nullptr);
        PumpMessages(300);
        EXPECT_TRUE(resident.process.IsRunning());
        EXPECT_EQ(resident.marker, FindWindowW(nullptr, INSTANCE_TITLE));
        EXPECT_FALSE(IsWindowVisible(resident.marker));
        EXPECT_TRUE(TrayIconExists(resident.keyService, TRAY_ICON_ID));
    }

    SendMessageTimeoutW(resident.marker, WM_CLOSE, 0, 999, SMTO_ABORTIFHUNG, 5000, nullptr);
    const auto exitCode = resident.process.WaitForExit(15000);
    ASSERT_TRUE(exitCode.has_value()) << "the stop request did not end the program";
    EXPECT_EQ(0u, *exitCode);
    EXPECT_FALSE(TrayIconExists(resident.keyService, TRAY_ICON_ID));
    EXPECT_TRUE(TrayIconWindows().empty());
    EXPECT_EQ(nullptr, FindWindowW(nullptr, INSTANCE_TITLE));

    Keyboard::ClearLog();
    PumpMessages(300);
    EXPECT_EQ(0u, Keyboard::PollCount(Keyboard::Log())) << "polled after the program ended";
}

TEST_F(ResidentStart, KeyServiceWindowNeverStaysVisible) {
    Resident resident = StartResident(Folder());
    ASSERT_NE(nullptr, resident.keyService);
    EXPECT_FALSE(IsWindowVisible(resident.keyService));
    EXPECT_TRUE(VisibleWindowsOf(resident.process.Id()).empty());

    // Shown by other means without a redraw, it stays up only until its next
    // paint: then it hides itself.
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE(cycle);
        SetWindowPos(resident.keyService, nullptr, 0, 0, 0, 0,
                     SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                         SWP_NOREDRAW);
        EXPECT_TRUE(IsWindowVisible(resident.keyService));
        RedrawWindow(resident.keyService, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(resident.keyService); }, 5000))
            << "the window stayed visible";
    }
    EXPECT_TRUE(StopResident(resident));
}

} // namespace
