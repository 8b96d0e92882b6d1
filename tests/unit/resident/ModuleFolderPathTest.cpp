#include "resident/ModuleFolderPath.h"

#include <gtest/gtest.h>

#include <string>

using namespace resident;

TEST(ModuleFolderPath, ModuleFolderIsDriveAndFolderWithTheTrailingSeparator) {
    struct Case {
        const char* path;
        const char* folder;
    } cases[] = {
        {"C:\\Program Files\\Morvel\\Tarvolt.exe", "C:\\Program Files\\Morvel\\"},
        {"Z:\\tmp\\run.1\\Tarvolt.exe", "Z:\\tmp\\run.1\\"},
        {"C:\\Tarvolt.exe", "C:\\"},
        {"\\\\server\\share\\Tarvolt.exe", "\\\\server\\share\\"},
        {"C:/mixed\\seps/Tarvolt.exe", "C:/mixed\\seps/"},
        {"C:Tarvolt.exe", "C:"},
        {"Tarvolt.exe", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.folder, ModuleFolderFromPath(c.path));
    }
}
