#include "resident/StartGate.h"

#include <gtest/gtest.h>

#include <string>

using namespace resident;

TEST(StartGate, OnlyWindows2000AndLaterAreSupported) {
    struct Case {
        unsigned code;
        bool supported;
    } cases[] = {
        {0, false}, {1, false}, {2, false}, {3, false},           {4, false}, {5, true},
        {6, true},  {7, true},  {8, true},  {0xFFFFFFFFu, false}, // compared signed: not a very new
                                                                  // system
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version code " + std::to_string(c.code));
        EXPECT_EQ(c.supported, IsSupportedWindows(c.code));
    }
}
