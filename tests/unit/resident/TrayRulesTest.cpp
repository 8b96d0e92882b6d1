#include "resident/TrayRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace resident;

TEST(TrayRules, AboutBoxCommandIgnoresTheLowFourBits) {
    struct Case {
        unsigned long long id;
        bool about;
    } cases[] = {
        {0x0010, true},  {0x0013, true},  {0x001F, true},
        {0x0020, false}, {0x0000, false}, {0xF010, false}, // SC_MOVE
        {0xF060, false},                                   // SC_CLOSE
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(c.about, IsAboutBoxCommand(c.id));
    }
}

TEST(TrayRules, TrayMouseMessagesFromTheLow16Bits) {
    struct Case {
        unsigned long long lParam;
        TrayMouseAction action;
    } cases[] = {
        {0x0205, TrayMouseAction::OpenMenu},            // right button up
        {0x00660205, TrayMouseAction::OpenMenu},        // high bits are not looked at
        {0x0203, TrayMouseAction::LaunchConfigProgram}, // left double click
        {0x0201, TrayMouseAction::None},                // left down
        {0x0202, TrayMouseAction::None},                // left up
        {0x0204, TrayMouseAction::None},                // right down
        {0x0200, TrayMouseAction::None},                // mouse move
        {0x0206, TrayMouseAction::None},                // right double click
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lParam);
        EXPECT_EQ(c.action, ActionForTrayMouse(c.lParam));
    }
}

TEST(TrayRules, TrayTipIsCutToTheFieldAndNeverWrittenPastIt) {
    struct Case {
        std::size_t length;
        std::size_t kept;
    } cases[] = {{0, 0}, {12, 12}, {127, 127}, {128, 127}, {500, 127}};
    for (const Case& c : cases) {
        SCOPED_TRACE("tip of " + std::to_string(c.length));
        char record[128 + 4];
        std::memset(record, '#', sizeof record);
        std::string tip(c.length, 'a');
        for (std::size_t i = 0; i < tip.size(); ++i)
            tip[i] = static_cast<char>('a' + i % 26);
        CopyTrayTip(record, 128, tip);
        EXPECT_EQ(tip.substr(0, c.kept), std::string(record));
        EXPECT_EQ(std::string(4, '#'), std::string(record + 128, 4)) << "written past the field";
    }
}

TEST(TrayRules, TrayTipInTinyFields) {
    char one[2] = {'#', '#'};
    CopyTrayTip(one, 1, "Tarvolt 1.5 ");
    EXPECT_EQ('\0', one[0]);
    EXPECT_EQ('#', one[1]);
    char none[1] = {'#'};
    CopyTrayTip(none, 0, "Tarvolt 1.5 ");
    EXPECT_EQ('#', none[0]);
}
