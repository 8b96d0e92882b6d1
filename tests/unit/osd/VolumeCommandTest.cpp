// Volume commands in a notice text, and what the running display makes of
// the commands that queue up for it.
#include "VolumeCommand.h"

#include <gtest/gtest.h>

using namespace osd;

namespace {

TEST(OsdVolumeCommand, TagAndLevelAreReadFromTheText) {
    const struct {
        const char* text;
        OsdCommandType type;
        std::int64_t level;
    } cases[] = {
        {"{VOLUP:25}", OSD_VOLUME_UP, 25},
        {"{VOLDN:9}", OSD_VOLUME_DOWN, 9},
        {"{MUTE:3}", OSD_MUTE, 3},
        {"{VOLUP:}", OSD_VOLUME_UP, 0},
        {"{VOLUP: 7 }", OSD_VOLUME_UP, 7},
        {"{VOLUP:7", OSD_VOLUME_UP, 0},
        {"{VOLUP:-3}", OSD_VOLUME_UP, 0},
        {"{VOLUP:7a}", OSD_VOLUME_UP, 0},
        {"{VOLUP:1 2}", OSD_VOLUME_UP, 0},
        // The level follows the text's first colon, not the tag's own.
        {"x:{VOLDN:5}", OSD_VOLUME_DOWN, 0},
        {"{MUTE:3}{VOLUP:5}", OSD_VOLUME_UP, 3},
        {"before {VOLDN:12} after", OSD_VOLUME_DOWN, 12},
        {"{VOLUP:61}", OSD_VOLUME_UP, 61},
        {"{VOLUP:2147483647}", OSD_VOLUME_UP, 2147483647},
        // A level beyond 32 bits cannot be read.
        {"{VOLUP:2147483648}", OSD_VOLUME_UP, 0},
        {"{VOLUP:99999999999999999999999}", OSD_VOLUME_UP, 0},
        {"Mute", OSD_TEXT, 0},
        {"{volup:5}", OSD_TEXT, 0},
        {"{VOLUP 5}", OSD_TEXT, 0},
        {"VOLUP:5}", OSD_TEXT, 0},
        {"12:30}", OSD_TEXT, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const VolumeCommand command = ParseVolumeCommand(c.text);
        EXPECT_EQ(c.type, command.type);
        EXPECT_EQ(c.level, command.level);
    }
}

TEST(OsdHandOver, QueuedCommandsEndOnTheNewestVolumeOrAnEndRequest) {
    const struct {
        const char* name;
        std::vector<OsdMessage> messages;
        OsdAction action;
        OsdCommandType type;
        std::int64_t level;
    } cases[] = {
        {"one volume up", {{1, 10}}, OsdAction::ShowVolume, OSD_VOLUME_UP, 10},
        {"newest of a burst",
         {{1, 10}, {1, 11}, {2, 9}},
         OsdAction::ShowVolume,
         OSD_VOLUME_DOWN,
         9},
        {"mute after volume changes nothing",
         {{1, 10}, {3, 4}},
         OsdAction::ShowVolume,
         OSD_VOLUME_UP,
         10},
        {"mute alone", {{3, 4}}, OsdAction::Nothing, OSD_TEXT, 0},
        {"unknown command", {{7, 4}}, OsdAction::Nothing, OSD_TEXT, 0},
        {"end request", {{0, 0}}, OsdAction::End, OSD_TEXT, 0},
        {"end request among volumes", {{1, 10}, {0, 0}, {2, 5}}, OsdAction::End, OSD_TEXT, 0},
        {"level passed on unchecked", {{2, -5}}, OsdAction::ShowVolume, OSD_VOLUME_DOWN, -5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const OsdDecision decision = DecideOsdCommands(c.messages);
        EXPECT_EQ(c.action, decision.action);
        if (c.action == OsdAction::ShowVolume) {
            EXPECT_EQ(c.type, decision.volume.type);
            EXPECT_EQ(c.level, decision.volume.level);
        }
    }
}

} // namespace
