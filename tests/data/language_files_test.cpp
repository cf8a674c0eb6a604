// The shipped language files: every text the program looks up exists in every
// language, fits the reader's buffer and keeps the format placeholders of the
// other languages, and the real lookup finds the translated texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "platform/text.h"
#include "store/settings.h"
#include "test_support.h"

namespace {

const std::wstring kSection = L"KB.DIALOG";
const int kLanguages[] = {1033, 2052, 1046};

// Text numbers the pages, dialogs and rules look up, with what each one is for.
struct TextUse {
    int number;
    const char* purpose;
};
const TextUse kTextsInUse[] = {
    // Main window chrome, tray menu and tabs
    {2, "tooltip of the minimise button"},
    {5, "tooltip of the website button"},
    {10, "tray menu: close-button behaviour"},
    {11, "tray menu: exit"},
    {50, "tab and heading: Home"},
    {51, "tab and heading: Custom keys"},
    {52, "tab and heading: Macros"},
    {53, "tab and heading: Lighting"},
    {56, "tab and heading: Settings"},
    {60, "status line: keyboard connected"},
    {61, "status line: no keyboard"},
    {65, "default profile word (\"%s %d\"), title of the profile-limit box"},
    {171, "close-button tooltip (hide to tray); close dialog: hide option"},
    {172, "close-button tooltip (exit)"},
    // Message box and dialogs
    {20, "message box: the single button"},
    {22, "OK of the key-function dialog and the close dialog"},
    {23, "message box: first of two buttons"},
    {25, "message box: cancel"},
    {170, "close dialog: heading and exit option"},
    // Custom key page and key-function dialog
    {26, "import (profile tooltip, macro button)"},
    {27, "export (profile tooltip, macro button)"},
    {28, "tooltip: add profile"},
    {29, "tooltip: rename profile"},
    {30, "tooltip: delete profile"},
    {33, "rename macro button; title of refused names"},
    {201, "key menu: restore default"},
    {202, "key menu, tooltip heading and description: disabled"},
    {204, "key-function dialog label"},
    {205, "tooltip heading: key function from the picker"},
    {206, "macro: key menu, dialog caption, tooltip heading, empty-macro title"},
    {207, "tooltip heading: mouse function"},
    {208, "tooltip heading: media function"},
    {209, "shortcut: key menu, dialog caption, tooltip heading"},
    {210, "tooltip heading: launch program"},
    {211, "tooltip heading: open website"},
    {212, "tooltip heading: type text"},
    {220, "mouse function: left button"},
    {222, "mouse function: middle button"},
    {223, "mouse function: right button"},
    {227, "mouse function: forward button"},
    {228, "mouse function: back button"},
    {230, "media: play/pause"},
    {231, "media: stop"},
    {232, "media: previous track"},
    {233, "media: next track"},
    {234, "media: volume up"},
    {235, "media: volume down"},
    {236, "media: mute"},
    {252, "picker: My Computer"},
    {270, "picker: calculator"},
    {271, "picker: e-mail"},
    {272, "picker: media player"},
    {273, "picker: browser home"},
    {274, "picker: browser refresh"},
    {275, "picker: browser stop"},
    {276, "picker: browser back"},
    {277, "picker: browser forward"},
    {278, "picker: browser favourites"},
    {279, "picker: browser search"},
    {290, "confirm deleting a profile"},
    {291, "title: delete profile"},
    {293, "the chosen macro has no steps"},
    {295, "profile limit of 200 reached"},
    {330, "name empty or blocked"},
    {365, "the Fn key cannot be assigned"},
    {366, "title: Fn key"},
    {701, "shortcut: select all"},
    {702, "shortcut: copy"},
    {703, "shortcut: cut"},
    {704, "shortcut: paste"},
    {705, "shortcut: undo"},
    {706, "shortcut: save"},
    {707, "shortcut: file manager"},
    {708, "shortcut: lock screen"},
    {709, "shortcut: show desktop"},
    {710, "shortcut: switch window"},
    {711, "shortcut: minimise all windows"},
    {712, "shortcut: close tab"},
    {713, "shortcut: maximise window"},
    {714, "shortcut: minimise window"},
    {715, "shortcut: close window"},
    // Macro page
    {31, "copy macro"},
    {32, "macro list menu: rename"},
    {300, "heading of the macro list"},
    {301, "label of the option list"},
    {302, "option list: first item"},
    {303, "option list: second item"},
    {304, "event kind key; title of the key picture"},
    {305, "event kind mouse button"},
    {306, "event kind delay"},
    {307, "mouse button list: left"},
    {308, "mouse button list: middle"},
    {309, "mouse button list: right"},
    {310, "insert button"},
    {311, "new macro"},
    {312, "delete macro; tooltip: delete step"},
    {316, "label of the repeat count"},
    {317, "delay mode: recorded delays"},
    {318, "delay mode: no delays"},
    {319, "delay mode: fixed delay"},
    {320, "unit of the fixed delay"},
    {321, "start recording"},
    {322, "stop recording"},
    {323, "heading of the step list"},
    {325, "tooltip: insert delay"},
    {326, "tooltip: move step up"},
    {327, "tooltip: move step down"},
    {329, "save the step list"},
    {331, "default macro word (\"%s %d\")"},
    {335, "step list column: key"},
    {336, "step list column: action"},
    {337, "step list column: delay"},
    {540, "export with no macro selected"},
    {621, "macro name contains a blocked word"},
    // Lighting page
    {82, "label: brightness"},
    {83, "label: speed"},
    {85, "label: direction"},
    {86, "custom lighting slot word (\"%s 1\")"},
    {87, "button beside the slot list"},
    {89, "label of the colour rows"},
    {90, "check box: colourful"},
    {91, "label of the colour picker"},
    {100, "music label: effect"},
    {101, "name of the music light (\"<text> 1\")"},
    {102, "music label: sensitivity"},
    {103, "music label: gain"},
    {104, "music label: option list"},
    {105, "music label: background brightness"},
    {106, "music effect list item"},
    {107, "music effect list item"},
    {108, "music effect list item"},
    {109, "music effect list item"},
    {110, "music effect list item"},
    {111, "music effect and option list item"},
    {112, "music option list item"},
    {113, "music option list item"},
    {114, "music option list item"},
    {117, "music option list item"},
    {118, "music option list item"},
    {120, "level-music effect list item"},
    {121, "level-music effect list item"},
    {541, "area label 1"},
    {542, "area label 2"},
    {543, "area label 3"},
    {544, "area label 4"},
    {545, "area label 5"},
    {546, "area label 6"},
    // Settings page
    {150, "label: language"},
    {151, "check box: start at login"},
    {152, "button: restore the profile's keys"},
    {153, "button: restore factory settings"},
    {156, "button and title: software update"},
    {157, "button and title: firmware update"},
    {165, "confirm restoring the keys"},
    {166, "title: restore keys"},
    {167, "confirm factory reset"},
    {168, "title: factory reset"},
    {175, "software is up to date"},
    {176, "firmware update available"},
    {177, "firmware is up to date, update anyway"},
    // Names of the layouts' light modes and the profile-export prompt
    {501, "light mode name"}, {502, "light mode name"}, {503, "light mode name"},
    {504, "light mode name"}, {505, "light mode name"}, {506, "light mode name"},
    {507, "light mode name"}, {508, "light mode name"}, {509, "light mode name"},
    {510, "light mode name"}, {511, "light mode name"}, {512, "light mode name"},
    {513, "light mode name"}, {514, "light mode name"}, {515, "light mode name"},
    {516, "light mode name"}, {517, "light mode name"}, {518, "light mode name"},
    {519, "light mode name"}, {520, "light mode name"},
    {539, "export with no profile selected"},
};

// Brazilian Portuguese shares these words with English; every other text must
// be translated.
const std::set<int> kSameInPortuguese = {20, 22, 23, 52, 206, 331, 510, 511};

struct LanguageFile {
    std::string bytes;
    platform::IniFile ini;
    std::vector<std::wstring> keys;  // key lines of the section, in file order
};

std::string FilePath(int lcid) {
    return testsupport::SourceDir() + "/data/language/" + std::to_string(lcid) + ".lan";
}

std::wstring Trim(const std::wstring& s) {
    const size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return L"";
    return s.substr(b, s.find_last_not_of(L" \t") - b + 1);
}

// The key lines of the dialog section, scanned from the raw text so that
// duplicates and stray keys are seen too (the reader would hide them).
std::vector<std::wstring> SectionKeys(const std::wstring& text) {
    std::vector<std::wstring> keys;
    std::wstring section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
        if (line[0] == L'[') {
            section = line.substr(1, line.find(L']') - 1);
            continue;
        }
        if (section == kSection) keys.push_back(Trim(line.substr(0, line.find(L'='))));
    }
    return keys;
}

