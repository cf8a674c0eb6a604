// The driver helper: where it is, how it is run, and the shipped script and
// rules themselves, run into a scratch root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <set>

#include "link/softkeys/driver_helper.h"
#include "link/softkeys/software_keys.h"
#include "link/softkeys/vhidev.h"
#include "sim/softkeys/sim_filter.h"
#include "sim/softkeys/sim_virtual_keyboard.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace softkeys;

namespace {

bool Executable(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) && (st.st_mode & S_IXOTH);
}

std::string ShippedFolder(const std::string& arch) { return testsupport::SourceDir() + "/data/driver/" + arch; }

std::vector<std::string> ShippedArchitectures() {
    std::vector<std::string> archs;
    for (const auto& e : fs::directory_iterator(testsupport::SourceDir() + "/data/driver")) {
        if (e.is_directory()) archs.push_back(e.path().filename().string());
    }
    std::sort(archs.begin(), archs.end());
    return archs;
}

}  // namespace

TEST(DriverHelper, FolderRulesAndCommand) {
    EXPECT_EQ(DriverFolder("/opt/keyloom/"), "/opt/keyloom/driver/" + MachineArchitecture());

    testsupport::TempDir dir;
    EXPECT_EQ(RulesPath(dir.path()), dir / "vhidev.rules");  // neither exists: the second name
    testsupport::MakeDirs(dir / "vhidflt.rules");
    EXPECT_EQ(RulesPath(dir.path()), dir / "vhidev.rules");  // a folder does not count
    fs::remove(dir / "vhidflt.rules");
    testsupport::WriteFile(dir / "vhidflt.rules", "");
    EXPECT_EQ(RulesPath(dir.path()), dir / "vhidflt.rules");

    const auto asRoot = HelperCommand("/d/keyloom-driver", {"install", "/d/vhidflt.rules"}, true);
    EXPECT_EQ(asRoot.program, "/d/keyloom-driver");
    EXPECT_EQ(asRoot.args, (std::vector<std::string>{"install", "/d/vhidflt.rules"}));
    const auto asUser = HelperCommand("/d/keyloom-driver", {"remove"}, false);
    EXPECT_EQ(asUser.program, "pkexec");
    EXPECT_EQ(asUser.args, (std::vector<std::string>{"/d/keyloom-driver", "remove"}));
}

TEST(DriverHelper, InstallRunsTheHelperForReal) {
    // A stand-in helper that notes how it was called; the real runner starts it.
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "vhidflt.rules", "");
    testsupport::WriteFile(dir / "keyloom-driver", "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/calls\"\n");
    fs::permissions(dir / "keyloom-driver", fs::perms::owner_all);

    auto keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    keyboard->SetOpenable(false);
    VHidev::Instance().SetBackend(keyboard->MakeBackend());
    struct Host : SoftKeyHost {
        std::vector<KeyAssignment> CurrentKeyAssignments() override { return {}; }
        void QueueMacro(int) override {}
        void ShowMessageBox(const std::wstring&, const std::wstring&) override {}
        void ExitProcess(int) override {}
    } host;
    struct Macros : MacroSource {
        bool GetMacro(int, MacroInfo&) override { return false; }
        std::vector<MacroStep> ListMacroRecords(int) override { return {}; }
    } macros;
    SoftwareKeysSetup setup;
    setup.driverFolder = dir.path();
    setup.isRoot = [] { return true; };
    SoftwareKeys keys(host, macros, std::make_shared<sim::SimFilter>(), setup);
    EXPECT_FALSE(keys.InstallDrivers());  // ran, but the device still cannot be opened
    EXPECT_EQ(testsupport::ReadFile(dir / "calls"), "remove\ninstall " + (dir / "vhidflt.rules") + "\n");
    VHidev::Instance().SetBackend(nullptr);
}

TEST(DriverHelper, EveryArchitectureShipsTheSameHelperAndRules) {
    const auto archs = ShippedArchitectures();
    ASSERT_FALSE(archs.empty());
    EXPECT_NE(std::find(archs.begin(), archs.end(), "x86_64"), archs.end());
    const std::string helper = testsupport::ReadFile(ShippedFolder("x86_64") + "/keyloom-driver");
    const std::string rules = testsupport::ReadFile(ShippedFolder("x86_64") + "/vhidflt.rules");
    for (const auto& arch : archs) {
        EXPECT_TRUE(Executable(ShippedFolder(arch) + "/keyloom-driver")) << arch;
        EXPECT_EQ(testsupport::ReadFile(ShippedFolder(arch) + "/keyloom-driver"), helper) << arch;
        EXPECT_EQ(testsupport::ReadFile(ShippedFolder(arch) + "/vhidflt.rules"), rules) << arch;
        // The build copies it beside the program, still executable.
        EXPECT_TRUE(Executable(testsupport::RuntimeDir() + "/driver/" + arch + "/keyloom-driver")) << arch;
    }
}

