// The 64-bit setup package as users and administrators meet it: silent and
// wizard installs, upgrades over a running copy, uninstalls, and the ways
// they must fail without harm.
#include "InstallerSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace qxtest;
using namespace qxinstaller;

namespace {

const wchar_t kUninstaller[] = L"Uninstall.exe";
const wchar_t kPreferenceKey[] = L"Software\\Morvel\\QX-310\\Preference";
const wchar_t kProg1Key[] = L"Software\\Morvel\\QX-310\\User Keys\\Prog 1";

bool SameText(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::vector<std::wstring> InstalledFiles() {
    std::vector<std::wstring> files = PackagedFiles();
    files.push_back(kUninstaller);
    std::sort(files.begin(), files.end());
    return files;
}

void SeedSettings() {
    SetUserString(kPreferenceKey, L"OSDRGBColor", "255`0`0");
    SetUserString(kProg1Key, L"Command", "http://example.invalid/");
}

void ExpectSettingsKept() {
    EXPECT_EQ(std::optional<std::string>("255`0`0"),
              ReadUserString(kPreferenceKey, L"OSDRGBColor"));
    EXPECT_EQ(std::optional<std::string>("http://example.invalid/"),
              ReadUserString(kProg1Key, L"Command"));
}

std::optional<std::string> RunEntry() {
    return ReadUserString(kRunKey, L"Tarvolt");
}

std::string QuotedProgram(const std::wstring& folder, const wchar_t* program) {
    return "\"" + Narrow(folder) + "\\" + Narrow(program) + "\"";
}

// The wizard window whose title, without the blank that its pages may
// append, is caption.
HWND WaitForWizard(const std::wstring& caption) {
    HWND wizard = nullptr;
    WaitUntil(
        [&] {
            for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window;
                 window = FindWindowExW(nullptr, window, L"#32770", nullptr)) {
                std::wstring title = WindowText(window);
                while (!title.empty() && title.back() == L' ')
                    title.pop_back();
                if (title == caption) {
                    wizard = window;
                    return true;
                }
            }
            return false;
        },
        kAppearTimeoutMs);
    return wizard;
}

HWND ChildWithText(HWND parent, const std::wstring& text) {
    for (HWND child : ChildWindows(parent)) {
        if (WindowText(child) == text)
            return child;
    }
    return nullptr;
}

// A control of the wizard's current page, once the page is up.
HWND WaitForControl(HWND wizard, const std::wstring& text) {
    HWND control = nullptr;
    WaitUntil(
        [&] {
            control = ChildWithText(wizard, text);
            return control != nullptr;
        },
        kAppearTimeoutMs);
    return control;
}

// A copy of the installed uninstaller kept outside the program folder, as a
// user might keep one.
std::wstring KeepUninstallerCopy(const std::wstring& folder, const std::string& name) {
    const std::wstring keptFolder = ScratchFolder(name);
    CreateDirectoryW(keptFolder.c_str(), nullptr);
    const std::wstring copy = keptFolder + L"\\" + kUninstaller;
    EXPECT_TRUE(CopyFileW((folder + L"\\" + kUninstaller).c_str(), copy.c_str(), FALSE));
    return copy;
}

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::optional<std::string> reason = SetupCannotLoadHere())
            GTEST_SKIP() << *reason;
        RemoveInstallTraces();
    }
    void TearDown() override { RemoveInstallTraces(); }

    // Installs silently into a fresh scratch folder and checks that it worked.
    std::wstring InstallFresh(const std::string& name) {
        const std::wstring folder = ScratchFolder(name);
        const std::optional<DWORD> exitCode = RunSilentSetup(folder);
        EXPECT_EQ(std::optional<DWORD>(kSetupDone), exitCode) << "silent setup into a new folder";
        EXPECT_EQ(InstalledFiles(), FolderContents(folder));
        return folder;
    }
};

// Tarvolt itself, installed by the shipped setup, on the simulated keyboard's
// driver.
class InstallerWithTarvolt : public InstallerTest {
  protected:
    void SetUp() override {
        InstallerTest::SetUp();
        if (IsSkipped())
            return;
        ResetSimulatedKeyboard();
        DeleteUserKey(kSettingsKey);
    }

