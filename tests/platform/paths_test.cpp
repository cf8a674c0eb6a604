#include <gtest/gtest.h>

#include "platform/paths.h"
#include "test_support.h"

TEST(Paths, NativePathConvertsSeparatorsAndCollapsesDoubles) {
    EXPECT_EQ(platform::NativePath(L"/opt/k/\\layouts\\k7.xml"), "/opt/k/layouts/k7.xml");
    EXPECT_EQ(platform::NativePath(L"/d/Keyloom Files/db\\\u914d.db"), "/d/Keyloom Files/db/\xE9\x85\x8D.db");
}

TEST(Paths, SafeFileNameNeverLeavesTheFolder) {
    EXPECT_EQ(platform::SafeFileName("Keyloom"), "Keyloom");
    EXPECT_EQ(platform::SafeFileName("../x/y"), ".._x_y");
    EXPECT_EQ(platform::SafeFileName(""), "_");
    EXPECT_EQ(platform::SafeFileName(".."), "_");
}

TEST(Paths, XdgFoldersFollowTheEnvironment) {
    testsupport::EnvGuard env;
    env.Set("HOME", "/home/u");
    env.Set("XDG_DATA_HOME", std::nullopt);
    env.Set("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(platform::DataHome(), "/home/u/.local/share");
    EXPECT_EQ(platform::ConfigHome(), "/home/u/.config");
    env.Set("XDG_DATA_HOME", "/data");
    EXPECT_EQ(platform::DataHome(), "/data");
}

TEST(Paths, ProgramFolderOverrideAndFallback) {
    testsupport::EnvGuard env;
    env.Set("KEYLOOM_PROGRAM_DIR", "/srv/keyloom");
    EXPECT_EQ(platform::ProgramFolder(), "/srv/keyloom/");
    env.Set("KEYLOOM_PROGRAM_DIR", std::nullopt);
    // The test program's folder has no config.xml beside it.
    EXPECT_EQ(platform::ProgramFolder(), platform::ExecutableFolder() + "../share/keyloom/");
}

TEST(Paths, RuntimeFolderFallsBackToPrivateFolder) {
    testsupport::EnvGuard env;
    env.Set("XDG_RUNTIME_DIR", std::nullopt);
    const std::string dir = platform::RuntimeFolder();
    EXPECT_TRUE(platform::IsDirectory(dir));
    EXPECT_NE(dir, "");
}
