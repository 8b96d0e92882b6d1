// The version query under each Windows version Wine can pretend to be, the
// Windows 2000 gate in front of the drive and power exports, and the power
// actions that are safe to run in the test session.
#include "CorvixTestSupport.h"
#include "shellact/Corvix.h"

#include <gtest/gtest.h>

#include <optional>

using namespace qxtest;
using namespace corvix;

namespace {

const wchar_t kProbe[] = L"CorvixProbe.exe";

// Runs the probe with Wine reporting the given version to it; its exit code.
std::optional<DWORD> RunProbe(const std::wstring& version, const std::wstring& command) {
    SetProgramWindowsVersion(kProbe, version);
    Process probe = StartProcess(TestBinPath(kProbe), command);
    std::optional<DWORD> code = probe.WaitForExit(20000);
    SetProgramWindowsVersion(kProbe, L"");
    return code;
}

TEST(CorvixWindowsVersion, EachEmulatedVersionGetsItsCode) {
    struct Case {
        const wchar_t* version;
        DWORD code;
    } cases[] = {
        {L"win95", OS_WIN95},   {L"win98", OS_WIN98},    {L"nt40", OS_NT4},
        {L"win2k", OS_WIN2000}, {L"winxp", OS_WINXP},    {L"win2003", OS_NT_LATER},
        {L"win7", OS_NT_LATER}, {L"win10", OS_NT_LATER},
    };
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.version));
        EXPECT_EQ(std::optional<DWORD>(c.code), RunProbe(c.version, L"version"));
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Bits of the probe's "gated" exit code.
constexpr DWORD GATED_COUNT = 1 << 0;
constexpr DWORD GATED_NAME = 1 << 1;
constexpr DWORD GATED_SCREENSAVER = 1 << 4;

TEST(CorvixWindows2000Gate, OlderSystemsGetTheOldVersionBoxAndNothingIsRead) {
    MachineKeys keys;
    keys.AddCdDrives({"QX DVD-ROM"}); // past the gate, count and name would succeed
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    // Every gated call fails; the registry export, which has no gate, works.
    EXPECT_EQ(std::optional<DWORD>(0), RunProbe(L"win98", L"gated"));

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(5u, seen.size()) << "one box for each of the five gated calls";
    for (const SeenBox& box : seen)
        ExpectErrorBox(box, ERROR_OLD_WIN_VERSION);
}

TEST(CorvixWindows2000Gate, Windows2000GoesThrough) {
    MachineKeys keys;
    keys.AddCdDrives({"QX DVD-ROM"});
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    // The doors fail on the missing device \\.\CdRom0.
    EXPECT_EQ(std::optional<DWORD>(GATED_COUNT | GATED_NAME | GATED_SCREENSAVER),
              RunProbe(L"win2k", L"gated"));

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(2u, seen.size()) << "one box for each door";
    for (const SeenBox& box : seen)
        ExpectErrorBox(box, ERROR_FILE_NOT_FOUND);
}

// Log-off, stand-by, hibernate and power-off would end the test session.
TEST(CorvixPower, ScreenSaverSucceedsAndUnknownActionsFailWithoutABox) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    EXPECT_EQ(TRUE, CVXP_SetPowerState(POWER_SCREENSAVER));
    for (UINT action : {5u, 6u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(FALSE, CVXP_SetPowerState(action));
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

} // namespace
