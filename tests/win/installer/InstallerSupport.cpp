#include "InstallerSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace qxtest;

namespace qxinstaller {

namespace {

namespace fs = std::filesystem;

std::vector<std::wstring> SplitList(const std::wstring& text) {
    std::vector<std::wstring> items;
    std::wstringstream stream(text);
    std::wstring item;
    while (std::getline(stream, item, L','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

bool IsKorean(const Environment& language) {
    for (const auto& [name, value] : language)
        if (name == L"LANG" && value.rfind(L"ko", 0) == 0)
            return true;
    return false;
}

// Runs a shell command line and waits for it to end. Wine starts Unix
// programs as they are but gives no handle to wait on, so the command
// leaves a marker file last and the wait is for that.
bool RunShellCommand(const std::string& command, const std::string& unixMarker) {
    const std::wstring marker = WindowsPath(unixMarker);
    DeleteFileW(marker.c_str());
    std::wstring line =
        L"/bin/sh -c \"" + Wide(command.c_str()) + L"; touch '" + Wide(unixMarker.c_str()) + L"'\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "could not start /bin/sh, error " << GetLastError();
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const bool ended =
        WaitUntil([&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; },
                  kAppearTimeoutMs);
    DeleteFileW(marker.c_str());
    return ended;
}

bool CanCreateFileIn(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\probe.tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    DeleteFileW(probe.c_str());
    return true;
}

std::wstring VersionString(const std::vector<BYTE>& block, WORD language, WORD codePage,
                           const wchar_t* name) {
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query, &value, &length) || length == 0)
        return L"";
    return static_cast<const wchar_t*>(value);
}

// How a process ends whose program could not be placed at its base.
const DWORD kConflictingAddresses = 0xC0000018;

// The base a program without relocations must load at; nothing when it can
// be moved or is no program.
std::optional<ULONGLONG> FixedBase(const std::wstring& program) {
    const std::optional<std::string> image = ReadFileText(program);
    IMAGE_DOS_HEADER dos{};
    if (!image || image->size() < sizeof(dos))
        return std::nullopt;
    std::memcpy(&dos, image->data(), sizeof(dos));
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
        return std::nullopt;
    const size_t fileHeaderAt = static_cast<size_t>(dos.e_lfanew) + sizeof(DWORD);
    IMAGE_FILE_HEADER fileHeader{};
    IMAGE_OPTIONAL_HEADER32 optional32{};
    IMAGE_OPTIONAL_HEADER64 optional64{};
    const size_t optionalAt = fileHeaderAt + sizeof(fileHeader);
    if (image->size() < optionalAt + sizeof(optional64))
        return std::nullopt;
    std::memcpy(&fileHeader, image->data() + fileHeaderAt, sizeof(fileHeader));
    if (!(fileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED))
        return std::nullopt;
    std::memcpy(&optional32, image->data() + optionalAt, sizeof(optional32));
    std::memcpy(&optional64, image->data() + optionalAt, sizeof(optional64));
    return optional32.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? optional64.ImageBase
                                                             : optional32.ImageBase;
}

} // namespace

std::wstring SetupPackage() {
    return WindowsPath(QX_SETUP_PACKAGE);
}

std::optional<std::string> SetupCannotLoadHere() {
    const std::optional<ULONGLONG> base = FixedBase(SetupPackage());
    if (base != std::optional<ULONGLONG>(QX_SETUP_STUB_BASE))
        return std::nullopt;
    Process probe = StartProcess(TestBinPath(L"FixedBaseProbe.exe"));
    if (probe.WaitForExit(kSetupTimeoutMs) != std::optional<DWORD>(kConflictingAddresses))
        return std::nullopt;
    return "the setup stub has no relocations and must load at 0x400000, and no program "
           "can load there on this system (status c0000018)";
}

std::vector<std::wstring> PackagedFiles() {
    std::vector<std::wstring> files = SplitList(Wide(QX_PACKAGED_FILES));
    std::sort(files.begin(), files.end());
    return files;
}

std::wstring PackageProductName() {
    const std::optional<VersionBlock> block = ReadVersionBlock(SetupPackage());
    return block ? block->productName : L"";
}

std::optional<VersionBlock> ReadVersionBlock(const std::wstring& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return std::nullopt;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return std::nullopt;

    VersionBlock result;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        wchar_t version[64];
        swprintf(version, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS),
                 LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                 LOWORD(fixed->dwProductVersionLS));
        result.productVersion = version;
    }

    // The English strings when the block has them, else the first ones.
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translations), &length) &&
        length >= sizeof(Translation)) {
        const std::size_t count = length / sizeof(Translation);
        const Translation* chosen = translations;
        for (std::size_t i = 0; i < count; ++i)
            if (translations[i].language == 0x0409)
                chosen = &translations[i];
        result.productName =
            VersionString(block, chosen->language, chosen->codePage, L"ProductName");
    }
    return result;
}

std::string UnixScratchPath(const std::string& name) {
    return std::string(QX_INSTALLER_SCRATCH_DIR) + "/" + name;
}

std::wstring ScratchFolder(const std::string& name) {
    const std::wstring folder = WindowsPath(UnixScratchPath(name));
    std::error_code ignored;
    fs::remove_all(fs::path(folder), ignored);
    fs::create_directories(fs::path(folder).parent_path(), ignored);
    return folder;
}

