// The real keyloomctl program, run in a home of its own against the simulated
// keyboard: exit statuses, listings, the trace of every transfer, and bad
// input that leaves the files as they were.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::ProcessResult;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// "07 FD" -> "07 FD 00 00 00 00 00 00": a trace line's bytes padded to the
// length on the wire.
std::string Pad(const std::string& hex, size_t bytes) {
    std::string s = hex;
    for (size_t n = (hex.size() + 1) / 3; n < bytes; ++n) s += " 00";
    return s;
}
std::string Feature(const std::string& hex) { return "W feature " + Pad(hex, 8); }
std::string Read(const std::string& hex) { return "R feature " + Pad(hex, 8); }
std::string Packet(const std::string& hex) { return "W packet " + Pad("00 " + hex, 65); }

// Every file below `dir` with its bytes.
void Snapshot(const std::string& dir, std::map<std::string, std::string>& files) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            Snapshot(path, files);
        else
            files[path] = testsupport::ReadFile(path);
    }
    closedir(d);
}

class Keyloomctl : public ::testing::Test {
protected:
    // English texts whatever the machine's locale.
    ProcessResult Run(const std::vector<std::string>& args) {
        return testsupport::RunProgram(testsupport::RuntimeDir() + "/keyloomctl", args,
                                       {{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "C"}}, 30000);
    }
    // Runs a command that must succeed and gives its output lines.
    std::vector<std::string> Ok(const std::vector<std::string>& args) {
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << " ... : " << r.err;
        EXPECT_EQ(r.err, "");
        return Lines(r.out);
    }
    std::map<std::string, std::string> Files() {
        std::map<std::string, std::string> files;
        Snapshot(home.dir().path(), files);
        return files;
    }

    testsupport::IsolatedHome home;
};

}  // namespace

TEST_F(Keyloomctl, BadInputGetsItsStatusAndOneLineAndTouchesNothing) {
    // A failed first command leaves no database behind.
    const ProcessResult first = Run({"--simulate", "profile-switch", "99"});
    EXPECT_EQ(first.exitCode, 1);
    for (const auto& [path, bytes] : Files()) EXPECT_EQ(path.find(".db"), std::string::npos) << path;

    Ok({"--simulate", "profiles"});
    Ok({"--simulate", "macro-add", "M"});
    Ok({"--simulate", "key-set", "4", "2", "5"});
    const std::string file = home.dir() / "p.xml";
    const auto before = Files();

    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"bogus"}, 2},
        {{"--simulate", "--frobnicate", "profiles"}, 2},
        {{"--simulate", "key-set", "4", "2"}, 2},
        {{"--simulate", "key-set", "x", "2", "5"}, 2},
        {{"--simulate", "key-set", "256", "2", "5"}, 2},
        {{"--simulate", "key-set", "0", "2", "5"}, 2},
        {{"--simulate", "key-set", "4", "13", "5"}, 2},
        {{"--simulate", "key-set", "4", "7", "16"}, 2},
        {{"--simulate", "key-set", "4", "2", "0x"}, 2},
        {{"--simulate", "keys", "--layer=a"}, 2},
        {{"--simulate", "keys", "--times=3"}, 2},
        {{"--simulate", "light-set", "4", "glow=3"}, 2},
        {{"--simulate", "light-set", "4", "brightness=256"}, 2},
        {{"--simulate", "custom-colors", "4=red"}, 2},
        {{"--simulate", "custom-colors", "300=0xFF"}, 2},
        {{"--simulate", "upload", "everything"}, 2},
        {{"--simulate", "upload", "keys", "--key=0"}, 2},
        {{"--simulate", "macro-add-step", "1", "2", "65"}, 2},
        {{"--simulate=201,7", "firmware"}, 2},
        {{"--trace", "firmware"}, 2},
        {{"--simulate", "profile-switch", "99"}, 1},
        {{"--simulate", "profile-rename", "99", "X"}, 1},
        {{"--simulate", "profile-delete", "99"}, 1},
        {{"--simulate", "macro-steps", "7"}, 1},
        {{"--simulate", "macro-add-step", "7", "2", "65", "10"}, 1},
        {{"--simulate", "key-set", "4", "3", "42"}, 1},
        {{"--simulate", "keys", "--profile=99"}, 1},
        {{"--simulate", "light-set", "99", "brightness=1"}, 1},
        {{"--simulate", "export-profile", "99", file}, 1},
        {{"--simulate", "import-profile", home.dir() / "missing.xml"}, 1},
        {{"--simulate=999", "firmware"}, 1},
        {{"firmware"}, 1},  // no keyboard on the machine's bus
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.status);
        EXPECT_EQ(r.out, "");
        const auto err = Lines(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_EQ(err[0].rfind("keyloomctl: ", 0), 0u);
        EXPECT_TRUE(Files() == before);
    }
}