    void TearDown() override {
        InstallerTest::TearDown();
        ResetSimulatedKeyboard();
    }

    // Installs, starts the installed Tarvolt and waits until it runs on the
    // keyboard: it writes its preference defaults only once the device link is open.
    Process InstallAndStartTarvolt(const std::wstring& folder) {
        EXPECT_EQ(std::optional<DWORD>(kSetupDone), RunSilentSetup(folder));
        Process tarvolt = StartProcess(folder + L"\\Tarvolt.exe");
        const DWORD id = tarvolt.Id();
        EXPECT_TRUE(
            WaitUntil([&] { return RunningCopies() == std::vector<DWORD>{id}; }, kAppearTimeoutMs))
            << "no marker window of the installed Tarvolt";
        EXPECT_TRUE(WaitUntil([] { return UserKeyExists(kPreferenceKey); }, kAppearTimeoutMs))
            << "the installed Tarvolt did not open the device link";
        return tarvolt;
    }
};

class InstallerSilent : public InstallerTest {};
class InstallerReadOnlyFolder : public InstallerTest {};
class InstallerRunningCopy : public InstallerTest {};
class InstallerWizard : public InstallerTest {};

TEST_F(InstallerSilent, PutsTheDeliverablesShortcutsAndEntriesInPlace) {
    const std::wstring folder = InstallFresh("silent");
    ASSERT_EQ(InstalledFiles(), FolderContents(folder));

    // Tarvolt's version block names the product.
    const std::optional<VersionBlock> product = ReadVersionBlock(folder + L"\\Tarvolt.exe");
    ASSERT_TRUE(product.has_value()) << "the installed Tarvolt has no version block";
    EXPECT_EQ(product->productName, PackageProductName()) << "the package's own version block";
    EXPECT_EQ(product->productName, ReadMachineString(kUninstallKey, L"DisplayName"));
    EXPECT_EQ(product->productVersion, ReadMachineString(kUninstallKey, L"DisplayVersion"));
    EXPECT_EQ(folder, ReadMachineString(kUninstallKey, L"InstallLocation"));
    EXPECT_EQ(L"\"" + folder + L"\\Uninstall.exe\"",
              ReadMachineString(kUninstallKey, L"UninstallString"));
    EXPECT_EQ(L"\"" + folder + L"\\Uninstall.exe\" /S",
              ReadMachineString(kUninstallKey, L"QuietUninstallString"));
    EXPECT_EQ(std::optional<DWORD>(1), ReadMachineDword(kUninstallKey, L"NoModify"));

    EXPECT_EQ(std::optional<std::string>(QuotedProgram(folder, L"Tarvolt.exe")), RunEntry());

    struct Shortcut {
        const wchar_t* name;
        const wchar_t* program;
    };
    std::vector<std::wstring> expectedShortcuts;
    for (const Shortcut& shortcut : {Shortcut{L"Tarvolt.lnk", L"Tarvolt.exe"},
                                     Shortcut{L"User Key Configuration.lnk", L"Pellor.exe"},
                                     Shortcut{L"Uninstall.lnk", kUninstaller}}) {
        SCOPED_TRACE(Narrow(shortcut.name));
        expectedShortcuts.push_back(shortcut.name);
        const std::wstring target = ShortcutTarget(StartMenuFolder() + L"\\" + shortcut.name);
        EXPECT_TRUE(SameText(folder + L"\\" + shortcut.program, target)) << Narrow(target);
    }
    std::sort(expectedShortcuts.begin(), expectedShortcuts.end());
    EXPECT_EQ(expectedShortcuts, StartMenuShortcuts());
}

// How a test starts an uninstall and waits for its end.
enum class UninstallWay { TemporaryCopy, OwnLauncher };