bool FolderExists(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> FolderContents(const std::wstring& folder) {
    std::vector<std::wstring> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(folder), error))
        names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFileText(const std::wstring& file, const std::string& text) {
    std::ofstream stream(fs::path(file), std::ios::binary | std::ios::trunc);
    stream << text;
    EXPECT_TRUE(stream.good()) << "could not write a test file";
}

std::optional<std::string> ReadFileText(const std::wstring& file) {
    std::ifstream stream(fs::path(file), std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

std::optional<DWORD> RunSilentSetup(const std::wstring& folder, const std::wstring& extra,
                                    const std::wstring& package) {
    std::wstring arguments = L"/S ";
    if (!extra.empty())
        arguments += extra + L" ";
    Process setup = StartProcess(package, arguments + L"/D=" + folder);
    return setup ? setup.WaitForExit(kSetupTimeoutMs) : std::nullopt;
}

Process StartSetupWizard(const std::wstring& folder, const Environment& language,
                         const std::wstring& package) {
    return StartProcess(package, L"/D=" + folder, language);
}

Process StartUninstaller(const std::wstring& uninstaller, const std::wstring& folder, bool silent,
                         const Environment& language) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring copy = std::wstring(temp) + L"QxUninstallerCopy.exe";
    if (!CopyFileW(uninstaller.c_str(), copy.c_str(), FALSE)) {
        ADD_FAILURE() << "no uninstaller to copy, error " << GetLastError();
        return Process();
    }
    std::wstring arguments = silent ? L"/S " : L"";
    return StartProcess(copy, arguments + L"_?=" + folder, language);
}

std::optional<DWORD> RunSilentUninstaller(const std::wstring& uninstaller,
                                          const std::wstring& folder) {
    Process run = StartUninstaller(uninstaller, folder, true);
    return run ? run.WaitForExit(kSetupTimeoutMs) : std::nullopt;
}

std::wstring SetupCaption(const Environment& language) {
    return PackageProductName() + (IsKorean(language) ? Wide(" 설치") : L" Setup");
}

std::wstring UninstallCaption(const Environment& language) {
    return PackageProductName() + (IsKorean(language) ? Wide(" 제거") : L" Uninstall");
}

bool MachineKeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::optional<std::wstring> ReadMachineString(const std::wstring& path, const std::wstring& name) {
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

std::optional<DWORD> ReadMachineDword(const std::wstring& path, const std::wstring& name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::wstring StartMenuFolder() {
    wchar_t programs[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs)))
        return L"";
    return std::wstring(programs) + L"\\QX-310";
}

std::vector<std::wstring> StartMenuShortcuts() {
    return FolderContents(StartMenuFolder());
}

std::wstring ShortcutTarget(const std::wstring& shortcut) {
    std::wstring target;
    const HRESULT init = CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t path[MAX_PATH] = L"";
            if (SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
                target = path;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return target;
}

std::vector<DWORD> RunningCopies() {
    std::vector<DWORD> owners;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, nullptr, kInstanceGuid)) != nullptr) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        owners.push_back(processId);
    }
    return owners;
}

// Runs a console program with its output thrown away.
std::optional<DWORD> RunQuietConsoleProgram(const std::wstring& program,
                                            const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION info = {};
    std::string failure;
    const bool started = CreateProcessTwice(program, commandLine, TRUE, CREATE_NO_WINDOW, nullptr,
                                            nullptr, startup, info, failure);
    CloseHandle(nul);
    if (!started)
        return std::nullopt;
    Process process(info.hProcess, info.hThread, info.dwProcessId);
    return process.WaitForExit(kAppearTimeoutMs);
}

void ResetSimulatedKeyboard() {
    EXPECT_EQ(std::optional<DWORD>(0), RunQuietConsoleProgram(KeyboardSimPath(), L"reset"));
}

Process OpenRunningCopy(DWORD processId) {
    HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
    return process ? Process(process, nullptr, processId) : Process();
}

ReadOnlyFolder::ReadOnlyFolder(const std::string& name)
    : m_unixPath(UnixScratchPath(name)), m_path(WindowsPath(m_unixPath)) {
    // In one command so the steps keep their order; chattr -i first in case
    // an earlier run ended before it could unlock the folder. Nothing probes
    // the folder before the command ends: a probe file made just before the
    // lock could not be removed and would stay in the folder.
    const std::string folder = "'" + m_unixPath + "'";
    EXPECT_TRUE(RunShellCommand("chattr -i " + folder + " 2>/dev/null; rm -rf " + folder +
                                    "; mkdir -p " + folder + "; chmod a-w " + folder +
                                    "; chattr +i " + folder + " 2>/dev/null",
                                m_unixPath + ".done"))
        << "the shell did not lock " << m_unixPath;
}

ReadOnlyFolder::~ReadOnlyFolder() {
    const std::string folder = "'" + m_unixPath + "'";
    EXPECT_TRUE(RunShellCommand("chattr -i " + folder + " 2>/dev/null; chmod u+w " + folder,
                                m_unixPath + ".done"))
        << "the shell did not unlock " << m_unixPath;
}

bool ReadOnlyFolder::IsReadOnly() const {
    return FolderExists(m_path) && !CanCreateFileIn(m_path);
}

void RemoveInstallTraces() {
    for (DWORD processId : RunningCopies())
        OpenRunningCopy(processId).Kill();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    HKEY run = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        RegDeleteValueW(run, L"Tarvolt");
        RegCloseKey(run);
    }
    std::error_code ignored;
    fs::remove_all(fs::path(StartMenuFolder()), ignored);
    DeleteUserKey(kSettingsKey);
}

} // namespace qxinstaller
