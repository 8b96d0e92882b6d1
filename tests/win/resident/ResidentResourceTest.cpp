// Tarvolt.exe's resources in both languages, read from the built program:
// the same dialogs and controls in each, the strings, the tray menu, the
// icon's images and the version block.
#include "support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

using namespace qxtest;

namespace {

const WORD ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD KOREAN = MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT);
const WORD NEUTRAL = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

// Resource types by number: the tests are not built for wide names.
const LPCWSTR MENU = MAKEINTRESOURCEW(4);
const LPCWSTR DIALOG = MAKEINTRESOURCEW(5);
const LPCWSTR STRINGS = MAKEINTRESOURCEW(6);
const LPCWSTR ICON_GROUP = MAKEINTRESOURCEW(14);
const LPCWSTR VERSION = MAKEINTRESOURCEW(16);

class ResidentResources : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_program =
            LoadLibraryExW(BinPath(L"Tarvolt.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (s_program)
            FreeLibrary(s_program);
        s_program = nullptr;
    }
    void SetUp() override { ASSERT_NE(nullptr, s_program) << "Tarvolt.exe could not be read"; }

    static const BYTE* Resource(LPCWSTR type, UINT id, WORD language, DWORD* size = nullptr) {
        const HRSRC found = FindResourceExW(s_program, type, MAKEINTRESOURCEW(id), language);
        if (!found)
            return nullptr;
        if (size)
            *size = SizeofResource(s_program, found);
        return static_cast<const BYTE*>(LockResource(LoadResource(s_program, found)));
    }

    static HMODULE s_program;
};

HMODULE ResidentResources::s_program = nullptr;

// What a DIALOGEX template holds, as far as the tests look.
struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short width = 0;
    short height = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    struct Control {
        int id;
        std::wstring className; // "#0x0082" style for atoms
        std::wstring text;      // "#137" for a resource number
        DWORD style;
    };
    std::vector<Control> controls;
};

class TemplateReader {
  public:
    explicit TemplateReader(const BYTE* data) : m_data(data) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return static_cast<short>(Take<WORD>()); }
    BYTE Byte() { return m_data[m_at++]; }
    std::wstring Text() {
        std::wstring text;
        for (WORD c; (c = Word()) != 0;)
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // A name or a number (0xFFFF and the number).
    std::wstring NameOrNumber() {
        const WORD first = Take<WORD>(false);
        if (first == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return Text();
    }
    void AlignToDword() { m_at = (m_at + 3) & ~std::size_t(3); }

  private:
    template <typename T> T Take(bool advance = true) {
        T value;
        std::memcpy(&value, m_data + m_at, sizeof value);
        if (advance)
            m_at += sizeof value;
        return value;
    }
    const BYTE* m_data;
    std::size_t m_at = 0;
};

DialogTemplate ReadDialog(const BYTE* data) {
    DialogTemplate dialog;
    TemplateReader reader(data);
    EXPECT_EQ(1, reader.Word()) << "not an extended dialog template";
    EXPECT_EQ(0xFFFF, reader.Word());
    reader.Dword(); // help id
    dialog.exStyle = reader.Dword();
    dialog.style = reader.Dword();
    const WORD count = reader.Word();
    reader.Short();
    reader.Short();
    dialog.width = reader.Short();
    dialog.height = reader.Short();
    reader.NameOrNumber(); // menu
    reader.NameOrNumber(); // class
    dialog.caption = reader.Text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        reader.Word();
        reader.Byte();
        reader.Byte();
        dialog.font = reader.Text();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignToDword();
        DialogTemplate::Control control;
        reader.Dword(); // help id
        reader.Dword(); // extended style
        control.style = reader.Dword();
        for (int j = 0; j < 4; ++j)
            reader.Short();
        control.id = static_cast<int>(reader.Dword());
        control.className = reader.NameOrNumber();
        control.text = reader.NameOrNumber();
        const WORD extra = reader.Word();
        for (WORD j = 0; j < extra; ++j)
            reader.Byte();
        dialog.controls.push_back(control);
    }
    return dialog;
}

