#include "shellact/AudioCdCommand.h"

#include <gtest/gtest.h>

using corvix::AudioCdPlayCommand;

TEST(AudioCdPlayCommand, ReplacesTheQuotedPlaceholderByTheQuotedDrive) {
    struct Case {
        const char* what;
        const char* registered;
        const char* drive;
        const char* expected;
    } cases[] = {
        {"quoted player, switches and placeholder",
         "\"C:\\Program Files\\Player\\play.exe\" /play /close \"%1\"",
         "D:", "\"C:\\Program Files\\Player\\play.exe\" /play /close \"D:\""},
        {"anything after the placeholder is dropped", "player.exe \"%1\" /minimized", "E:\\",
         "player.exe \"E:\\\""},
        {"the first quote-percent pair counts", "a.exe \"%L\" \"%1\"", "D:", "a.exe \"D:\""},
        {"a quote not followed by percent is kept", "\"C:\\a b\\p.exe\" \"x\" \"%1\"",
         "D:", "\"C:\\a b\\p.exe\" \"x\" \"D:\""},
        {"placeholder at the very start", "\"%1\"", "D:", "\"D:\""},
        {"unquoted placeholder: nothing of the command is kept", "player.exe /play %1",
         "D:", "\"D:\""},
        {"percent before the quote is no placeholder", "player.exe %\"1", "D:", "\"D:\""},
        {"command that ends in a lone quote", "player.exe \"", "D:", "\"D:\""},
        {"empty drive text", "p.exe \"%1\"", "", "p.exe \"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, AudioCdPlayCommand(c.registered, c.drive));
    }
}
