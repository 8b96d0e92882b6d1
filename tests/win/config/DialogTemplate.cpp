#include "DialogTemplate.h"

namespace pellortest {

namespace {

// Walks the words of a resource, refusing to read past its end.
class ResourceReader {
  public:
    ResourceReader(const BYTE* data, DWORD size) : m_data(data), m_size(size) {}

    bool Ok() const { return m_ok; }
    WORD Word() { return static_cast<WORD>(Bytes(2)); }
    DWORD Dword() { return static_cast<DWORD>(Bytes(4)); }
    void AlignToDword() { m_offset = (m_offset + 3) & ~std::size_t{3}; }
    void Skip(std::size_t bytes) { Advance(bytes); }

    std::wstring String() {
        std::wstring text;
        while (m_ok) {
            const wchar_t c = Word();
            if (c == 0)
                break;
            text.push_back(c);
        }
        return text;
    }

    // A name or a number: 0 nothing, 0xFFFF and an ordinal, else a string.
    std::wstring NameOrOrdinal() {
        const WORD first = Word();
        if (first == 0)
            return std::wstring();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        m_offset -= 2;
        return String();
    }

  private:
    unsigned long long Bytes(std::size_t count) {
        unsigned long long value = 0;
        const std::size_t at = m_offset;
        if (!Advance(count))
            return 0;
        for (std::size_t i = 0; i < count; ++i)
            value |= static_cast<unsigned long long>(m_data[at + i]) << (8 * i);
        return value;
    }
    bool Advance(std::size_t count) {
        if (m_offset + count > m_size)
            m_ok = false;
        else
            m_offset += count;
        return m_ok;
    }

    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
    bool m_ok = true;
};

std::wstring PredefinedClassName(const std::wstring& name) {
    const struct {
        const wchar_t* atom;
        const wchar_t* name;
    } classes[] = {{L"#128", L"Button"},  {L"#129", L"Edit"},      {L"#130", L"Static"},
                   {L"#131", L"ListBox"}, {L"#132", L"ScrollBar"}, {L"#133", L"ComboBox"}};
    for (const auto& known : classes) {
        if (name == known.atom)
            return known.name;
    }
    return name;
}

std::optional<std::pair<const BYTE*, DWORD>> FindResourceData(HMODULE module, LPCWSTR type,
                                                              LPCWSTR name, LANGID language) {
    const HRSRC found = FindResourceExW(module, type, name, language);
    if (!found)
        return std::nullopt;
    // Resources of an image mapped as data need no unlocking or freeing.
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    if (!data)
        return std::nullopt;
    return std::make_pair(data, SizeofResource(module, found));
}

} // namespace

std::optional<DialogTemplate> LoadDialogTemplate(HMODULE module, int id, LANGID language) {
    const auto resource = FindResourceData(module, reinterpret_cast<LPCWSTR>(RT_DIALOG),
                                           MAKEINTRESOURCEW(id), language);
    if (!resource)
        return std::nullopt;
    ResourceReader reader(resource->first, resource->second);
    if (reader.Word() != 1 || reader.Word() != 0xFFFF)
        return std::nullopt; // not a DIALOGEX template
    DialogTemplate dialog;
    reader.Dword(); // help id
    dialog.exStyle = reader.Dword();
    dialog.style = reader.Dword();
    const WORD count = reader.Word();
    reader.Skip(8);         // x, y, cx, cy
    reader.NameOrOrdinal(); // menu
    reader.NameOrOrdinal(); // class
    dialog.title = reader.String();
    if (dialog.style & DS_SETFONT) {
        reader.Skip(6); // point size, weight, italic, character set
        reader.String();
    }
    for (WORD i = 0; i < count && reader.Ok(); ++i) {
        reader.AlignToDword();
        DialogControl control;
        reader.Dword(); // help id
        reader.Dword(); // extended style
        control.style = reader.Dword();
        reader.Skip(8); // x, y, cx, cy
        control.id = static_cast<int>(reader.Dword());
        control.className = PredefinedClassName(reader.NameOrOrdinal());
        control.text = reader.NameOrOrdinal();
        reader.Skip(reader.Word()); // creation data
        dialog.controls.push_back(control);
    }
    if (!reader.Ok())
        return std::nullopt;
    return dialog;
}

std::optional<std::wstring> LoadLanguageString(HMODULE module, UINT id, LANGID language) {
    // Strings come in blocks of sixteen, each a length and its characters.
    const auto resource = FindResourceData(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                           MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!resource)
        return std::nullopt;
    ResourceReader reader(resource->first, resource->second);
    for (UINT i = 0; i < id % 16; ++i)
        reader.Skip(reader.Word() * sizeof(wchar_t));
    const WORD length = reader.Word();
    std::wstring text;
    for (WORD i = 0; i < length && reader.Ok(); ++i)
        text.push_back(static_cast<wchar_t>(reader.Word()));
    if (!reader.Ok() || length == 0)
        return std::nullopt;
    return text;
}

} // namespace pellortest