std::multiset<int> ControlIds(const DialogTemplate& dialog) {
    std::multiset<int> ids;
    for (const auto& control : dialog.controls)
        ids.insert(control.id);
    return ids;
}

TEST_F(ResidentResources, EveryDialogHasTheSameControlsInBothLanguages) {
    for (UINT id : {100u, 102u, 135u}) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        const BYTE* english = Resource(DIALOG, id, ENGLISH);
        const BYTE* korean = Resource(DIALOG, id, KOREAN);
        ASSERT_NE(nullptr, english);
        ASSERT_NE(nullptr, korean);
        EXPECT_EQ(ControlIds(ReadDialog(english)), ControlIds(ReadDialog(korean)));
    }
}

TEST_F(ResidentResources, HiddenWindowsAreNeverVisibleByTheirTemplates) {
    for (WORD language : {ENGLISH, KOREAN}) {
        SCOPED_TRACE(language);
        const DialogTemplate keyService = ReadDialog(Resource(DIALOG, 102, language));
        EXPECT_EQ(0u, keyService.style & WS_VISIBLE);
        EXPECT_EQ(static_cast<DWORD>(DS_SYSMODAL | WS_POPUP),
                  keyService.style & (DS_SYSMODAL | WS_POPUP));
        EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), keyService.exStyle & WS_EX_APPWINDOW);
        EXPECT_EQ(13, keyService.width);
        EXPECT_EQ(14, keyService.height);
        ASSERT_EQ(1u, keyService.controls.size());
        EXPECT_EQ(1005, keyService.controls[0].id);
        EXPECT_EQ(L"#137", keyService.controls[0].text);
        EXPECT_EQ(static_cast<DWORD>(SS_BITMAP), keyService.controls[0].style & SS_TYPEMASK);

        const DialogTemplate marker = ReadDialog(Resource(DIALOG, 135, language));
        EXPECT_EQ(0u, marker.style & WS_VISIBLE);
        EXPECT_EQ(static_cast<DWORD>(WS_CAPTION), marker.style & WS_CAPTION);
        EXPECT_EQ(L"C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3", marker.caption);
        EXPECT_EQ(135, marker.width);
        EXPECT_EQ(17, marker.height);
        EXPECT_TRUE(marker.controls.empty());
    }
}

TEST_F(ResidentResources, AboutBoxInEachLanguage) {
    struct Case {
        WORD language;
        short width, height;
        std::wstring font, ok;
    } cases[] = {
        {ENGLISH, 217, 60, L"MS Sans Serif", L"OK"},
        {KOREAN, 222, 67, Wide("굴림"), Wide("확인")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        const DialogTemplate about = ReadDialog(Resource(DIALOG, 100, c.language));
        EXPECT_EQ(L"About Tarvolt 1.5 ...", about.caption);
        EXPECT_EQ(c.width, about.width);
        EXPECT_EQ(c.height, about.height);
        EXPECT_EQ(c.font, about.font);
        EXPECT_EQ(9, about.pointSize);
        EXPECT_EQ(static_cast<DWORD>(DS_MODALFRAME | WS_CAPTION | WS_SYSMENU),
                  about.style & (DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));
        bool icon = false, name = false, ok = false;
        for (const auto& control : about.controls) {
            if (control.text == L"#130" && (control.style & SS_TYPEMASK) == SS_ICON) {
                icon = true;
                EXPECT_NE(0u, control.style & SS_SUNKEN);
            }
            if (control.text == L"Tarvolt 1.5") {
                name = true;
                EXPECT_NE(0u, control.style & SS_NOPREFIX);
            }
            if (control.id == IDOK) {
                ok = true;
                EXPECT_EQ(c.ok, control.text);
                EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), control.style & 0x0F);
            }
        }
        EXPECT_TRUE(icon && name && ok);
    }
}

std::wstring StringResource(const BYTE* block, UINT id) {
    const WORD* at = reinterpret_cast<const WORD*>(block);
    for (UINT i = 0; i < id % 16; ++i)
        at += 1 + *at;
    return std::wstring(reinterpret_cast<const wchar_t*>(at + 1), *at);
}

