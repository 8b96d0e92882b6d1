#include "resident/PreferenceValues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace resident;

TEST(ResidentPreferenceValues, DefaultsAreTheThreeValuesWithTheirExactBytes) {
    const auto& defaults = PreferenceDefaults();
    ASSERT_EQ(3u, defaults.size());

    EXPECT_STREQ("OSDRGBColor", defaults[0].name);
    EXPECT_EQ(PreferenceKind::Text, defaults[0].kind);
    const std::string blue = "0`0`255";
    EXPECT_EQ(std::vector<unsigned char>(blue.c_str(), blue.c_str() + 8), defaults[0].bytes);

    EXPECT_STREQ("TargetDoor", defaults[1].name);
    EXPECT_EQ(PreferenceKind::Number, defaults[1].kind);
    EXPECT_EQ((std::vector<unsigned char>{0, 0, 0, 0}), defaults[1].bytes);

    EXPECT_STREQ("AudioCDDrive", defaults[2].name);
    EXPECT_EQ(PreferenceKind::Text, defaults[2].kind);
    EXPECT_EQ((std::vector<unsigned char>{0}), defaults[2].bytes);
}

TEST(ResidentPreferenceValues, ColourTextIsWhatWasReadOrTheDefault) {
    struct Case {
        const char* label;
        std::string bytes;
        std::size_t size;
        std::string colour;
    } cases[] = {
        {"nothing read", "", 0, "0`0`255"},
        {"bare terminating zero", std::string(1, '\0'), 1, "0`0`255"},
        {"red as stored", std::string("255`0`0\0", 8), 8, "255`0`0"},
        {"passed unchecked", std::string("not a colour\0", 13), 13, "not a colour"},
        {"stored without its zero", "10`20`30", 8, "10`20`30"},
        {"zero inside the value", std::string("1`2`3\0junk", 10), 10, "1`2`3"},
        {"two zeros", std::string(2, '\0'), 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.colour, ColourTextFromValue(c.bytes.data(), c.size));
    }
}

TEST(ResidentPreferenceValues, ColourTextNeverReadsPastTheSizeRead) {
    // A full buffer without a terminating zero, followed by bytes that must
    // not show up in the result.
    char buffer[COLOUR_BUFFER_SIZE + 8];
    std::memset(buffer, '7', COLOUR_BUFFER_SIZE);
    std::memset(buffer + COLOUR_BUFFER_SIZE, 'X', 8);
    const std::string colour = ColourTextFromValue(buffer, COLOUR_BUFFER_SIZE);
    EXPECT_EQ(std::string(COLOUR_BUFFER_SIZE, '7'), colour);
}