TEST_F(InstallerSilent, UninstallRemovesWhatSetupAddedAndKeepsTheSettings) {
    struct Case {
        const char* label;
        UninstallWay way;
        bool userFileInFolder;
    };
    for (const Case& c :
         {Case{"temporary copy", UninstallWay::TemporaryCopy, false},
          Case{"its own launcher", UninstallWay::OwnLauncher, false},
          Case{"a file of the user's in the folder", UninstallWay::TemporaryCopy, true}}) {
        SCOPED_TRACE(c.label);
        RemoveInstallTraces();
        const std::wstring folder = InstallFresh("uninstall");
        SeedSettings();
        if (c.userFileInFolder)
            WriteFileText(folder + L"\\notes.txt", "mine");

        const std::wstring uninstaller = folder + L"\\" + kUninstaller;
        if (c.way == UninstallWay::TemporaryCopy) {
            EXPECT_EQ(std::optional<DWORD>(kSetupDone), RunSilentUninstaller(uninstaller, folder));
        } else {
            // The launcher hands over to a copy of itself and ends at once.
            Process launcher = StartProcess(uninstaller, L"/S");
            EXPECT_TRUE(launcher.WaitForExit(kSetupTimeoutMs).has_value());
            EXPECT_TRUE(
                WaitUntil([&] { return !MachineKeyExists(kUninstallKey); }, kSetupTimeoutMs));
        }

        if (c.userFileInFolder)
            EXPECT_EQ(std::vector<std::wstring>{L"notes.txt"}, FolderContents(folder));
        else
            EXPECT_FALSE(FolderExists(folder)) << "the emptied program folder stays, holding "
                                               << ::testing::PrintToString(FolderContents(folder));
        EXPECT_EQ(std::vector<std::wstring>{}, StartMenuShortcuts());
        EXPECT_FALSE(FolderExists(StartMenuFolder()));
        EXPECT_FALSE(RunEntry().has_value());
        EXPECT_FALSE(MachineKeyExists(kUninstallKey));
        ExpectSettingsKept();
    }
}

TEST_F(InstallerSilent, SecondUninstallFailsAndChangesNothing) {
    const std::wstring folder = InstallFresh("second-uninstall");
    const std::wstring keptCopy = KeepUninstallerCopy(folder, "second-uninstall-kept");
    SeedSettings();
    ASSERT_EQ(std::optional<DWORD>(kSetupDone),
              RunSilentUninstaller(folder + L"\\" + kUninstaller, folder));

    // What a second run would wrongly take away if it went ahead.
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileText(folder + L"\\Tarvolt.exe", "not ours to remove");
    SetUserString(kRunKey, L"Tarvolt", QuotedProgram(folder, L"Tarvolt.exe"));

    EXPECT_EQ(std::optional<DWORD>(kNotInstalled), RunSilentUninstaller(keptCopy, folder));
    EXPECT_EQ(std::optional<std::string>("not ours to remove"),
              ReadFileText(folder + L"\\Tarvolt.exe"));
    EXPECT_EQ(std::optional<std::string>(QuotedProgram(folder, L"Tarvolt.exe")), RunEntry());
    ExpectSettingsKept();
}

TEST_F(InstallerWizard, SecondUninstallSaysSoInTheUserLanguage) {
    struct Case {
        const char* label;
        Environment language;
        const char* says;
    };
    const std::wstring folder = InstallFresh("second-uninstall-box");
    const std::wstring keptCopy = KeepUninstallerCopy(folder, "second-uninstall-box-kept");
    ASSERT_EQ(std::optional<DWORD>(kSetupDone),
              RunSilentUninstaller(folder + L"\\" + kUninstaller, folder));

    for (const Case& c : {Case{"English", EnglishUserInterface(), "is not installed in"},
                          Case{"Korean", KoreanUserInterface(), "설치되어 있지 않습니다"}}) {
        SCOPED_TRACE(c.label);
        MessageBoxWatcher watcher(UninstallCaption(c.language), IDOK);
        Process uninstall = StartUninstaller(keptCopy, folder, false, c.language);
        ASSERT_TRUE(watcher.WaitForBoxes(1, kAppearTimeoutMs))
            << "no box captioned " << Narrow(UninstallCaption(c.language));
        const SeenBox box = watcher.Boxes().front();
        EXPECT_TRUE(Contains(box.text, Wide(c.says))) << Narrow(box.text);
        EXPECT_TRUE(Contains(box.text, folder));
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.icon);
        EXPECT_EQ(std::optional<DWORD>(kNotInstalled), uninstall.WaitForExit(kSetupTimeoutMs));
    }
}