TEST_F(Keyloomctl, ListsRecordsAsTabSeparatedFieldsInTheirOrder) {
    EXPECT_EQ(Ok({"--simulate", "profiles"}),
              (std::vector<std::string>{"1\tProfile 1\t\t0\t1", "2\tProfile 2\t\t0\t0", "3\tProfile 3\t\t0\t0"}));
    EXPECT_EQ(Ok({"--simulate", "profile-add", "Work"}), std::vector<std::string>{"4"});
    EXPECT_EQ(Ok({"--simulate", "profile-add"}), std::vector<std::string>{"5"});
    Ok({"--simulate", "profile-rename", "4", "Play\ttime"});
    Ok({"--simulate", "profile-switch", "4"});
    EXPECT_EQ(Ok({"--simulate", "profiles"}),
              (std::vector<std::string>{"1\tProfile 1\t\t0\t0", "2\tProfile 2\t\t0\t0", "3\tProfile 3\t\t0\t0",
                                        "4\tPlay time\t\t0\t1", "5\tProfile 4\t\t0\t0"}));
    // Deleting the active profile makes the one before it active.
    Ok({"--simulate", "profile-delete", "4"});
    EXPECT_EQ(Ok({"--simulate", "profiles"})[2], "3\tProfile 3\t\t0\t1");

    EXPECT_EQ(Ok({"--simulate", "macro-add", "Burst", "--times=3", "--delay-type=3", "--delay-time=50"}),
              std::vector<std::string>{"1"});
    Ok({"--simulate", "macro-add-step", "1", "2", "65", "20", "A down"});
    Ok({"--simulate", "macro-add-step", "1", "3", "0x41", "30"});
    EXPECT_EQ(Ok({"--simulate", "macros"}), std::vector<std::string>{"1\tBurst\t0\t3\t3\t50"});
    EXPECT_EQ(Ok({"--simulate", "macro-steps", "1"}),
              (std::vector<std::string>{"1\t1\t2\t0\t65\t20\tA down", "2\t1\t3\t1\t65\t30\t"}));

    // Keys of the active profile (3) unless --profile is given.
    Ok({"--simulate", "key-set", "4", "2", "5", "to B"});
    Ok({"--simulate", "key-set", "6", "3", "1"});
    Ok({"--simulate", "key-set", "7", "2", "9", "--profile=2", "--layer=1"});
    EXPECT_EQ(Ok({"--simulate", "keys"}),
              (std::vector<std::string>{"1\t3\t0\t4\t0\t\t2\t5\t0\t0\tto B", "2\t3\t0\t6\t0\t\t3\t1\t0\t0\tBurst"}));
    EXPECT_EQ(Ok({"--simulate", "keys", "--profile=2", "--layer=1"}),
              std::vector<std::string>{"3\t2\t1\t7\t0\t\t2\t9\t0\t0\t"});
    Ok({"--simulate", "key-reset", "4"});
    EXPECT_EQ(Ok({"--simulate", "keys"}).size(), 1u);
}

TEST_F(Keyloomctl, TracePrintsTheBytesOfEveryTransfer) {
    EXPECT_EQ(Ok({"--simulate", "--trace", "firmware"}),
              (std::vector<std::string>{Feature("07 FD"), Read("07 01 05"), "0x0105"}));

    Ok({"--simulate", "key-set", "4", "2", "5"});
    Ok({"--simulate", "key-set", "5", "7", "2"});  // Ctrl + C
    std::vector<std::string> expected = {Feature("07 FB 01"), Read("07"), Read("07"), Read("07"), Read("07"),
                                         Feature("07 FA 01 01 04 01 05 01"), Feature("07 F1 01 01 05 01 E0 01"),
                                         Feature("07 00 06 01 06 81 E0 81")};
    while (expected.size() < 8 + 26) expected.push_back(Feature("07 00"));
    EXPECT_EQ(Ok({"--simulate", "--trace", "upload", "keys"}), expected);

    // The keyboard keeps its memory between runs: the slot table now names
    // both keys, and key 4 keeps its remap slot.
    const auto state = Ok({"--simulate", "sim-state"});
    EXPECT_NE(std::find(state.begin(), state.end(), "remap_slot 1 key=4 target=5"), state.end());
    Ok({"--simulate", "key-set", "4", "2", "6"});
    EXPECT_EQ(Ok({"--simulate", "--trace", "upload", "keys", "--key=4"}),
              (std::vector<std::string>{Feature("07 FB 01"), Read("07 00 05"), Read("07"), Read("07 04"), Read("07"),
                                        Feature("07 FA 01 01 04 01 06 01")}));
}

TEST_F(Keyloomctl, TraceTimeGivesTheMillisecondsSinceThePreviousTransfer) {
    const auto lines = Ok({"--simulate=201,1", "--trace-time", "factory-reset"});
    ASSERT_EQ(lines.size(), 2u);
    const std::regex stamped(R"(\+(\d+\.\d) (W .*))");
    std::smatch m0, m1;
    ASSERT_TRUE(std::regex_match(lines[0], m0, stamped)) << lines[0];
    ASSERT_TRUE(std::regex_match(lines[1], m1, stamped)) << lines[1];
    EXPECT_EQ(m0[2].str(), Packet("BB AA 99 88 AA AA AA AA AA AA"));
    EXPECT_EQ(m1[2].str(), Packet("BB AA 99 88"));
    // The receiver is given its 1.6 s between the two packets.
    EXPECT_GE(std::stod(m1[1].str()), 1600.0);
    const auto state = Ok({"--simulate=201,1", "sim-state"});
    EXPECT_NE(std::find(state.begin(), state.end(), "resets 1"), state.end());
}

