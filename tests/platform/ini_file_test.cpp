#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "test_support.h"

using platform::IniFile;

TEST(IniFile, ReadsSectionsKeysAndValues) {
    IniFile ini;
    ini.Parse("; comment\r\n[KB.DIALOG]\r\n1 = Home \r\n2=\"  quoted  \"\r\n[other]\r\n1=elsewhere\r\n");
    EXPECT_EQ(ini.Get(L"kb.dialog", L"1"), std::optional<std::wstring>(L"Home"));
    EXPECT_EQ(ini.Get(L"KB.DIALOG", L"2"), std::optional<std::wstring>(L"  quoted  "));
    EXPECT_EQ(ini.Get(L"other", L"1"), std::optional<std::wstring>(L"elsewhere"));
    EXPECT_FALSE(ini.Get(L"KB.DIALOG", L"3"));
    EXPECT_FALSE(ini.Get(L"missing", L"1"));
}

TEST(IniFile, DecodesUtf16WithByteOrderMarkAndUtf8Bom) {
    // "[s]\nk=配置" in UTF-16 LE with its mark
    const std::string utf16("\xFF\xFE[\0s\0]\0\n\0k\0=\0\x4D\x91\x6E\x7F", 18);
    IniFile a;
    a.Parse(utf16);
    EXPECT_EQ(a.Get(L"s", L"k"), std::optional<std::wstring>(L"\u914d\u7f6e"));
    IniFile b;
    b.Parse("\xEF\xBB\xBF[s]\nk=v\n");
    EXPECT_EQ(b.Get(L"s", L"k"), std::optional<std::wstring>(L"v"));
}

TEST(IniFile, SetKeepsOtherLinesAndSaveRoundTrips) {
    testsupport::TempDir dir;
    IniFile ini;
    ini.Parse("# kept\n[settings]\nLCID=2052\n\n[x]\ny=1\n");
    ini.Set(L"settings", L"exit_mode", L"1");
    ini.Set(L"settings", L"lcid", L"1046");  // replaces, keeps the stored spelling
    ini.Set(L"new", L"k", L"v");
    ASSERT_TRUE(ini.Save(dir / "s.ini"));
    EXPECT_EQ(testsupport::ReadFile(dir / "s.ini"),
              "# kept\n[settings]\nLCID=1046\nexit_mode=1\n\n[x]\ny=1\n[new]\nk=v\n");
    EXPECT_FALSE(testsupport::Exists(dir / "s.ini.tmp"));
}

TEST(IniFile, SaveIntoMissingFolderFailsWithoutTrace) {
    testsupport::TempDir dir;
    IniFile ini;
    ini.Set(L"a", L"b", L"c");
    EXPECT_FALSE(ini.Save(dir / "no/such/file.ini"));
    EXPECT_FALSE(IniFile().Load(dir / "absent.ini"));
}