TEST_F(InstallerReadOnlyFolder, SilentSetupFailsAndChangesNothing) {
    ReadOnlyFolder readOnly("read-only");
    if (!readOnly.IsReadOnly())
        GTEST_SKIP() << "this machine offers no way to make a folder read-only";
    Process runningCopy = StartProcess(TestBinPath(L"RunningCopyStandIn.exe"));
    ASSERT_TRUE(WaitUntil([] { return !RunningCopies().empty(); }, kAppearTimeoutMs));

    struct Case {
        const char* label;
        std::wstring folder;
    };
    for (const Case& c : {Case{"the folder itself", readOnly.Path()},
                          Case{"a new folder inside it", readOnly.Path() + L"\\QX-310"}}) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(std::optional<DWORD>(kFolderNotWritable), RunSilentSetup(c.folder));
        EXPECT_TRUE(FolderContents(readOnly.Path()).empty());
        EXPECT_FALSE(MachineKeyExists(kUninstallKey));
        EXPECT_FALSE(RunEntry().has_value());
        EXPECT_FALSE(FolderExists(StartMenuFolder()));
        EXPECT_TRUE(runningCopy.IsRunning()) << "setup stopped the running copy for nothing";
    }
}

TEST_F(InstallerReadOnlyFolder, WizardSaysWhichFolderItCannotWriteTo) {
    ReadOnlyFolder readOnly("read-only-wizard");
    if (!readOnly.IsReadOnly())
        GTEST_SKIP() << "this machine offers no way to make a folder read-only";
    const Environment language = EnglishUserInterface();
    MessageBoxWatcher watcher(SetupCaption(language), IDOK);
    Process setup = StartSetupWizard(readOnly.Path(), language);
    HWND wizard = WaitForWizard(SetupCaption(language));
    ASSERT_NE(nullptr, wizard) << "no window titled " << Narrow(SetupCaption(language));

    ASSERT_NE(nullptr, WaitForControl(wizard, readOnly.Path())) << "no folder page";
    ClickButton(wizard, IDOK); // Install
    ASSERT_TRUE(watcher.WaitForBoxes(1, kAppearTimeoutMs));
    const SeenBox box = watcher.Boxes().front();
    EXPECT_TRUE(Contains(box.text, L"cannot write to the folder")) << Narrow(box.text);
    EXPECT_TRUE(Contains(box.text, readOnly.Path())) << Narrow(box.text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.icon);

    // Still on the folder page, where another folder can be chosen.
    EXPECT_TRUE(IsWindow(wizard));
    EXPECT_NE(nullptr, ChildWithText(wizard, readOnly.Path()));
    ClickButton(wizard, IDCANCEL);
    EXPECT_TRUE(setup.WaitForExit(kSetupTimeoutMs).has_value());
    EXPECT_FALSE(MachineKeyExists(kUninstallKey));
}

// What brings a running copy's stop request: an upgrade or an uninstall.
enum class StopBy { Upgrade, Uninstall };

std::optional<DWORD> RunStoppingAction(StopBy action, const std::wstring& folder) {
    if (action == StopBy::Upgrade)
        return RunSilentSetup(folder);
    return RunSilentUninstaller(folder + L"\\" + kUninstaller, folder);
}

TEST_F(InstallerRunningCopy, IsStoppedThroughItsMarkerWindow) {
    struct Case {
        const char* label;
        StopBy action;
    };
    for (const Case& c : {Case{"upgrade", StopBy::Upgrade}, Case{"uninstall", StopBy::Uninstall}}) {
        SCOPED_TRACE(c.label);
        RemoveInstallTraces();
        const std::wstring folder = InstallFresh("running-copy");
        const std::wstring tampered = folder + L"\\" + PackagedFiles().front();
        WriteFileText(tampered, "old");
        // Only WM_CLOSE with lParam 999 ends the stand-in.
        Process runningCopy = StartProcess(TestBinPath(L"RunningCopyStandIn.exe"));
        ASSERT_TRUE(WaitUntil([] { return !RunningCopies().empty(); }, kAppearTimeoutMs));

        EXPECT_EQ(std::optional<DWORD>(kSetupDone), RunStoppingAction(c.action, folder));
        EXPECT_EQ(std::optional<DWORD>(0), runningCopy.WaitForExit(5000))
            << "the running copy was not asked to stop";
        if (c.action == StopBy::Upgrade)
            EXPECT_NE(std::optional<std::string>("old"), ReadFileText(tampered));
        else
            EXPECT_FALSE(FolderExists(folder));
    }
}

