#include <gtest/gtest.h>

#include "platform/locale.h"
#include "test_support.h"

TEST(Locale, LocaleNamesMapToLanguageIds) {
    struct Case { const char* locale; int lcid; };
    const Case cases[] = {{"pt_BR.UTF-8", 1046}, {"zh_CN.UTF-8", 2052}, {"en_US.UTF-8", 1033},
                          {"en_GB", 2057},       {"C", 1033},           {"POSIX", 1033},
                          {"de_DE@euro", 1031},  {"pt", 1046},          {"xx_YY", 1033},
                          {"zh-tw", 1028},       {"", 1033}};
    for (const auto& c : cases) EXPECT_EQ(platform::LanguageIdFromLocale(c.locale), c.lcid) << c.locale;
}

TEST(Locale, EnvironmentPrecedence) {
    testsupport::EnvGuard env;
    env.Set("LANGUAGE", "pt_BR:en");
    env.Set("LC_ALL", "zh_CN.UTF-8");
    env.Set("LANG", "en_US.UTF-8");
    EXPECT_EQ(platform::UserUiLanguageId(), 1046);
    env.Set("LANGUAGE", std::nullopt);
    EXPECT_EQ(platform::UserUiLanguageId(), 2052);
    env.Set("LC_ALL", "");
    env.Set("LC_MESSAGES", std::nullopt);
    EXPECT_EQ(platform::UserUiLanguageId(), 1033);
}
