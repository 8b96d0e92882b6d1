// The user-key store on the real registry of the test's Wine prefix.
#include "support/WinTestSupport.h"
#include "userkeys/UserKeyStore.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qxtest;

namespace {

const std::wstring kRoot = L"Software\\Morvel\\QX-310\\User Keys";
const std::wstring kProg1 = kRoot + L"\\Prog 1";

UserKeyEntry Entry(const std::string& name, std::int32_t type = USERKEY_NONE,
                   const std::string& command = "") {
    UserKeyEntry entry;
    entry.name = name;
    entry.type = type;
    entry.command = command;
    return entry;
}

std::vector<BYTE> Bytes(std::initializer_list<BYTE> bytes) {
    return std::vector<BYTE>(bytes);
}

std::vector<std::wstring> SortedValueNames(const std::wstring& path) {
    std::vector<std::wstring> names = UserValueNames(path);
    std::sort(names.begin(), names.end());
    return names;
}

// The two values an entry is stored as, as REG_DWORD and REG_SZ.
void ExpectStored(const std::wstring& path, DWORD type, const std::string& command) {
    EXPECT_EQ((std::vector<std::wstring>{L"Command", L"Type"}), SortedValueNames(path));
    EXPECT_EQ(type, ReadUserDword(path, L"Type")) << "Type must be a 4-byte REG_DWORD";
    EXPECT_EQ(command, ReadUserString(path, L"Command")) << "Command must be a REG_SZ";
}

class UserKeyStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { DeleteUserKey(L"Software\\Morvel"); }
    void TearDown() override { DeleteUserKey(L"Software\\Morvel"); }
    UserKeyStore store;
};

TEST_F(UserKeyStoreTest, ReadingANeverStoredKeyCreatesItsEmptyEntry) {
    ASSERT_FALSE(UserKeyExists(kRoot));
    UserKeyEntry entry = Entry("Prog 1", USERKEY_URL, "left over");
    EXPECT_EQ(TRUE, store.ReadEntry(entry));
    EXPECT_EQ("Prog 1", entry.name);
    EXPECT_EQ(USERKEY_NONE, entry.type);
    EXPECT_EQ("", entry.command);
    ExpectStored(kProg1, 0, "");
    EXPECT_FALSE(UserKeyExists(kRoot + L"\\Prog 2")) << "only the entry read is created";
}

