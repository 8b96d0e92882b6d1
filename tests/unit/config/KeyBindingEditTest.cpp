// The key editor's texts and modes, apart from its window.
#include "config/KeyBindingEdit.h"

#include <gtest/gtest.h>

namespace {

UserKeyEntry Entry(std::int32_t type, const std::string& command) {
    UserKeyEntry entry;
    entry.name = "Prog 1";
    entry.type = type;
    entry.command = command;
    return entry;
}

TEST(KeyBindingEdit, OpensInTheModeOfTheEntrysType) {
    const struct {
        const char* label;
        UserKeyEntry entry;
        std::int32_t mode;
        std::string location;
    } cases[] = {
        {"web address", Entry(USERKEY_URL, "http://example.com"), USERKEY_URL,
         "http://example.com"},
        {"program", Entry(USERKEY_PROGRAM, "C:\\Tools\\app.exe"), USERKEY_PROGRAM,
         "C:\\Tools\\app.exe"},
        {"not set", Entry(USERKEY_NONE, ""), USERKEY_URL, "http://"},
        {"type 0 with a command edited by hand", Entry(USERKEY_NONE, "www.example.com"),
         USERKEY_URL, "http://"},
        {"unknown type", Entry(7, "C:\\x.exe"), USERKEY_URL, "http://"},
        {"web address type without a command", Entry(USERKEY_URL, ""), USERKEY_URL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const KeyBindingEdit edit(c.entry);
        EXPECT_EQ(c.mode, edit.Mode());
        EXPECT_EQ(c.location, edit.LocationText());
        EXPECT_FALSE(edit.Edited()) << "only the edit's own reports set the flag";
    }
}

TEST(KeyBindingEdit, EachModeKeepsItsOwnTextAndOkStoresTheSelectedOne) {
    KeyBindingEdit edit(Entry(USERKEY_NONE, ""));
    edit.MarkEdited();
    edit.Commit("http://typed.example");
    edit.EnterMode(USERKEY_PROGRAM);
    EXPECT_EQ("", edit.LocationText()) << "Program mode starts without a path";
    ASSERT_TRUE(edit.ChooseProgram("C:\\Tools\\app.exe"));
    EXPECT_EQ("C:\\Tools\\app.exe", edit.LocationText());
    edit.Commit("C:\\Tools\\app.exe");

    edit.EnterMode(USERKEY_URL);
    EXPECT_EQ("http://typed.example", edit.LocationText());
    UserKeyEntry entry = Entry(USERKEY_NONE, "");
    edit.StoreInto(entry);
    EXPECT_EQ(USERKEY_URL, entry.type);
    EXPECT_EQ("http://typed.example", entry.command);

    edit.EnterMode(USERKEY_PROGRAM);
    EXPECT_EQ("C:\\Tools\\app.exe", edit.LocationText());
    edit.StoreInto(entry);
    EXPECT_EQ(USERKEY_PROGRAM, entry.type);
    EXPECT_EQ("C:\\Tools\\app.exe", entry.command);
}

TEST(KeyBindingEdit, OkChangesTheEntryOnlyWhenEdited) {
    const UserKeyEntry bound = Entry(USERKEY_PROGRAM, "C:\\app.exe");
    KeyBindingEdit edit(bound);
    edit.EnterMode(USERKEY_URL);
    UserKeyEntry entry = bound;
    edit.StoreInto(entry);
    EXPECT_EQ(USERKEY_PROGRAM, entry.type);
    EXPECT_EQ("C:\\app.exe", entry.command);

    edit.MarkEdited();
    edit.StoreInto(entry);
    EXPECT_EQ(USERKEY_URL, entry.type);
    EXPECT_EQ("http://", entry.command);
}

TEST(KeyBindingEdit, ClearedTextLeavesTheKeyNotSetInEitherMode) {
    for (const std::int32_t mode : {USERKEY_URL, USERKEY_PROGRAM}) {
        SCOPED_TRACE(mode == USERKEY_URL ? "URL mode" : "Program mode");
        KeyBindingEdit edit(Entry(mode, "something"));
        edit.MarkEdited();
        edit.Commit("");
        UserKeyEntry entry = Entry(mode, "something");
        edit.StoreInto(entry);
        EXPECT_EQ(USERKEY_NONE, entry.type);
        EXPECT_EQ("", entry.command);
    }
}

TEST(KeyBindingEdit, BrowseRefusesAPathTheStoreCannotReadBack) {
    KeyBindingEdit edit(Entry(USERKEY_PROGRAM, "C:\\old.exe"));
    const std::string tooLong = "C:\\" + std::string(USERKEY_MAX_COMMAND - 3, 'd') + "x";
    ASSERT_EQ(USERKEY_MAX_COMMAND + 1, tooLong.size());
    EXPECT_FALSE(edit.ChooseProgram(tooLong));
    EXPECT_EQ("C:\\old.exe", edit.LocationText());
    EXPECT_FALSE(edit.Edited());
    UserKeyEntry entry = Entry(USERKEY_PROGRAM, "C:\\old.exe");
    edit.MarkEdited();
    edit.StoreInto(entry);
    EXPECT_EQ("C:\\old.exe", entry.command) << "the refused path must not reach the entry";

    const std::string longest = tooLong.substr(1);
    EXPECT_TRUE(edit.ChooseProgram(longest));
    EXPECT_EQ(longest, edit.LocationText());
}

} // namespace