TEST_F(ResidentResources, StringsInBothLanguages) {
    const std::map<UINT, std::pair<std::wstring, std::wstring>> strings = {
        {101, {L"&About Tarvolt 1.5...", Wide("Tarvolt 1.5 정보(&A)...")}},
        {102, {L"Tarvolt 1.5 ", L"Tarvolt 1.5 "}},
        {103, {L"Pellor.exe", L"Pellor.exe"}},
        {105, {L"C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3", L"C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3"}},
        {106,
         {L"Tarvolt 1.5 works on Windows 2000, Windows XP, or later.\r\nPlease confirm your "
          L"Windows version.",
          Wide("Tarvolt 1.5는 Windows 2000, Windows XP, 또는 이후 버전에서만 정상 동작합니다."
               "\n\n시스템의 운영체제 버전을 확인하여 주십시오.")}},
        {501, {L"Prog 1", L"Prog 1"}},
        {502, {L"Prog 2", L"Prog 2"}},
        {507, {L"My Computer", L"My Computer"}},
        {511, {L"Mute", L"Mute"}},
    };
    for (const auto& [id, texts] : strings) {
        SCOPED_TRACE("string " + std::to_string(id));
        const BYTE* english = Resource(STRINGS, id / 16 + 1, ENGLISH);
        const BYTE* korean = Resource(STRINGS, id / 16 + 1, KOREAN);
        ASSERT_NE(nullptr, english);
        ASSERT_NE(nullptr, korean);
        EXPECT_EQ(texts.first, StringResource(english, id));
        EXPECT_EQ(texts.second, StringResource(korean, id));
    }
}

TEST_F(ResidentResources, TrayMenuInBothLanguages) {
    struct Case {
        WORD language;
        std::vector<std::wstring> items;
    } cases[] = {
        {ENGLISH, {L"About...", L"User Config", L"Exit"}},
        {KOREAN, {L"About...", Wide("사용자키 정의"), Wide("종료")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        const BYTE* data = Resource(MENU, 131, c.language);
        ASSERT_NE(nullptr, data);
        const HMENU menu = LoadMenuIndirectW(data);
        ASSERT_NE(nullptr, menu);
        ASSERT_EQ(1, GetMenuItemCount(menu));
        wchar_t text[64] = L"";
        GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(L"Kelvaro", text);
        const HMENU popup = GetSubMenu(menu, 0);
        ASSERT_EQ(3, GetMenuItemCount(popup));
        const UINT ids[] = {32771, 32772, 32773};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(ids[i], GetMenuItemID(popup, i));
            GetMenuStringW(popup, i, text, 64, MF_BYPOSITION);
            EXPECT_EQ(c.items[i], text);
        }
        DestroyMenu(menu);
    }
}

TEST_F(ResidentResources, IconHas16And32PixelImagesIn16Colours) {
    const BYTE* group = nullptr;
    for (WORD language : {NEUTRAL, ENGLISH}) {
        if ((group = Resource(ICON_GROUP, 130, language)))
            break;
    }
    ASSERT_NE(nullptr, group);
    WORD count = 0;
    std::memcpy(&count, group + 4, sizeof count);
    ASSERT_EQ(2, count);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = group + 6 + i * 14;
        sizes.insert(entry[0]);
        WORD bits = 0;
        std::memcpy(&bits, entry + 6, sizeof bits);
        EXPECT_EQ(4, bits) << "image " << i << " is not 16 colours";
    }
    EXPECT_EQ((std::set<int>{16, 32}), sizes);
}

TEST_F(ResidentResources, VersionBlockNamesTheProgram) {
    DWORD size = 0;
    const BYTE* version = Resource(VERSION, 1, NEUTRAL, &size);
    ASSERT_NE(nullptr, version);
    std::vector<BYTE> copy(version, version + size);
    wchar_t* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(L"Tarvolt.exe", value);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(5, 1), fixed->dwFileVersionMS);
}

} // namespace
