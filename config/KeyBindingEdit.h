// What the key editor holds while it runs: the selected mode, the text each
// mode keeps for itself, and whether anything was edited. The dialog shows
// it; OK turns it into the key's binding.
#pragma once

#include "userkeys/UserKeyEntry.h"

#include <cstdint>
#include <string>

// The type a binding is saved with: without a command the key is not set,
// whatever its type.
std::int32_t TypeToSave(std::int32_t type, const std::string& command);

class KeyBindingEdit {
  public:
    // Opens on the entry: a web address opens in URL mode, a program in
    // Program mode, anything else in URL mode with "http://" to start from.
    explicit KeyBindingEdit(const UserKeyEntry& entry);

    std::int32_t Mode() const { return m_nMode; }
    // The text the location edit is to show.
    const std::string& LocationText() const { return m_strLocation; }
    bool Edited() const { return m_bEdited; }

    // The location text becomes the new mode's own text.
    void EnterMode(std::int32_t mode);
    // What the edit shows becomes the selected mode's own text.
    void Commit(const std::string& shown);
    // The edit reported a change of its text.
    void MarkEdited() { m_bEdited = true; }
    // A file chosen through Browse. False, and nothing changes, when its path
    // is too long for the store to read back.
    bool ChooseProgram(const std::string& path);

    // OK: when edited, the entry takes the selected mode and its text; an
    // empty text leaves the key not set.
    void StoreInto(UserKeyEntry& entry) const;

  private:
    std::string& ModeText();

    std::int32_t m_nMode = USERKEY_URL;
    std::string m_strUrl = "http://";
    std::string m_strProgramPath;
    std::string m_strLocation;
    bool m_bEdited = false;
};
