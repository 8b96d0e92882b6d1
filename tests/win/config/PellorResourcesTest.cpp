// Pellor's resources read from the built program: both languages carry the
// same dialogs and controls, the strings the store and the questions rely
// on, and the version block.
#include "DialogTemplate.h"
#include "PellorDriver.h"

#include <gtest/gtest.h>

using namespace qxtest;
using namespace pellortest;

namespace {

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT);

class PellorResources : public ::testing::Test {
  protected:
    void SetUp() override {
        m_module =
            LoadLibraryExW(BinPath(L"Pellor.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_module);
    }
    void TearDown() override {
        if (m_module)
            FreeLibrary(m_module);
    }
    HMODULE m_module = nullptr;
};

TEST_F(PellorResources, BothLanguagesCarryTheSameControls) {
    for (const int id : {102, 129}) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        const auto english = LoadDialogTemplate(m_module, id, kEnglish);
        const auto korean = LoadDialogTemplate(m_module, id, kKorean);
        ASSERT_TRUE(english.has_value());
        ASSERT_TRUE(korean.has_value());
        EXPECT_EQ(english->style, korean->style);
        EXPECT_EQ(english->exStyle, korean->exStyle);
        ASSERT_EQ(english->controls.size(), korean->controls.size());
        for (std::size_t i = 0; i < english->controls.size(); ++i) {
            const DialogControl& en = english->controls[i];
            const DialogControl& ko = korean->controls[i];
            SCOPED_TRACE("control " + std::to_string(en.id));
            EXPECT_EQ(en.id, ko.id) << "controls in the same tab order";
            EXPECT_EQ(en.className, ko.className);
            EXPECT_EQ(en.style, ko.style);
        }
    }
}

// The keys' subkeys are named by strings 501 and 502, so they must read the
// same in every language; the questions are in each language's own words.
TEST_F(PellorResources, StringsOfBothLanguages) {
    const struct {
        UINT id;
        const char* english;
        const char* korean;
    } strings[] = {
        {102, "User Key Configuration", "User Key Configuration"},
        {501, "Prog 1", "Prog 1"},
        {502, "Prog 2", "Prog 2"},
        {103, "Setting has been changed. Would you like to save it?",
         "내용이 변경 되었습니다. 변경된 내용을 저장하시겠습니까?"},
        {104, "Would you like to cancel the changes?", "변경된 내용을 취소하시겠습니까?"},
    };
    for (const auto& s : strings) {
        SCOPED_TRACE("string " + std::to_string(s.id));
        EXPECT_EQ(Wide(s.english), LoadLanguageString(m_module, s.id, kEnglish));
        EXPECT_EQ(Wide(s.korean), LoadLanguageString(m_module, s.id, kKorean));
    }
}

TEST_F(PellorResources, VersionBlock) {
    const std::wstring path = BinPath(L"Pellor.exe");
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(1, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(4, 5), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } values[] = {
        {L"FileDescription", L"Tarvolt - User Key Configuration for QX-310"},
        {L"InternalName", L"Pellorium"},
        {L"OriginalFilename", L"Pellorium.EXE"},
        {L"ProductName", L"Morvel Multimedia Tarvolt for Windows XP"},
        {L"FileVersion", L"1.1.5.4"},
        {L"ProductVersion", L"1.1.5.4"},
    };
    for (const auto& v : values) {
        SCOPED_TRACE(std::string(v.name, v.name + wcslen(v.name)));
        wchar_t* text = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + v.name;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_EQ(std::wstring(v.value), text);
    }
}

} // namespace
