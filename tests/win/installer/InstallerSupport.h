// What the installer tests use: running the setup package and its
// uninstaller, and reading back what they left on the machine.
#pragma once

#include "support/WinTestSupport.h"

#include <optional>
#include <string>
#include <vector>

namespace qxinstaller {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QX-310";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kSettingsKey[] = L"Software\\Morvel\\QX-310";
const wchar_t kSettingsParentKey[] = L"Software\\Morvel";
const wchar_t kInstanceGuid[] = L"C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3";

// Exit codes of setup and uninstaller.
const DWORD kSetupDone = 0;
const DWORD kFolderNotWritable = 3;
const DWORD kStillRunning = 4;
const DWORD kNotInstalled = 5;

// Setup and uninstall runs end well within this, and programs, windows and
// shell commands show up or take effect within the other, on a loaded machine too.
const DWORD kSetupTimeoutMs = 60000;
const DWORD kAppearTimeoutMs = 30000;

std::wstring SetupPackage();
// Why no setup can run on this system, if so: the package's stub has no
// relocations, and this system lets no program load at the stub's base
// (32-bit Wine whose own loader is placed there). Windows keeps that address
// free for every program.
std::optional<std::string> SetupCannotLoadHere();
// File names the package carries, sorted.
std::vector<std::wstring> PackagedFiles();

// The product name of the package's own version block.
std::wstring PackageProductName();

struct VersionBlock {
    std::wstring productName;
    std::wstring productVersion; // "a.b.c.d" from the fixed part
};
std::optional<VersionBlock> ReadVersionBlock(const std::wstring& file);

// A test's own folder below the scratch folder, removed first so that it
// does not exist. Windows path; UnixScratchPath gives the same folder for
// Unix tools.
std::wstring ScratchFolder(const std::string& name);
std::string UnixScratchPath(const std::string& name);
bool FolderExists(const std::wstring& folder);
// Names of the files and folders directly in folder, sorted.
std::vector<std::wstring> FolderContents(const std::wstring& folder);
void WriteFileText(const std::wstring& file, const std::string& text);
std::optional<std::string> ReadFileText(const std::wstring& file);

// Runs setup silently into folder; extra options go before /D=, which must
// come last. Exit code, or nothing when it did not end in time.
std::optional<DWORD> RunSilentSetup(const std::wstring& folder, const std::wstring& extra = L"",
                                    const std::wstring& package = SetupPackage());
// Starts setup with its wizard, in the given user-interface language.
qxtest::Process StartSetupWizard(const std::wstring& folder, const qxtest::Environment& language,
                                 const std::wstring& package = SetupPackage());

// Runs an uninstaller the way its own launcher does: a copy in a temporary
// folder, told which program folder to remove (_?=). Unlike the launcher,
// this way its end and exit code can be awaited.
qxtest::Process StartUninstaller(const std::wstring& uninstaller, const std::wstring& folder,
                                 bool silent,
                                 const qxtest::Environment& language = qxtest::Environment());
std::optional<DWORD> RunSilentUninstaller(const std::wstring& uninstaller,
                                          const std::wstring& folder);

// Setup and uninstall window captions, as the wizard shows them.
std::wstring SetupCaption(const qxtest::Environment& language);
std::wstring UninstallCaption(const qxtest::Environment& language);

// HKEY_LOCAL_MACHINE, where the uninstall entry lives.
bool MachineKeyExists(const std::wstring& path);
std::optional<std::wstring> ReadMachineString(const std::wstring& path, const std::wstring& name);
std::optional<DWORD> ReadMachineDword(const std::wstring& path, const std::wstring& name);

// The Start-menu folder setup makes, its shortcuts (file names, sorted) and
// the program a shortcut starts.
std::wstring StartMenuFolder();
std::vector<std::wstring> StartMenuShortcuts();
std::wstring ShortcutTarget(const std::wstring& shortcut);

// Processes owning a window titled with the instance GUID (running Tarvolts).
std::vector<DWORD> RunningCopies();
// The simulated keyboard's driver, installed for the Wine session, plugged in
// with nothing queued.
void ResetSimulatedKeyboard();
qxtest::Process OpenRunningCopy(DWORD processId);

// A folder nobody can write to (immutable for root, no write permission
// otherwise); writable and removable again at scope end.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& name);
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    ~ReadOnlyFolder();

    const std::wstring& Path() const { return m_path; }
    // False when this machine offered no way to make it read-only.
    bool IsReadOnly() const;

  private:
    std::string m_unixPath;
    std::wstring m_path;
};

// Takes away what a test's installs left behind: uninstall entry, logon
// entry, Start-menu folder, settings and running copies.
void RemoveInstallTraces();

} // namespace qxinstaller