// The printf conversions of a text in order ("%s", "%d", "%02d" ...); "%%" is
// a literal. A '%' that starts no valid conversion is returned as "%?".
std::vector<std::wstring> Placeholders(const std::wstring& text) {
    std::vector<std::wstring> out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        if (i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() && std::wstring(L"-+ #0").find(text[j]) != std::wstring::npos) ++j;
        while (j < text.size() && (iswdigit(text[j]) || text[j] == L'*')) ++j;
        if (j < text.size() && text[j] == L'.') {
            ++j;
            while (j < text.size() && iswdigit(text[j])) ++j;
        }
        while (j < text.size() && std::wstring(L"hlLzjt").find(text[j]) != std::wstring::npos) ++j;
        if (j < text.size() && std::wstring(L"diouxXcsSeEfgGaAp").find(text[j]) != std::wstring::npos) {
            out.push_back(text.substr(i, j - i + 1));
            i = j;
        } else {
            out.push_back(L"%?");
        }
    }
    return out;
}

// Length as the program's 260-unit UTF-16 buffer counts it.
size_t Utf16Length(const std::wstring& text) {
    size_t n = 0;
    for (wchar_t c : text) n += static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
    return n;
}

class LanguageFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = new std::map<int, LanguageFile>;
        for (int lcid : kLanguages) {
            LanguageFile& f = (*files_)[lcid];
            f.bytes = testsupport::ReadFile(FilePath(lcid));
            f.ini.Parse(f.bytes);
            f.keys = SectionKeys(platform::Utf8ToWide(f.bytes));
        }
    }
    static void TearDownTestSuite() {
        delete files_;
        files_ = nullptr;
    }
    static const LanguageFile& File(int lcid) { return files_->at(lcid); }
    static std::wstring Text(int lcid, int number) {
        return File(lcid).ini.Get(kSection, std::to_wstring(number)).value_or(L"");
    }
    static std::set<int> Numbers(int lcid) {
        std::set<int> numbers;
        for (const std::wstring& k : File(lcid).keys) numbers.insert(platform::ParseDecimal(k));
        return numbers;
    }

    static std::map<int, LanguageFile>* files_;
};
std::map<int, LanguageFile>* LanguageFilesTest::files_ = nullptr;

}  // namespace