TEST_F(UserKeyStoreTest, AnEntryWithoutReadableTypeIsResetInTheRegistry) {
    const struct {
        const char* label;
        DWORD valueType;
        std::vector<BYTE> typeBytes; // empty: no "Type" value at all
    } cases[] = {
        {"Command without Type", REG_NONE, {}},
        {"Type larger than the 300-byte buffer", REG_BINARY, std::vector<BYTE>(301, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteUserKey(kRoot);
        SetUserString(kProg1, L"Command", "C:\\Tools\\app.exe");
        if (!c.typeBytes.empty())
            SetUserValue(kProg1, L"Type", c.valueType, c.typeBytes);
        UserKeyEntry entry = Entry("Prog 1", USERKEY_PROGRAM, "in memory");
        EXPECT_EQ(TRUE, store.ReadEntry(entry));
        EXPECT_EQ(USERKEY_NONE, entry.type);
        EXPECT_EQ("", entry.command);
        ExpectStored(kProg1, 0, "");
    }
}

TEST_F(UserKeyStoreTest, TypeIsTakenFromItsBytesWhateverTheRegistryType) {
    const struct {
        const char* label;
        DWORD valueType;
        std::vector<BYTE> bytes;
        std::int32_t type;
    } cases[] = {
        {"REG_DWORD", REG_DWORD, Bytes({2, 0, 0, 0}), USERKEY_PROGRAM},
        {"four bytes of REG_BINARY", REG_BINARY, Bytes({1, 0, 0, 0}), USERKEY_URL},
        {"REG_BINARY read as a little-endian number", REG_BINARY, Bytes({1, 2, 3, 4}), 0x04030201},
        {"shorter than four bytes", REG_BINARY, Bytes({2, 1}), 0x0102},
        {"exactly the 300-byte buffer", REG_BINARY, std::vector<BYTE>(300, 0), USERKEY_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUserValue(kProg1, L"Type", c.valueType, c.bytes);
        SetUserString(kProg1, L"Command", "C:\\app.exe");
        UserKeyEntry entry = Entry("Prog 1");
        EXPECT_EQ(TRUE, store.ReadEntry(entry));
        EXPECT_EQ(c.type, entry.type);
        EXPECT_EQ("C:\\app.exe", entry.command);
        EXPECT_EQ(c.valueType, ReadUserValue(kProg1, L"Type")->type) << "a read never rewrites";
    }
}

// The stored text as it stands, or empty when it cannot be read back whole.
TEST_F(UserKeyStoreTest, CommandIsItsStoredTextOrEmpty) {
    const std::string longest(USERKEY_MAX_COMMAND, 'a');
    const struct {
        const char* label;
        DWORD valueType; // REG_NONE: no "Command" at all
        std::string bytes;
        std::string command;
    } cases[] = {
        {"missing", REG_NONE, "", ""},
        {"not a string", REG_BINARY, std::string("ab", 3), ""},
        {"longest readable, 300 bytes with its zero", REG_SZ, longest + '\0', longest},
        {"300 bytes without a zero", REG_SZ, longest + 'b', ""},
        {"301 bytes with its zero", REG_SZ, longest + "b" + '\0', ""},
        {"far over the buffer", REG_SZ, std::string(1000, 'x') + '\0', ""},
        {"expandable string, unexpanded", REG_EXPAND_SZ, std::string("%WINDIR%\\a.exe") + '\0',
         "%WINDIR%\\a.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteUserKey(kRoot);
        SetUserDword(kProg1, L"Type", USERKEY_URL);
        if (c.valueType != REG_NONE)
            SetUserAnsiValue(kProg1, L"Command", c.valueType, c.bytes);
        UserKeyEntry entry = Entry("Prog 1", USERKEY_NONE, "in memory");
        EXPECT_EQ(TRUE, store.ReadEntry(entry));
        EXPECT_EQ(USERKEY_URL, entry.type);
        EXPECT_EQ(c.command, entry.command);
    }
}

TEST_F(UserKeyStoreTest, WrittenEntriesReadBackAndKeepTheirOwnSubkeys) {
    const UserKeyEntry written[] = {
        Entry("Prog 1", USERKEY_URL, "http://example.com/a?b=c"),
        Entry("Prog 2", USERKEY_PROGRAM, "C:\\Program Files\\Tool\\tool.exe"),
    };
    for (const UserKeyEntry& entry : written)
        EXPECT_EQ(TRUE, store.WriteEntry(entry));
    ExpectStored(kProg1, USERKEY_URL, "http://example.com/a?b=c");
    ExpectStored(kRoot + L"\\Prog 2", USERKEY_PROGRAM, "C:\\Program Files\\Tool\\tool.exe");
    for (const UserKeyEntry& entry : written) {
        SCOPED_TRACE(entry.name);
        UserKeyEntry read = Entry(entry.name);
        EXPECT_EQ(TRUE, store.ReadEntry(read));
        EXPECT_EQ(entry.type, read.type);
        EXPECT_EQ(entry.command, read.command);
    }
}

// Turning an empty command into "not set" is the editor's rule, not the store's.
TEST_F(UserKeyStoreTest, AnEmptyCommandKeepsItsEntrysType) {
    EXPECT_EQ(TRUE, store.WriteEntry(Entry("Prog 1", USERKEY_URL, "")));
    ExpectStored(kProg1, USERKEY_URL, "");
    UserKeyEntry read = Entry("Prog 1");
    EXPECT_EQ(TRUE, store.ReadEntry(read));
    EXPECT_EQ(USERKEY_URL, read.type);
}

TEST_F(UserKeyStoreTest, OpenKeyCreatesTheKeyBelowTheRootPath) {
    const qx::unique_hkey key = store.OpenKey("\\Prog 2");
    ASSERT_TRUE(key);
    EXPECT_TRUE(UserKeyExists(kRoot + L"\\Prog 2"));
    EXPECT_TRUE(SortedValueNames(kRoot + L"\\Prog 2").empty()) << "opening stores nothing";
}

// A volatile parent refuses the store's non-volatile subkeys, as a key
// without access would.
TEST_F(UserKeyStoreTest, AKeyThatCannotBeOpenedLeavesTheEntryAsItWas) {
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, kRoot.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &root, nullptr));
    RegCloseKey(root);
    EXPECT_FALSE(store.OpenKey("\\Prog 1"));

    UserKeyEntry entry = Entry("Prog 1", USERKEY_URL, "http://kept");
    EXPECT_EQ(FALSE, store.ReadEntry(entry));
    EXPECT_EQ(USERKEY_URL, entry.type);
    EXPECT_EQ("http://kept", entry.command);
    EXPECT_EQ(FALSE, store.WriteEntry(entry));
    EXPECT_FALSE(UserKeyExists(kProg1));
}

} // namespace
