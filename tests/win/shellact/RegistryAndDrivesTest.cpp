// Read-only registry access, the CD drive enumeration and doors, and the
// error box, checked against registry entries the tests write.
#include "CorvixTestSupport.h"
#include "shellact/Corvix.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qxtest;

namespace {

const wchar_t kTestKey[] = L"Software\\Morvel\\QX-310 Corvix Test";
const char kTestKeyA[] = "Software\\Morvel\\QX-310 Corvix Test";
const char kAddress[] = "http://example.test/"; // 21 bytes with its terminator

class CorvixRegistry : public ::testing::Test {
  protected:
    void SetUp() override { SetUserString(kTestKey, L"Command", kAddress); }
    void TearDown() override { DeleteUserKey(kTestKey); }
};

TEST_F(CorvixRegistry, ReadsAValueThroughTheCallersKey) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    const HKEY key = CVXP_GetRegistryHandle(HKEY_CURRENT_USER, kTestKeyA);
    ASSERT_NE(nullptr, key);

    char data[64];
    memset(data, 'x', sizeof data);
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    EXPECT_EQ(TRUE,
              CVXP_GetRegistryValue(key, "Command", &type, reinterpret_cast<BYTE*>(data), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ(kAddress, data);
    EXPECT_EQ(sizeof kAddress, size);

    size = sizeof data;
    EXPECT_EQ(TRUE,
              CVXP_GetRegistryValue(key, "Command", nullptr, reinterpret_cast<BYTE*>(data), &size))
        << "the type may be left out";

    EXPECT_EQ(ERROR_SUCCESS, CVXP_FreeRegistryHandle(key));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CorvixRegistry, AValueThatDoesNotFitShowsMoreDataAndGivesItsSize) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    const HKEY key = CVXP_GetRegistryHandle(HKEY_CURRENT_USER, kTestKeyA);
    ASSERT_NE(nullptr, key);
    BYTE data[8];
    DWORD size = sizeof data;

    EXPECT_EQ(FALSE, CVXP_GetRegistryValue(key, "Command", nullptr, data, &size));

    EXPECT_EQ(sizeof kAddress, size);
    ASSERT_EQ(1u, boxes.Boxes().size());
    ExpectErrorBox(boxes.Boxes()[0], ERROR_MORE_DATA);
    CVXP_FreeRegistryHandle(key);
}

TEST_F(CorvixRegistry, MissingKeysAndValuesShowFileNotFound) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    EXPECT_EQ(nullptr, CVXP_GetRegistryHandle(HKEY_CURRENT_USER,
                                              "Software\\Morvel\\QX-310 Corvix Test\\Missing"));
    const HKEY key = CVXP_GetRegistryHandle(HKEY_CURRENT_USER, kTestKeyA);
    ASSERT_NE(nullptr, key);
    BYTE data[64];
    DWORD size = sizeof data;
    EXPECT_EQ(FALSE, CVXP_GetRegistryValue(key, "Missing", nullptr, data, &size));
    CVXP_FreeRegistryHandle(key);

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(2u, seen.size());
    for (const SeenBox& box : seen)
        ExpectErrorBox(box, ERROR_FILE_NOT_FOUND);
}

TEST(CorvixFreeRegistryHandle, InvalidKeysGiveThePlatformsCodeWithoutABox) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    for (HKEY key : {static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x7FFFFFF0)}) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(key));
        EXPECT_EQ(ERROR_INVALID_HANDLE, CVXP_FreeRegistryHandle(key));
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(CorvixCdDrives, CountAndNamesComeFromTheCdRomEnumeration) {
    MachineKeys keys;
    const std::vector<std::string> names = {"QX DVD-ROM 16X", "QX CD-RW 52X"};
    keys.AddCdDrives(names);
    // An entry for the index equal to the count, which must not be read.
    keys.SetString(kCdRomEnumKey, "2", CdDriveInstancePath(0));
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    EXPECT_EQ(2u, CVXP_GetNumOfCDDrives());
    for (UINT index = 0; index < names.size(); ++index) {
        SCOPED_TRACE(index);
        char name[64] = {};
        DWORD size = sizeof name;
        EXPECT_EQ(TRUE, CVXP_GetCDDriveName(index, name, &size));
        EXPECT_EQ(names[index], name);
        EXPECT_EQ(names[index].size() + 1, size);
    }
    for (UINT index : {2u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(index);
        char name[64] = {};
        DWORD size = sizeof name;
        EXPECT_EQ(FALSE, CVXP_GetCDDriveName(index, name, &size));
        EXPECT_STREQ("", name);
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(CorvixCdDrives, ANameThatDoesNotFitShowsMoreData) {
    MachineKeys keys;
    keys.AddCdDrives({"QX DVD-ROM 16X"});
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    char name[4];
    DWORD size = sizeof name;

    EXPECT_EQ(FALSE, CVXP_GetCDDriveName(0, name, &size));

    ASSERT_EQ(1u, boxes.Boxes().size());
    ExpectErrorBox(boxes.Boxes()[0], ERROR_MORE_DATA);
}

TEST(CorvixCdDrives, WithoutTheEnumerationEachCallShowsFileNotFoundOnce) {
    HKEY existing = nullptr;
    ASSERT_NE(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCdRomEnumKey, 0, KEY_READ, &existing));
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    char name[64];
    DWORD size = sizeof name;

    EXPECT_EQ(0u, CVXP_GetNumOfCDDrives());
    EXPECT_EQ(FALSE, CVXP_GetCDDriveName(0, name, &size));

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(2u, seen.size());
    for (const SeenBox& box : seen)
        ExpectErrorBox(box, ERROR_FILE_NOT_FOUND);
}

TEST(CorvixCdDrives, ADoorOfAMissingDriveShowsFileNotFound) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    EXPECT_EQ(FALSE, CVXP_CDDriveDoorOpen(7));
    EXPECT_EQ(FALSE, CVXP_CDDriveDoorClose(7));
    EXPECT_EQ(FALSE, CVXP_CDDriveDoorOpen(-1));

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(3u, seen.size());
    for (const SeenBox& box : seen)
        ExpectErrorBox(box, ERROR_FILE_NOT_FOUND);
}

TEST(CorvixErrorBox, ShowsTheSystemsTextForACode) {
    BoxStyleRecorder styles;
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_OLD_WIN_VERSION};
    for (DWORD code : codes)
        CVXP_GetLastErrorMsg(code);

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(std::size(codes), seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i)
        ExpectErrorBox(seen[i], codes[i]);
    ASSERT_EQ(std::size(codes), styles.ExtendedStyles().size());
    for (DWORD style : styles.ExtendedStyles())
        EXPECT_FALSE(style & WS_EX_TOPMOST) << "an error box is not system-modal";
}

TEST(CorvixErrorBox, ACodeWithoutSystemTextShowsUnknownError) {
    const DWORD code = 0x2000ABCD; // customer code
    ASSERT_TRUE(SystemErrorText(code).empty());
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    CVXP_GetLastErrorMsg(code);

    ASSERT_EQ(1u, boxes.Boxes().size());
    ExpectInformationBox(boxes.Boxes()[0], L"Unknown error 536914893.");
}

} // namespace