TEST(DriverHelper, RulesCoverEveryModeOfTheConfiguration) {
    const std::string rules = testsupport::ReadFile(ShippedFolder("x86_64") + "/vhidflt.rules");
    const std::string config = testsupport::ReadFile(testsupport::SourceDir() + "/data/config.xml");
    const std::regex mode(R"re(vid="0x([0-9A-Fa-f]{4})" pid="0x([0-9A-Fa-f]{4})")re");
    int modes = 0;
    for (auto it = std::sregex_iterator(config.begin(), config.end(), mode); it != std::sregex_iterator(); ++it) {
        std::string ids = (*it)[1].str() + ":" + (*it)[2].str();
        std::transform(ids.begin(), ids.end(), ids.begin(), ::toupper);
        const std::string match = "KERNELS==\"*:" + ids + ".*\", TAG+=\"uaccess\"";
        EXPECT_NE(rules.find("SUBSYSTEM==\"input\", KERNEL==\"event*\", " + match), std::string::npos) << ids;
        EXPECT_NE(rules.find("SUBSYSTEM==\"hidraw\", " + match), std::string::npos) << ids;
        ++modes;
    }
    EXPECT_GE(modes, 4);
    EXPECT_NE(rules.find("KERNEL==\"uinput\", SUBSYSTEM==\"misc\""), std::string::npos);
    EXPECT_EQ(rules.find("RUN"), std::string::npos);
}

namespace {

struct ScriptTest : ::testing::Test {
    testsupport::TempDir root;
    std::string helper = ShippedFolder("x86_64") + "/keyloom-driver";
    std::string rulesFile = root / "etc/udev/rules.d/70-keyloom.rules";
    std::string modulesFile = root / "etc/modules-load.d/keyloom.conf";
    int Run(const std::vector<std::string>& args, const std::string& program = "") {
        return testsupport::RunProgram(program.empty() ? helper : program, args,
                                       {{"KEYLOOM_DRIVER_DESTDIR", root.path()}})
            .exitCode;
    }
};

}  // namespace

TEST_F(ScriptTest, InstallsAndRemovesTheRules) {
    const std::string rules = ShippedFolder("x86_64") + "/vhidflt.rules";
    ASSERT_EQ(Run({"install", rules}), 0);
    EXPECT_EQ(testsupport::ReadFile(rulesFile), testsupport::ReadFile(rules));
    EXPECT_EQ(testsupport::ReadFile(modulesFile), "uinput\n");
    EXPECT_EQ(fs::status(rulesFile).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(Run({"install", rules}), 0);  // again: replaces
    ASSERT_EQ(Run({"remove"}), 0);
    EXPECT_FALSE(testsupport::Exists(rulesFile));
    EXPECT_FALSE(testsupport::Exists(modulesFile));
    EXPECT_EQ(Run({"remove"}), 0);  // nothing to remove is fine
}

TEST_F(ScriptTest, RefusesWhatItShouldNotInstall) {
    // Rules from anywhere but the helper's own folder, and rules that run
    // programs (it runs as root), are refused; so are wrong command lines.
    testsupport::TempDir elsewhere;
    testsupport::WriteFile(elsewhere / "vhidflt.rules", testsupport::ReadFile(ShippedFolder("x86_64") + "/vhidflt.rules"));
    EXPECT_NE(Run({"install", elsewhere / "vhidflt.rules"}), 0);

    testsupport::TempDir copy;
    fs::copy_file(helper, copy / "keyloom-driver");
    testsupport::WriteFile(copy / "vhidflt.rules", "SUBSYSTEM==\"input\", RUN+=\"/bin/sh -c id\"\n");
    EXPECT_NE(Run({"install", copy / "vhidflt.rules"}, copy / "keyloom-driver"), 0);
    testsupport::WriteFile(copy / "vhidflt.rules", "ACTION==\"add\", IMPORT{program}=\"/bin/true\"\n");
    EXPECT_NE(Run({"install", copy / "vhidflt.rules"}, copy / "keyloom-driver"), 0);

    EXPECT_NE(Run({}), 0);
    EXPECT_NE(Run({"install"}), 0);
    EXPECT_NE(Run({"install", ShippedFolder("x86_64") + "/missing.rules"}), 0);
    EXPECT_NE(Run({"remove", "extra"}), 0);
    EXPECT_NE(Run({"frobnicate"}), 0);
    EXPECT_FALSE(testsupport::Exists(rulesFile));
}
