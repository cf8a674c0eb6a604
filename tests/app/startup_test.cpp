#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/startup.h"
#include "platform/paths.h"
#include "store/settings.h"
#include "tavri/manager.h"
#include "test_support.h"

using testsupport::IsolatedHome;

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        Manager::ResetForTests();
        prog = home.dir() / "prog";
        testsupport::MakeDirs(prog);
        env.Set("KEYLOOM_PROGRAM_DIR", prog);
    }
    void TearDown() override { Manager::ResetForTests(); }
    void Config(const std::string& body) { testsupport::WriteFile(prog + "/config.xml", body); }

    IsolatedHome home;
    testsupport::EnvGuard env;
    std::string prog;
};

}  // namespace

TEST_F(StartupTest, DeviceNameFromConfig) {
    struct Case { const char* what; std::string xml; std::wstring name; };
    const Case cases[] = {
        {"named", "<config><device.info/><software name=\"Tavri Board\"/></config>", L"Tavri Board"},
        {"no name attribute", "<config><software version=\"1\"/></config>", L""},
        {"no software", "<config><device.info/></config>", L"Keyloom"},
        {"wrong root", "<settings><software name=\"X\"/></settings>", L"Keyloom"},
        {"malformed", "<config><software name=\"X\">", L"Keyloom"},
    };
    for (const auto& c : cases) {
        Manager::ResetForTests();
        Config(c.xml);
        ReadDeviceNameFromConfig();
        EXPECT_EQ(Manager::GetDeviceName(), c.name) << c.what;
    }
    Manager::ResetForTests();
    std::remove((prog + "/config.xml").c_str());
    ReadDeviceNameFromConfig();
    EXPECT_EQ(Manager::GetDeviceName(), L"Keyloom");
}

TEST_F(StartupTest, LanguageChoiceOnFirstAndSecondStart) {
    // UI language 1046: stored and used.
    EXPECT_EQ(ChooseStartupLanguage(1046), 1046);
    EXPECT_EQ(ChooseStartupLanguage(1033), 1046);
}

TEST_F(StartupTest, OtherUiLanguageIsUsedOnceThen2052) {
    EXPECT_EQ(ChooseStartupLanguage(1033), 1033);  // this run: the UI language
    EXPECT_EQ(ChooseStartupLanguage(1033), 2052);  // the next run: the stored value
}

TEST_F(StartupTest, StoredLanguageWinsWhateverTheSystem) {
    ReadLanguageId();  // create the store
    WriteLanguageId(1031);
    EXPECT_EQ(ChooseStartupLanguage(1046), 1031);
}

TEST_F(StartupTest, OptionParsing) {
    struct Case { std::vector<std::string> args; bool ok; bool simulate; std::string value; };
    const Case cases[] = {
        {{}, true, false, ""},
        {{"--simulate"}, true, true, ""},
        {{"--simulate=101,0"}, true, true, "101,0"},
        {{"-platform", "offscreen"}, true, false, ""},
        {{"--bogus"}, false, false, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> storage{"keyloom"};
        storage.insert(storage.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (auto& s : storage) argv.push_back(s.data());
        StartupOptions o;
        bool help = false;
        std::string error;
        EXPECT_EQ(ParseStartupOptions(static_cast<int>(argv.size()), argv.data(), o, help, error), c.ok);
        if (c.ok) {
            EXPECT_EQ(o.simulate, c.simulate);
            EXPECT_EQ(o.simulateValue, c.value);
        } else {
            EXPECT_NE(error.find("--bogus"), std::string::npos);
        }
    }
}

TEST_F(StartupTest, NormalRunEndsWithOneAndMakesTheDataFolder) {
    Config("<config><software name=\"Run Board\"/></config>");
    const auto r = testsupport::RunProgram(KEYLOOM_PROGRAM, {"--simulate"},
                                           {{"LANGUAGE", "pt_BR"}, {"KEYLOOM_PROGRAM_DIR", prog}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(platform::IsDirectory(home.data() + "/Run Board Files/db"));
    EXPECT_EQ(testsupport::ReadFile(home.config() + "/Run Board/settings.ini"), "[settings]\nLCID=1046\n");
    // The lock is released at the end: the next run is the first copy again.
    EXPECT_EQ(testsupport::RunProgram(KEYLOOM_PROGRAM, {}, {{"KEYLOOM_PROGRAM_DIR", prog}}).exitCode, 1);
    EXPECT_EQ(testsupport::RunProgram(KEYLOOM_PROGRAM, {"--what"}, {{"KEYLOOM_PROGRAM_DIR", prog}}).exitCode, 2);
}

TEST_F(StartupTest, SecondCopyActivatesTheFirstAndExitsZero) {
    Config("<config><software name=\"Twin Board\"/></config>");
    testsupport::ProcessResult first;
    std::thread t([&] {
        first = testsupport::RunProgram(INSTANCE_HOLDER, {"Twin Board", home.runtime(), "1"});
    });
    for (int i = 0; i < 300 && !testsupport::Exists(home.runtime() + "/Twin Board.sock"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto second = testsupport::RunProgram(KEYLOOM_PROGRAM, {}, {{"KEYLOOM_PROGRAM_DIR", prog}});
    t.join();
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(first.out, "primary\nactivate\n");
    // The second copy did nothing else: no settings of its own were made.
    EXPECT_FALSE(testsupport::Exists(home.config() + "/Twin Board/settings.ini"));
}
