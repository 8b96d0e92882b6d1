#include "WinTestSupport.h"

#include <gtest/gtest.h>

namespace qxtest {

namespace {

HKEY OpenUserKey(const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

HKEY CreateUserKey(const std::wstring& path) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, status) << "creating a registry key";
    return status == ERROR_SUCCESS ? key : nullptr;
}

} // namespace

void DeleteUserKey(const std::wstring& path) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

bool UserKeyExists(const std::wstring& path) {
    HKEY key = OpenUserKey(path, KEY_READ);
    if (key)
        RegCloseKey(key);
    return key != nullptr;
}

void SetUserValue(const std::wstring& path, const std::wstring& name, DWORD type,
                  const std::vector<BYTE>& data) {
    HKEY key = CreateUserKey(path);
    if (!key)
        return;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, type, data.data(),
                                            static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}

void SetUserDword(const std::wstring& path, const std::wstring& name, DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    SetUserValue(path, name, REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof value));
}

void SetUserString(const std::wstring& path, const std::wstring& name, const std::string& value) {
    SetUserAnsiValue(path, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void SetUserAnsiValue(const std::wstring& path, const std::wstring& name, DWORD type,
                      const std::string& bytes) {
    HKEY key = CreateUserKey(path);
    if (!key)
        return;
    const std::string ansiName(name.begin(), name.end());
    // The system counts a zero that directly follows an unterminated string
    // as part of it; a non-zero byte there keeps the value exactly as given.
    const std::string followed = bytes + '\xFF';
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, ansiName.c_str(), 0, type,
                                            reinterpret_cast<const BYTE*>(followed.data()),
                                            static_cast<DWORD>(bytes.size())));
    RegCloseKey(key);
}

std::optional<RegistryValue> ReadUserValue(const std::wstring& path, const std::wstring& name) {
    HKEY key = OpenUserKey(path, KEY_READ);
    if (!key)
        return std::nullopt;
    RegistryValue value;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status =
            RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::optional<DWORD> ReadUserDword(const std::wstring& path, const std::wstring& name) {
    const auto value = ReadUserValue(path, name);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD))
        return std::nullopt;
    DWORD number;
    memcpy(&number, value->data.data(), sizeof number);
    return number;
}

std::optional<std::string> ReadUserString(const std::wstring& path, const std::wstring& name) {
    HKEY key = OpenUserKey(path, KEY_READ);
    if (!key)
        return std::nullopt;
    const std::string narrowName(name.begin(), name.end());
    char text[4096];
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key, narrowName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    text[size] = '\0';
    return std::string(text);
}

std::vector<std::wstring> UserValueNames(const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = OpenUserKey(path, KEY_READ);
    if (!key)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = std::size(name);
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

void SetProgramWindowsVersion(const std::wstring& exeName, const std::wstring& version) {
    const std::wstring path = L"Software\\Wine\\AppDefaults\\" + exeName;
    if (version.empty()) {
        DeleteUserKey(path);
        return;
    }
    HKEY key = CreateUserKey(path);
    if (!key)
        return;
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

} // namespace qxtest
