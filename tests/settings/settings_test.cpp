#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/text.h"
#include "store/settings.h"
#include "tavri/manager.h"
#include "test_support.h"

using testsupport::IsolatedHome;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Manager::ResetForTests(); }
    void TearDown() override { Manager::ResetForTests(); }
    std::string Ini() const { return home.config() + "/Keyloom/settings.ini"; }
    IsolatedHome home;
};

bool RunningAsRoot() { return geteuid() == 0; }

}  // namespace

TEST_F(SettingsTest, FirstReadCreatesTheStoreAndReadsZero) {
    EXPECT_FALSE(testsupport::Exists(Ini()));
    EXPECT_EQ(ReadLanguageId(), 0);
    EXPECT_TRUE(testsupport::Exists(Ini()));
    EXPECT_EQ(ReadLanguageId(), 0);  // still no LCID in it
    WriteLanguageId(2052);
    EXPECT_EQ(ReadLanguageId(), 2052);
    EXPECT_EQ(testsupport::ReadFile(Ini()), "[settings]\nLCID=2052\n");
}

TEST_F(SettingsTest, StoredValuesAsTheyRead) {
    struct Case { const char* file; int lcid; int exitMode; };
    const Case cases[] = {
        {"[settings]\nLCID=1046\nexit_mode=2\n", 1046, 2},
        {"[settings]\nLCID=abc\nexit_mode=\n", 0, 0},  // non-numeric and empty read 0
        {"[settings]\nLCID=12x\n", 12, 0},             // leading digits count
        {"[other]\nLCID=1046\n", 0, 0},                // wrong section
        {"", 0, 0},
    };
    for (const auto& c : cases) {
        testsupport::MakeDirs(home.config() + "/Keyloom");
        testsupport::WriteFile(Ini(), c.file);
        EXPECT_EQ(ReadLanguageId(), c.lcid) << c.file;
        EXPECT_EQ(ReadSettingInt(L"exit_mode"), c.exitMode) << c.file;
    }
}

TEST_F(SettingsTest, UnreadableOrUncreatableStore) {
    if (RunningAsRoot()) {
        // Root reads through any permission bits: make the store a folder instead,
        // which no one can read as a file.
        testsupport::MakeDirs(Ini());
    } else {
        testsupport::MakeDirs(home.config() + "/Keyloom");
        testsupport::WriteFile(Ini(), "[settings]\nLCID=2052\nexit_mode=1\n");
        chmod(Ini().c_str(), 0);
    }
    EXPECT_EQ(ReadLanguageId(), 1046);
    EXPECT_EQ(ReadSettingInt(L"exit_mode"), 0);
    WriteLanguageId(1033);  // silently nothing
    EXPECT_EQ(ReadLanguageId(), 1046);
}

TEST_F(SettingsTest, UncreatableFolderGives1046) {
    // The config home is a file, so nothing can be created below it.
    testsupport::EnvGuard env;
    const std::string blocker = home.dir() / "blocker";
    testsupport::WriteFile(blocker, "x");
    env.Set("XDG_CONFIG_HOME", blocker);
    EXPECT_EQ(ReadLanguageId(), 1046);
    EXPECT_EQ(ReadSettingInt(L"exit_mode"), 0);
}

TEST_F(SettingsTest, WritesNeedAnExistingStoreAndKeepOtherValues) {
    WriteSettingText(L"exit_mode", L"1");  // no store yet: nothing is created
    EXPECT_FALSE(testsupport::Exists(Ini()));
    ReadSettingInt(L"exit_mode");  // creates it
    WriteLanguageId(1046);
    WriteSettingText(L"exit_mode", L"2");
    WriteSettingText(L"exit_mode", L"1");
    EXPECT_EQ(ReadLanguageId(), 1046);
    EXPECT_EQ(ReadSettingInt(L"exit_mode"), 1);
}

TEST_F(SettingsTest, DeviceNameNamesTheStoreFoldersAndAutostart) {
    Manager::SetDeviceName(L"Other Board");
    ReadLanguageId();
    EXPECT_TRUE(testsupport::Exists(home.config() + "/Other Board/settings.ini"));
    EXPECT_EQ(GetUserDataFolder(), platform::Utf8ToWide(home.data() + "/Other Board Files/"));
    SetAutostart(true);
    EXPECT_TRUE(IsAutostartOn());
    EXPECT_TRUE(testsupport::Exists(home.config() + "/autostart/Other Board.desktop"));
    SetAutostart(false);
    EXPECT_FALSE(IsAutostartOn());
    SetAutostart(false);
    EXPECT_FALSE(IsAutostartOn());
}

TEST_F(SettingsTest, CreateFolderPathLevelByLevel) {
    const CString base = CString::FromUtf8(home.dir().path());
    const CString nested = base + L"\\a\\b\\c";
    EXPECT_TRUE(CreateFolderPath(nested));
    EXPECT_TRUE(platform::IsDirectory(home.dir() / "a/b/c"));
    EXPECT_TRUE(CreateFolderPath(nested));                // already there
    EXPECT_TRUE(CreateFolderPath(base + L"/a/b/c/d/"));   // trailing separator
    testsupport::WriteFile(home.dir() / "file", "x");
    EXPECT_FALSE(CreateFolderPath(base + L"/file/sub"));  // a file blocks the way
    EXPECT_FALSE(CreateFolderPath(base + L"/file"));
    EXPECT_FALSE(CreateFolderPath(L""));
}

TEST_F(SettingsTest, LanguageTextLookup) {
    testsupport::EnvGuard env;
    const std::string prog = home.dir() / "prog";
    testsupport::MakeDirs(prog + "/language");
    env.Set("KEYLOOM_PROGRAM_DIR", prog);
    const std::string longText(300, 'x');
    testsupport::WriteFile(prog + "/language/1033.lan",
                           "[KB.DIALOG]\n1=Home\n65=Profile\n7=" + longText + "\n");
    testsupport::WriteFile(prog + "/language/2052.lan", "[OTHER]\n1=\xE9\xA6\x96\xE9\xA1\xB5\n");

    CurrentLanguageId = 1033;
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 1), L"Home");
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 65), L"Profile");
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 7).size(), 259u);
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 2), L"");
    CurrentLanguageId = 2052;  // file without the section
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 1), L"");
    CurrentLanguageId = 1046;  // no file
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 1), L"");

    // A replaced file is read again.
    CurrentLanguageId = 1033;
    testsupport::WriteFile(prog + "/language/1033.lan", "[KB.DIALOG]\n1=Start page\n");
    FlushLanguageCache();
    EXPECT_EQ(GetLanguageText(L"KB.DIALOG", 1), L"Start page");
    CurrentLanguageId = 0;
}

TEST_F(SettingsTest, ProgramFolderForms) {
    testsupport::EnvGuard env;
    env.Set("KEYLOOM_PROGRAM_DIR", "/srv/keyloom");
    EXPECT_EQ(GetProgramFolder(), L"/srv/keyloom/");
    EXPECT_EQ(GetProgramFolderNoSlash(), L"/srv/keyloom");
}
