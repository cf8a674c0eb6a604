#include <gtest/gtest.h>

#include "platform/process.h"
#include "test_support.h"

TEST(Process, RunsWithoutAShell) {
    testsupport::TempDir dir;
    // A shell would expand the ';' and '$(...)'; an argument vector keeps them as text.
    const std::string odd = dir / "a;b $(touch pwned)";
    EXPECT_EQ(platform::RunProcess("/usr/bin/touch", {odd}), 0);
    EXPECT_TRUE(testsupport::Exists(odd));
    EXPECT_FALSE(testsupport::Exists("pwned"));
}

TEST(Process, ExitCodesAndFailures) {
    EXPECT_EQ(platform::RunProcess("true", {}), 0);
    EXPECT_EQ(platform::RunProcess("false", {}), 1);
    EXPECT_NE(platform::RunProcess("/nonexistent/program", {}), 0);
    EXPECT_FALSE(platform::ShellOpen(""));
}

TEST(Process, ExecutablePathIsThisTest) {
    EXPECT_NE(platform::ExecutablePath().find("platform_test"), std::string::npos);
}
