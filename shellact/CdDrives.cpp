#include "AudioCdCommand.h"
#include "ShellActionApp.h"
#include "ShellActions.h"

#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace corvix {

namespace {

const char kCdRomEnumKey[] = "System\\CurrentControlSet\\Services\\CdRom\\Enum";
const char kDeviceEnumKey[] = "System\\CurrentControlSet\\Enum\\";
const char kAudioCdPlayKey[] = "AudioCD\\shell\\play\\command";
constexpr DWORD VALUE_BUFFER_SIZE = 1024;

// The count of CD drives the CD-ROM class driver has enumerated; 0 when it
// cannot be read.
DWORD ReadCdDriveCount() {
    qx::unique_hkey key(OpenRegistryKey(HKEY_LOCAL_MACHINE, kCdRomEnumKey));
    if (!key)
        return 0;
    DWORD count = 0;
    DWORD size = sizeof count;
    if (!QueryRegistryValue(key.get(), "Count", nullptr, reinterpret_cast<BYTE*>(&count), &size))
        return 0;
    return count;
}

// The device-instance path of the index-th drive.
std::optional<std::string> ReadCdDriveInstancePath(unsigned index) {
    qx::unique_hkey key(OpenRegistryKey(HKEY_LOCAL_MACHINE, kCdRomEnumKey));
    if (!key)
        return std::nullopt;
    const std::string valueName = std::to_string(index);
    char path[VALUE_BUFFER_SIZE] = {};
    DWORD size = sizeof path - 1; // the last byte stays the terminator
    if (!QueryRegistryValue(key.get(), valueName.c_str(), nullptr, reinterpret_cast<BYTE*>(path),
                            &size))
        return std::nullopt;
    return std::string(path);
}

// The device \\.\CdRomN; shows the error box when it cannot be opened.
qx::unique_hfile OpenCdRomDevice(int deviceNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\CdRom%d", deviceNumber);
    qx::unique_hfile device(
        ::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device)
        theApp.ShowErrorBox(::GetLastError());
    return device;
}

// Runs one tray command; returns when the drive has finished.
BOOL MoveCdDriveTray(int deviceNumber, DWORD controlCode) {
    if (!RequireWindows2000())
        return FALSE;
    const qx::unique_hfile device = OpenCdRomDevice(deviceNumber);
    if (!device)
        return FALSE;
    DWORD returned = 0;
    return ::DeviceIoControl(device.get(), controlCode, nullptr, 0, nullptr, 0, &returned, nullptr)
               ? TRUE
               : FALSE;
}

// The registered play command for audio CDs; empty when none can be read.
std::string ReadAudioCdPlayCommand() {
    qx::unique_hkey key(OpenRegistryKey(HKEY_CLASSES_ROOT, kAudioCdPlayKey));
    if (!key)
        return std::string();
    char command[VALUE_BUFFER_SIZE] = {};
    DWORD size = sizeof command;
    if (!QueryRegistryValue(key.get(), nullptr, nullptr, reinterpret_cast<BYTE*>(command), &size))
        return std::string();
    // A value that fills the buffer exactly carries no terminator.
    return std::string(command, ::strnlen(command, size));
}

} // namespace

DWORD CountCdDrives() {
    if (!RequireWindows2000())
        return 0;
    return ReadCdDriveCount();
}

BOOL ReadCdDriveName(unsigned index, char* name, DWORD* size) {
    if (!RequireWindows2000() || index >= ReadCdDriveCount())
        return FALSE;
    const std::optional<std::string> instancePath = ReadCdDriveInstancePath(index);
    if (!instancePath)
        return FALSE;
    qx::unique_hkey device(
        OpenRegistryKey(HKEY_LOCAL_MACHINE, (kDeviceEnumKey + *instancePath).c_str()));
    if (!device)
        return FALSE;
    return QueryRegistryValue(device.get(), "FriendlyName", nullptr, reinterpret_cast<BYTE*>(name),
                              size);
}

BOOL OpenCdDriveDoor(int deviceNumber) {
    return MoveCdDriveTray(deviceNumber, IOCTL_STORAGE_EJECT_MEDIA);
}

BOOL CloseCdDriveDoor(int deviceNumber) {
    return MoveCdDriveTray(deviceNumber, IOCTL_STORAGE_LOAD_MEDIA);
}

BOOL PlayAudioCd(const char* drive) {
    if (!drive)
        return FALSE;
    const std::string registered = ReadAudioCdPlayCommand();
    if (registered.empty())
        return FALSE;
    // WinExec reports failure with a code of 31 or less.
    return ::WinExec(AudioCdPlayCommand(registered, drive).c_str(), SW_SHOWNORMAL) > 31 ? TRUE
                                                                                        : FALSE;
}

} // namespace corvix
