#include "KeyBindingEdit.h"

#include "userkeys/UserKeyValues.h"

KeyBindingEdit::KeyBindingEdit(const UserKeyEntry& entry) {
    if (entry.type == USERKEY_URL)
        m_strUrl = entry.command;
    else if (entry.type == USERKEY_PROGRAM)
        m_strProgramPath = entry.command;
    EnterMode(entry.type == USERKEY_PROGRAM ? USERKEY_PROGRAM : USERKEY_URL);
}

std::string& KeyBindingEdit::ModeText() {
    return m_nMode == USERKEY_PROGRAM ? m_strProgramPath : m_strUrl;
}

void KeyBindingEdit::EnterMode(std::int32_t mode) {
    m_nMode = mode;
    m_strLocation = ModeText();
}

void KeyBindingEdit::Commit(const std::string& shown) {
    m_strLocation = shown;
    ModeText() = shown;
}

bool KeyBindingEdit::ChooseProgram(const std::string& path) {
    if (!CommandFitsStore(path))
        return false;
    m_strProgramPath = path;
    if (!path.empty()) {
        m_strLocation = path;
        m_bEdited = true;
    }
    return true;
}

void KeyBindingEdit::StoreInto(UserKeyEntry& entry) const {
    if (!m_bEdited)
        return;
    entry.command = m_nMode == USERKEY_PROGRAM ? m_strProgramPath : m_strUrl;
    entry.type = TypeToSave(m_nMode, entry.command);
}

std::int32_t TypeToSave(std::int32_t type, const std::string& command) {
    return command.empty() ? USERKEY_NONE : type;
}
