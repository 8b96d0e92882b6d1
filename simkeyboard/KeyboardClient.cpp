#include "KeyboardClient.h"

#include "KeyboardLog.h"

#include "framework/Handles.h"

#include <windows.h>

#include <newdev.h>
#include <setupapi.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace simkeyboard {

namespace {

// {A9A19853-B63B-4DC4-A657-0CF2DC44D9B2}
const GUID KEYBOARD_INTERFACE_GUID = {
    0xA9A19853, 0xB63B, 0x4DC4, {0xA6, 0x57, 0x0C, 0xF2, 0xDC, 0x44, 0xD9, 0xB2}};
constexpr char DEVICE_INSTANCE[] = "ROOT\\QXSIMKBD\\";

// A prefix still settling after wineboot may take an install without
// starting the devices: each attempt waits for the interface, then installs
// again.
constexpr int INSTALL_ATTEMPTS = 3;
constexpr DWORD INTERFACE_WAIT_MS = 4000;
constexpr DWORD RETRY_PAUSE_MS = 2000;
constexpr DWORD INTERFACE_CHECK_MS = 50;
constexpr std::size_t LOG_RECORDS_PER_REQUEST = 64;

struct DeviceSetTraits {
    using Type = HDEVINFO;
    static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close_(HDEVINFO set) { SetupDiDestroyDeviceInfoList(set); }
};
using unique_hdevinfo = qx::unique_any<DeviceSetTraits>;

CommandOutcome Done(std::string text) {
    return {EXIT_DONE, std::move(text)};
}

CommandOutcome Failed(std::string text) {
    return {EXIT_NO_KEYBOARD, "KeyboardSim: " + std::move(text)};
}

std::string ErrorText(const char* what) {
    return std::string(what) + " failed, error " + std::to_string(GetLastError()) + "\n";
}

// The path of the first present interface of the class, if any.
std::optional<std::string> InterfacePath(const GUID& interfaceClass) {
    unique_hdevinfo set(SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set)
        return std::nullopt;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &interfaceClass, 0, &data))
        return std::nullopt;
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set.get(), &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return std::nullopt;
    std::vector<BYTE> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof *detail;
    if (!SetupDiGetDeviceInterfaceDetailA(set.get(), &data, detail, size, nullptr, nullptr))
        return std::nullopt;
    return std::string(detail->DevicePath);
}

qx::unique_hfile OpenControl() {
    const HANDLE control = CreateFileA(QXSIM_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    return qx::unique_hfile(control == INVALID_HANDLE_VALUE ? nullptr : control);
}

bool Control(HANDLE control, DWORD code, const void* input, DWORD inputLength, void* output,
             DWORD outputSize, DWORD* returned = nullptr) {
    DWORD ignored = 0;
    return DeviceIoControl(control, code, const_cast<void*>(input), inputLength, output, outputSize,
                           returned ? returned : &ignored, nullptr) != FALSE;
}

bool KeyboardInterfacePresent() {
    return KeyboardInterfacePath().has_value();
}

bool WaitForKeyboard(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (KeyboardInterfacePresent() && OpenControl())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(INTERFACE_CHECK_MS);
    }
}

std::string DeviceInstance(unsigned index) {
    return DEVICE_INSTANCE + std::to_string(index);
}

// A root-enumerated device the driver is installed on, one per interface; an
// existing one is taken as it is.
bool RegisterDevice(unsigned index) {
    unique_hdevinfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set)
        return false;
    const GUID noClass = {};
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set.get(), DeviceInstance(index).c_str(), &noClass, nullptr,
                                  nullptr, 0, &device))
        return GetLastError() == ERROR_DEVINST_ALREADY_EXISTS;
    static const char hardwareIds[] = QXSIM_HARDWARE_ID "\0";
    return SetupDiSetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID,
                                             reinterpret_cast<const BYTE*>(hardwareIds),
                                             sizeof hardwareIds) &&
           SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device);
}

std::optional<QXSIM_STATUS> ReadStatus(HANDLE control) {
    QXSIM_STATUS status = {};
    if (!Control(control, IOCTL_QXSIM_STATUS, nullptr, 0, &status, sizeof status))
        return std::nullopt;
    return status;
}

std::optional<std::string> ReadLog(HANDLE control) {
    std::vector<BYTE> buffer(sizeof(QXSIM_LOG_HEADER) +
                             LOG_RECORDS_PER_REQUEST * sizeof(QXSIM_RECORD));
    std::string text;
    unsigned int next = 0;
    for (bool first = true;; first = false) {
        DWORD returned = 0;
        if (!Control(control, IOCTL_QXSIM_LOG, &next, sizeof next, buffer.data(),
                     static_cast<DWORD>(buffer.size()), &returned) ||
            returned < sizeof(QXSIM_LOG_HEADER))
            return std::nullopt;
        const auto* header = reinterpret_cast<const QXSIM_LOG_HEADER*>(buffer.data());
        const auto* records = reinterpret_cast<const QXSIM_RECORD*>(header + 1);
        const unsigned count =
            std::min<unsigned>(header->count, (returned - sizeof *header) / sizeof(QXSIM_RECORD));
        if (first && header->dropped > 0)
            text += "(" + std::to_string(header->dropped) + " earlier lines dropped)\n";
        for (unsigned i = 0; i < count; ++i)
            text += RecordLine(records[i]) + "\n";
        if (count < LOG_RECORDS_PER_REQUEST)
            return text;
        next = records[count - 1].number + 1;
    }
}

