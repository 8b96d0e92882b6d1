// Reads dialog templates and string tables of one language straight from a
// program's resources, to compare the languages with each other.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace pellortest {

struct DialogControl {
    int id = 0;
    std::wstring className; // "Button", "Edit", "Static" ... (predefined atoms by name)
    DWORD style = 0;
    std::wstring text;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    std::wstring title;
    std::vector<DialogControl> controls;
};

// The extended template (DIALOGEX) id in the given language, if the module has it.
std::optional<DialogTemplate> LoadDialogTemplate(HMODULE module, int id, LANGID language);

// String id in the given language, if the module has it.
std::optional<std::wstring> LoadLanguageString(HMODULE module, UINT id, LANGID language);

} // namespace pellortest
