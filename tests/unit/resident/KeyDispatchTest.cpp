#include "resident/KeyDispatch.h"

#include "resources/Tarvolt/resource.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace resident;

TEST(ResidentKeyDispatch, OnlyTheFourLabelledKeysActOnAPress) {
    const std::map<unsigned, KeyAction> labelled = {
        {1, {IDS_PROG1, 0}},
        {2, {IDS_PROG2, 1}},
        {3, {IDS_MY_COMPUTER, NO_USER_KEY}},
        {16, {IDS_MUTE, NO_USER_KEY}},
    };
    for (unsigned code = 0; code <= 255; ++code) {
        SCOPED_TRACE("key code " + std::to_string(code));
        const KeyAction action = ActionForKey(code);
        const auto expected = labelled.find(code);
        if (expected == labelled.end()) {
            EXPECT_EQ(0u, action.labelId);
            EXPECT_EQ(NO_USER_KEY, action.userKeyIndex);
        } else {
            EXPECT_EQ(expected->second.labelId, action.labelId);
            EXPECT_EQ(expected->second.userKeyIndex, action.userKeyIndex);
        }
    }
}

TEST(ResidentKeyDispatch, OnlyCodes12And15AreVolumeKeys) {
    for (unsigned code = 0; code <= 255; ++code) {
        SCOPED_TRACE("key code " + std::to_string(code));
        EXPECT_EQ(code == 12 || code == 15, IsVolumeKey(code));
    }
}

// Message parameters are pointer-sized on win64 and compared whole.
TEST(ResidentKeyDispatch, CodesAndStatesBeyond32BitsMatchNothingInTheTable) {
    for (unsigned long long code : {0x100000001ull, 0x100000010ull, 0x10000000Cull, ~0ull}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(0u, ActionForKey(code).labelId);
        EXPECT_FALSE(IsVolumeKey(code));
    }
    EXPECT_TRUE(IsKeyPress(1ull << 32));
}

TEST(ResidentKeyDispatch, CloseTimerWaitsBoundedOnlyForAPopupOfItsOwnThatIsNotUpYet) {
    struct Case {
        bool popupComing;
        bool windowExists;
        unsigned sinceLastKeyMs;
        bool wait;
    } cases[] = {
        {true, false, 1000, true},                                // started, not up yet
        {true, false, 9999, true},   {true, false, 10000, false}, // never came up: give up
        {true, true, 1000, false},                                // up: close it
        {false, false, 1000, false}, // failed to start, or came and went: nothing to wait for
        {false, true, 1000, false},  // someone else's: close it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.popupComing << c.windowExists << " " << c.sinceLastKeyMs);
        EXPECT_EQ(c.wait,
                  ShouldWaitForVolumeControl(c.popupComing, c.windowExists, c.sinceLastKeyMs));
    }
}

TEST(ResidentKeyDispatch, UserKeyRouteFollowsTheCommandFirstThenTheType) {
    struct Case {
        int type;
        const char* command;
        UserKeyRoute route;
    } cases[] = {
        {0, "", UserKeyRoute::LaunchConfigProgram},
        {1, "", UserKeyRoute::LaunchConfigProgram}, // a bound type without a command
        {2, "", UserKeyRoute::LaunchConfigProgram},
        {1, "http://example.test/", UserKeyRoute::ShellOpen},
        {2, "C:\\Tools\\editor.exe", UserKeyRoute::ShellOpen},
        {7, "anything", UserKeyRoute::ShellOpen}, // unknown types still go to the shell
        {-1, "anything", UserKeyRoute::ShellOpen},
        {0, "http://example.test/", UserKeyRoute::OpenUrl}, // store edited by hand
        {0, " ", UserKeyRoute::OpenUrl},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " \"" + c.command + "\"");
        EXPECT_EQ(c.route, RouteUserKey(c.type, c.command));
    }
}