TEST_F(InstallerRunningCopy, ThatDoesNotStopMakesSetupGiveUpWithinTenSeconds) {
    struct Case {
        const char* label;
        StopBy action;
    };
    for (const Case& c : {Case{"upgrade", StopBy::Upgrade}, Case{"uninstall", StopBy::Uninstall}}) {
        SCOPED_TRACE(c.label);
        RemoveInstallTraces();
        const std::wstring folder = InstallFresh("stuck-copy");
        const std::wstring tampered = folder + L"\\" + PackagedFiles().front();
        WriteFileText(tampered, "old");
        Process runningCopy =
            StartProcess(TestBinPath(L"RunningCopyStandIn.exe"), L"--ignore-close");
        ASSERT_TRUE(WaitUntil([] { return !RunningCopies().empty(); }, kAppearTimeoutMs));

        const DWORD start = GetTickCount();
        EXPECT_EQ(std::optional<DWORD>(kStillRunning), RunStoppingAction(c.action, folder));
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_GE(elapsed, 9500u) << "gave up before the ten seconds were over";
        EXPECT_LT(elapsed, 30000u) << "waited far longer than ten seconds";

        EXPECT_TRUE(runningCopy.IsRunning());
        EXPECT_EQ(std::optional<std::string>("old"), ReadFileText(tampered));
        EXPECT_EQ(InstalledFiles(), FolderContents(folder));
        EXPECT_TRUE(MachineKeyExists(kUninstallKey));
    }
}

TEST_F(InstallerWizard, FollowsTheUserLanguage) {
    struct Case {
        const char* label;
        Environment language;
        const char* installButton;
        const char* removeSettings;
        const char* screenshot;
    };
    const std::wstring folder = InstallFresh("wizard-language");
    const std::wstring uninstaller = folder + L"\\" + kUninstaller;
    for (const Case& c :
         {Case{"English", EnglishUserInterface(), "&Install", "Remove my settings", "installer-en"},
          Case{"Korean", KoreanUserInterface(), "설치", "내 설정 제거", "installer-ko"}}) {
        SCOPED_TRACE(c.label);
        const std::wstring newFolder = ScratchFolder("wizard-language-new");
        Process setup = StartSetupWizard(newFolder, c.language);
        HWND wizard = WaitForWizard(SetupCaption(c.language));
        ASSERT_NE(nullptr, wizard) << "no window titled " << Narrow(SetupCaption(c.language));
        ASSERT_NE(nullptr, WaitForControl(wizard, newFolder)) << "no folder page";
        EXPECT_EQ(Wide(c.installButton), DialogItemText(wizard, IDOK));
        TakeScreenshot(std::string(c.screenshot) + "-setup");
        ClickButton(wizard, IDCANCEL);
        EXPECT_TRUE(setup.WaitForExit(kSetupTimeoutMs).has_value());

        Process uninstall = StartUninstaller(uninstaller, folder, false, c.language);
        HWND uninstallWizard = WaitForWizard(UninstallCaption(c.language));
        ASSERT_NE(nullptr, uninstallWizard)
            << "no window titled " << Narrow(UninstallCaption(c.language));
        EXPECT_NE(nullptr, WaitForControl(uninstallWizard, Wide(c.removeSettings)));
        TakeScreenshot(std::string(c.screenshot) + "-uninstall");
        ClickButton(uninstallWizard, IDCANCEL);
        EXPECT_TRUE(uninstall.WaitForExit(kSetupTimeoutMs).has_value());
    }
    EXPECT_TRUE(MachineKeyExists(kUninstallKey)) << "a cancelled uninstall removed the entry";
}

