#include "resident/NoticeLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace resident;

TEST(NoticeLine, NoticeParametersAreLabelEmptyFaceAndColourFields) {
    EXPECT_EQ("Prog 1``0`0`255", NoticeParameters("Prog 1", "0`0`255"));
    EXPECT_EQ("Mute``255`0`0", NoticeParameters("Mute", "255`0`0"));

    // Read back as backquote-separated fields, as the display program does.
    const std::string line = NoticeParameters("My Computer", "12`34`56");
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tick; (tick = line.find('`', start)) != std::string::npos; start = tick + 1)
        fields.push_back(line.substr(start, tick - start));
    fields.push_back(line.substr(start));
    EXPECT_EQ((std::vector<std::string>{"My Computer", "", "12", "34", "56"}), fields);
}