TEST_F(LanguageFilesTest, FilesAreUtf8WithDecimalKeysOnce) {
    for (int lcid : kLanguages) {
        SCOPED_TRACE(lcid);
        const LanguageFile& f = File(lcid);
        ASSERT_FALSE(f.bytes.empty()) << FilePath(lcid);
        EXPECT_NE(f.bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "byte-order mark";
        EXPECT_EQ(platform::WideToUtf8(platform::Utf8ToWide(f.bytes)), f.bytes) << "invalid UTF-8";
        EXPECT_TRUE(f.ini.HasSection(kSection));
        std::set<std::wstring> seen;
        for (const std::wstring& key : f.keys) {
            EXPECT_TRUE(seen.insert(key).second) << "duplicate key " << platform::WideToUtf8(key);
            // Written as "%d" by the lookup: no sign, no leading zero.
            EXPECT_EQ(std::to_wstring(platform::ParseDecimal(key)), key)
                << "key " << platform::WideToUtf8(key);
        }
    }
}

TEST_F(LanguageFilesTest, EveryLanguageHasTheSameNumbers) {
    const std::set<int> english = Numbers(1033);
    EXPECT_FALSE(english.empty());
    for (int lcid : {2052, 1046}) {
        const std::set<int> other = Numbers(lcid);
        for (int n : english) EXPECT_TRUE(other.count(n)) << n << " missing in " << lcid;
        for (int n : other) EXPECT_TRUE(english.count(n)) << n << " only in " << lcid;
    }
}

TEST_F(LanguageFilesTest, TextsAreNonEmptyAndFitTheBuffer) {
    for (int lcid : kLanguages) {
        for (int n : Numbers(lcid)) {
            const std::wstring text = Text(lcid, n);
            EXPECT_FALSE(text.empty()) << lcid << ": text " << n << " is empty";
            EXPECT_LE(Utf16Length(text), 259u) << lcid << ": text " << n << " is cut by the reader";
        }
    }
}

TEST_F(LanguageFilesTest, PlaceholdersMatchAcrossLanguages) {
    for (int n : Numbers(1033)) {
        const auto english = Placeholders(Text(1033, n));
        for (const std::wstring& p : english) EXPECT_NE(p, L"%?") << "stray '%' in 1033 text " << n;
        for (int lcid : {2052, 1046})
            EXPECT_EQ(Placeholders(Text(lcid, n)), english) << lcid << ": text " << n;
    }
}

TEST_F(LanguageFilesTest, EveryTextInUseIsPresent) {
    std::set<int> listed;
    for (const TextUse& use : kTextsInUse) {
        EXPECT_TRUE(listed.insert(use.number).second) << use.number << " listed twice";
        for (int lcid : kLanguages)
            EXPECT_FALSE(Text(lcid, use.number).empty())
                << lcid << ": text " << use.number << " (" << use.purpose << ") missing";
    }
}

TEST_F(LanguageFilesTest, TextsAreTranslated) {
    for (int n : Numbers(1033)) {
        const std::wstring english = Text(1033, n);
        EXPECT_NE(Text(2052, n), english) << "2052 text " << n << " is the English text";
        if (!kSameInPortuguese.count(n)) {
            EXPECT_NE(Text(1046, n), english) << "1046 text " << n << " is the English text";
        }
    }
}

TEST_F(LanguageFilesTest, DefaultNameWordsAreTheRecognisedOnes) {
    // Default profile and macro names made under one language are recognised
    // under another by exactly these words, so the files must use them.
    struct Case { int lcid; std::wstring profile, macro; };
    const Case cases[] = {
        {1033, L"Profile", L"Macro"},
        {2052, L"配置方案", L"宏"},
        {1046, L"Perfil", L"Macro"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.lcid, 65), c.profile) << c.lcid;
        EXPECT_EQ(Text(c.lcid, 331), c.macro) << c.lcid;
    }
}