bool ApplySetting(HANDLE control, unsigned kind, std::uint32_t number = 0, std::uint32_t count = 0,
                  std::optional<std::uint8_t> command = std::nullopt) {
    QXSIM_SETTING setting = {};
    setting.kind = kind;
    setting.number = number;
    setting.count = count;
    setting.command = command ? *command : QXSIM_ANY_COMMAND;
    return Control(control, IOCTL_QXSIM_SETTING, &setting, sizeof setting, nullptr, 0);
}

bool QueueReplies(HANDLE control, const std::vector<PollReply>& replies) {
    for (const PollReply& reply : replies) {
        QXSIM_REPLY queued = {};
        queued.error = reply.error;
        queued.length = static_cast<unsigned>(std::min(reply.bytes.size(), MAX_REPLY_BYTES));
        std::copy_n(reply.bytes.begin(), queued.length, queued.bytes);
        if (!Control(control, IOCTL_QXSIM_QUEUE, &queued, sizeof queued, nullptr, 0))
            return false;
    }
    return true;
}

unsigned SettingKind(Verb verb) {
    switch (verb) {
    case Verb::Unplug:
        return QXSIM_UNPLUG;
    case Verb::Plug:
        return QXSIM_PLUG;
    case Verb::Interfaces:
        return QXSIM_INTERFACES;
    case Verb::Fault:
        return QXSIM_FAULT;
    case Verb::Delay:
        return QXSIM_DELAY;
    case Verb::Clear:
        return QXSIM_CLEAR;
    default:
        return QXSIM_RESET;
    }
}

std::string SettingText(const SimulatorCommand& command) {
    switch (command.verb) {
    case Verb::Unplug:
        return "unplugged\n";
    case Verb::Plug:
        return "plugged\n";
    case Verb::Interfaces:
        return "interfaces " + std::to_string(command.number) + "\n";
    case Verb::Fault:
        return "fault set\n";
    case Verb::Delay:
        return "delay set\n";
    case Verb::Clear:
        return "log cleared\n";
    default:
        return "reset\n";
    }
}

} // namespace

CommandOutcome InstallDriver(const std::string& infPath) {
    if (GetFileAttributesA(infPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Failed("no driver INF at " + infPath + "\n");
    if (OpenControl() && KeyboardInterfacePresent())
        return Done("already installed\n");
    for (int attempt = 1; attempt <= INSTALL_ATTEMPTS; ++attempt) {
        if (attempt > 1)
            Sleep(RETRY_PAUSE_MS);
        for (unsigned index = 0; index < QXSIM_MAX_INTERFACES; ++index)
            if (!RegisterDevice(index))
                return Failed(ErrorText("registering the device " QXSIM_HARDWARE_ID));
        BOOL reboot = FALSE;
        if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, QXSIM_HARDWARE_ID, infPath.c_str(),
                                                INSTALLFLAG_FORCE, &reboot))
            return Failed(ErrorText("installing the driver"));
        if (WaitForKeyboard(INTERFACE_WAIT_MS))
            return Done("installed\n");
    }
    return Failed("the driver was installed but the keyboard's interface never appeared\n");
}

CommandOutcome RemoveDriver() {
    unique_hdevinfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set)
        return Failed(ErrorText("listing the devices"));
    unsigned removed = 0;
    for (unsigned index = 0; index < QXSIM_MAX_INTERFACES; ++index) {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (!SetupDiOpenDeviceInfoA(set.get(), DeviceInstance(index).c_str(), nullptr, 0, &device))
            continue;
        if (!SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device))
            return Failed(ErrorText("removing the device"));
        ++removed;
    }
    return removed > 0 ? Done("removed\n") : Failed("no keyboard device is installed\n");
}

std::optional<std::string> KeyboardInterfacePath() {
    return InterfacePath(KEYBOARD_INTERFACE_GUID);
}

std::optional<long> RequestWithoutFileObject() {
    const qx::unique_hfile control = OpenControl();
    LONG status = 0;
    if (!control ||
        !Control(control.get(), IOCTL_QXSIM_BARE_REQUEST, nullptr, 0, &status, sizeof status))
        return std::nullopt;
    return status;
}

CommandOutcome Execute(const SimulatorCommand& command) {
    const qx::unique_hfile control = OpenControl();
    if (!control)
        return Failed("the simulated keyboard's driver is not installed\n");
    switch (command.verb) {
    case Verb::Status: {
        const auto status = ReadStatus(control.get());
        return status ? Done(StatusLine(*status) + "\n") : Failed(ErrorText("status"));
    }
    case Verb::Log: {
        const auto log = ReadLog(control.get());
        return log ? Done(*log) : Failed(ErrorText("reading the log"));
    }
    case Verb::Press:
    case Verb::Queue:
    case Verb::Reply:
        if (!QueueReplies(control.get(), command.replies))
            return Failed(ErrorText("queueing a reply"));
        return Done("queued " + std::to_string(command.replies.size()) + "\n");
    case Verb::Help:
        return Done(UsageText());
    case Verb::Install:
    case Verb::Remove:
        return Failed("not a keyboard command\n");
    default:
        if (!ApplySetting(control.get(), SettingKind(command.verb), command.number, command.count,
                          command.command))
            return Failed(ErrorText("the setting"));
        return Done(SettingText(command));
    }
}

CommandOutcome Run(const std::string& commandLine) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < commandLine.size()) {
        const std::size_t end = std::min(commandLine.find(' ', at), commandLine.size());
        if (end > at)
            words.push_back(commandLine.substr(at, end - at));
        at = end + 1;
    }
    const ParsedCommand parsed = ParseSimulatorCommand(words);
    if (!parsed.command)
        return {EXIT_BAD_COMMAND_LINE, "KeyboardSim: " + parsed.error + "\n"};
    return Execute(*parsed.command);
}

} // namespace simkeyboard
