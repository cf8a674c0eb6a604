#include <gtest/gtest.h>

#include "platform/autostart.h"
#include "test_support.h"

TEST(Autostart, OnOffAndOffAgain) {
    testsupport::IsolatedHome home;
    const std::string name = "Keyloom";
    EXPECT_FALSE(platform::IsAutostartEntryPresent(name));
    ASSERT_TRUE(platform::WriteAutostartEntry(name, "/opt/my keyloom/keyloom"));
    EXPECT_TRUE(platform::IsAutostartEntryPresent(name));
    const std::string entry = testsupport::ReadFile(platform::AutostartEntryPath(name));
    EXPECT_NE(entry.find("Exec=\"/opt/my keyloom/keyloom\"\n"), std::string::npos);
    EXPECT_NE(entry.find("[Desktop Entry]"), std::string::npos);
    platform::RemoveAutostartEntry(name);
    EXPECT_FALSE(platform::IsAutostartEntryPresent(name));
    platform::RemoveAutostartEntry(name);  // already off: nothing happens
    EXPECT_FALSE(platform::IsAutostartEntryPresent(name));
}
