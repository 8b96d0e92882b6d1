#include "framework/ProgramName.h"

#include <gtest/gtest.h>

TEST(ProgramName, IsTheFileNameWithoutFolderOrExtension) {
    struct Case {
        const char* path;
        const char* name;
    } cases[] = {
        {"C:\\Program Files\\Morvel\\Tarvolt.exe", "Tarvolt"},
        {"C:\\a.b\\Pellor.exe", "Pellor"}, // dot in a folder, not the file
        {"Vistrel.exe", "Vistrel"},
        {"C:\\tools\\noext", "noext"},
        {"/unix/style/path/Prog.v2.exe", "Prog.v2"},
        {"C:\\x\\.hidden", ".hidden"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.name, qx::ProgramNameFromPath(c.path));
    }
}