TEST_F(InstallerWizard, RemoveMySettingsTickedRemovesThem) {
    const std::wstring folder = InstallFresh("remove-settings");
    SeedSettings();
    const Environment language = EnglishUserInterface();
    Process uninstall = StartUninstaller(folder + L"\\" + kUninstaller, folder, false, language);
    HWND wizard = WaitForWizard(UninstallCaption(language));
    ASSERT_NE(nullptr, wizard);
    HWND box = WaitForControl(wizard, L"Remove my settings");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(box, BM_GETCHECK, 0, 0)) << "settings go by default";

    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    ClickButton(wizard, IDOK); // Uninstall
    ASSERT_TRUE(WaitUntil([] { return !MachineKeyExists(kUninstallKey); }, kSetupTimeoutMs));
    // The finish page comes once the files are gone.
    EXPECT_TRUE(
        WaitUntil([&] { return DialogItemText(wizard, IDOK) == L"&Finish"; }, kAppearTimeoutMs));
    ClickButton(wizard, IDOK);
    EXPECT_EQ(std::optional<DWORD>(kSetupDone), uninstall.WaitForExit(kSetupTimeoutMs));

    EXPECT_FALSE(UserKeyExists(kSettingsKey));
    EXPECT_FALSE(UserKeyExists(kSettingsParentKey)) << "an empty Morvel key is left behind";
    EXPECT_FALSE(FolderExists(folder));
}

TEST_F(InstallerWithTarvolt, InstalledTarvoltRunsAndUninstallStopsItKeepingItsSettings) {
    const std::wstring folder = ScratchFolder("tarvolt");
    Process tarvolt = InstallAndStartTarvolt(folder);
    ASSERT_TRUE(tarvolt.IsRunning()) << "the installed Tarvolt ended";

    EXPECT_EQ(std::optional<DWORD>(kSetupDone),
              RunSilentUninstaller(folder + L"\\" + kUninstaller, folder));
    EXPECT_EQ(std::optional<DWORD>(0), tarvolt.WaitForExit(5000)) << "Tarvolt was not stopped";
    EXPECT_TRUE(RunningCopies().empty());
    EXPECT_FALSE(FolderExists(folder));
    EXPECT_FALSE(RunEntry().has_value());
    EXPECT_TRUE(UserKeyExists(kPreferenceKey)) << "the settings went with the program";
}

TEST_F(InstallerWithTarvolt, UpgradeStopsTarvoltAndStartsOneCopyWhenAsked) {
    struct Case {
        const char* label;
        bool wizard;
        const wchar_t* options;
        bool startsAgain;
    };
    for (const Case& c :
         {Case{"silent", false, L"", false}, Case{"silent with /RUN", false, L"/RUN", true},
          Case{"wizard with Start Tarvolt now ticked", true, L"", true}}) {
        SCOPED_TRACE(c.label);
        RemoveInstallTraces();
        const std::wstring folder = ScratchFolder("tarvolt-upgrade");
        Process before = InstallAndStartTarvolt(folder);
        ASSERT_TRUE(before.IsRunning());

        if (c.wizard) {
            const Environment language = EnglishUserInterface();
            Process setup = StartSetupWizard(folder, language);
            HWND wizard = WaitForWizard(SetupCaption(language));
            ASSERT_NE(nullptr, WaitForControl(wizard, folder)) << "no folder page";
            ClickButton(wizard, IDOK); // Install
            HWND startNow = WaitForControl(wizard, L"Start Tarvolt now");
            ASSERT_NE(nullptr, startNow) << "no finish page offering to start Tarvolt";
            EXPECT_EQ(BST_CHECKED, SendMessageW(startNow, BM_GETCHECK, 0, 0));
            ClickButton(wizard, IDOK); // Finish
            EXPECT_EQ(std::optional<DWORD>(kSetupDone), setup.WaitForExit(kSetupTimeoutMs));
        } else {
            EXPECT_EQ(std::optional<DWORD>(kSetupDone), RunSilentSetup(folder, c.options));
        }
        EXPECT_TRUE(before.WaitForExit(5000).has_value()) << "the old copy still runs";

        if (c.startsAgain) {
            EXPECT_TRUE(WaitUntil(
                [&] {
                    const std::vector<DWORD> copies = RunningCopies();
                    return copies.size() == 1 && copies.front() != before.Id();
                },
                kAppearTimeoutMs))
                << "no new copy came up";
            EXPECT_EQ(1u, ProcessIdsOf(L"Tarvolt.exe").size());
        } else {
            // Setup has ended: a copy it started would be there by now.
            EXPECT_TRUE(ProcessIdsOf(L"Tarvolt.exe").empty());
        }
    }
}

} // namespace