TEST(LanguageLookupTest, GetLanguageTextReadsTheShippedFiles) {
    testsupport::TempDir prog;
    testsupport::MakeDirs(prog / "language");
    for (int lcid : kLanguages) {
        const std::string name = std::to_string(lcid) + ".lan";
        testsupport::WriteFile(prog / ("language/" + name), testsupport::ReadFile(FilePath(lcid)));
    }
    testsupport::EnvGuard env;
    env.Set("KEYLOOM_PROGRAM_DIR", prog.path());
    FlushLanguageCache();
    const int previous = CurrentLanguageId;

    struct Case { int lcid; int number; std::wstring text; };
    const Case cases[] = {
        {2052, 65, L"配置方案"},
        {2052, 53, L"灯光"},
        {1046, 65, L"Perfil"},
        {1046, 153, L"Restaurar configurações de fábrica"},
        {1033, 50, L"Home"},
    };
    for (const Case& c : cases) {
        CurrentLanguageId = c.lcid;
        EXPECT_EQ(GetLanguageText(kSection, c.number), c.text) << c.lcid << ": " << c.number;
    }
    CurrentLanguageId = 2052;
    EXPECT_EQ(GetLanguageText(kSection, 999), L"");  // a number no file has
    CurrentLanguageId = 1031;
    EXPECT_EQ(GetLanguageText(kSection, 65), L"");  // a language that does not ship

    CurrentLanguageId = previous;
    FlushLanguageCache();
}