TEST_F(Keyloomctl, LightingCommandsMakeTheDefaultsAndUploadTheActiveMode) {
    // A fresh database gets its lighting rows first, one of them active.
    const auto first = Ok({"--simulate", "--trace", "upload", "light"});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].rfind("W feature 07 F7 ", 0), 0u) << first[0];
    const auto rows = Ok({"--simulate", "light"});
    ASSERT_FALSE(rows.empty());
    int active = 0;
    for (const std::string& r : rows) {
        const auto fields = Lines(std::regex_replace(r, std::regex("\t"), "\n"));
        ASSERT_EQ(fields.size(), 13u) << r;
        active += fields[12] == "1";
    }
    EXPECT_EQ(active, 1);

    Ok({"--simulate", "light-set", "4", "brightness=5", "speed=3", "color=0x123456"});
    Ok({"--simulate", "light-mode", "4"});
    EXPECT_EQ(Ok({"--simulate", "--trace", "upload", "light"}),
              std::vector<std::string>{Feature("07 F7 03 00 56 34 04 12")});
    const auto state = Ok({"--simulate", "sim-state"});
    // Mode 4 carries the colour in place of the speed, which stays as the
    // first upload left it.
    const auto light = std::find_if(state.begin(), state.end(),
                                    [](const std::string& l) { return l.rfind("light ", 0) == 0; });
    ASSERT_NE(light, state.end());
    EXPECT_EQ(light->rfind("light mode=4 brightness=4 ", 0), 0u) << *light;
    EXPECT_NE(light->find(" colorindex=0 color=0x123456 "), std::string::npos) << *light;

    // The output-report keyboard: the mode after a mode change, else the
    // parameters.
    const auto mode = Ok({"--simulate=101", "--trace", "upload", "light", "--mode-changed"});
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].rfind("W out 00 88 00 ", 0), 0u) << mode[0];
    const auto params = Ok({"--simulate=101", "--trace", "upload", "light"});
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0].rfind("W out 00 89 00 ", 0), 0u) << params[0];

    Ok({"--simulate=101", "custom-colors", "4=0x0000FF", "5=0x00FF00"});
    const auto custom = Ok({"--simulate=101", "--trace", "upload", "custom"});
    ASSERT_EQ(custom.size(), 8u);
    for (const std::string& line : custom) EXPECT_EQ(line.rfind("W out 00 8B ", 0), 0u) << line;
}

TEST_F(Keyloomctl, CheckFirmwareComparesTheVersionDigits) {
    const struct {
        const char* server;
        const char* answer;
    } cases[] = {{"106", "update-available"}, {"105", "up-to-date"}, {"00000000106", "up-to-date"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        EXPECT_EQ(Ok({"--simulate", "--sim-firmware=0105", "check-firmware", c.server}),
                  std::vector<std::string>{c.answer});
    }
    EXPECT_EQ(Ok({"--simulate", "--sim-firmware=0x0109", "firmware"}), std::vector<std::string>{"0x0109"});
}

TEST_F(Keyloomctl, ProfilesAndMacrosGoThroughExchangeFiles) {
    Ok({"--simulate", "key-set", "4", "2", "5", "to B"});
    Ok({"--simulate", "macro-add", "Burst"});
    Ok({"--simulate", "macro-add-step", "1", "2", "65", "20"});
    const std::string profile = home.dir() / "profile.xml";
    const std::string macro = home.dir() / "macro.xml";
    Ok({"--simulate", "export-profile", "1", profile});
    Ok({"--simulate", "export-macro", "1", macro});
    ASSERT_TRUE(testsupport::Exists(profile));

    EXPECT_EQ(Ok({"--simulate", "import-profile", profile}), std::vector<std::string>{"4"});
    EXPECT_EQ(Ok({"--simulate", "profiles"}).back().substr(0, 2), "4\t");
    const auto keys = Ok({"--simulate", "keys"});  // the imported profile is the active one
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_NE(keys[0].find("\t4\t0\t\t2\t5\t"), std::string::npos) << keys[0];

    EXPECT_EQ(Ok({"--simulate", "import-macro", macro}), std::vector<std::string>{"2"});
    EXPECT_EQ(Ok({"--simulate", "macro-steps", "2"}).size(), 1u);

    testsupport::WriteFile(home.dir() / "junk.xml", "not xml");
    const ProcessResult r = Run({"--simulate", "import-profile", home.dir() / "junk.xml"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Ok({"--simulate", "profiles"}).size(), 4u);
}
