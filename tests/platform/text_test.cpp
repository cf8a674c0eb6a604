#include <gtest/gtest.h>

#include "platform/text.h"

using namespace platform;

TEST(Text, Utf8RoundTripKeepsEveryPlane) {
    const std::wstring w = L"Perfil \u00e7\u00e3o \u914d\u7f6e \U0001F3B9 &\"'<>";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(w)), w);
    EXPECT_EQ(WideToUtf8(L"\U0001F3B9"), "\xF0\x9F\x8E\xB9");
}

TEST(Text, BrokenUtf8BecomesReplacementCharacters) {
    struct Case { std::string in; std::wstring out; };
    const Case cases[] = {
        {"a\xFF" "b", L"a\uFFFDb"},             // impossible byte
        {"\xE4\xB8", L"\uFFFD\uFFFD"},          // truncated sequence
        {"\xC0\xAF", L"\uFFFD\uFFFD"},          // overlong '/'
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.in), c.out) << c.in;
}

TEST(Text, Utf16SurrogatesCombine) {
    EXPECT_EQ(Utf16ToWide(u"x\xD83C\xDFB9y"), L"x\U0001F3B9y");
    EXPECT_EQ(Utf16ToWide(u"\xDC00"), L"\uFFFD");
}

TEST(Text, DecimalFollowsWtoi) {
    struct Case { const wchar_t* in; int out; };
    const Case cases[] = {{L"1046", 1046}, {L"  -12", -12}, {L"12abc", 12}, {L"abc", 0},
                          {L"", 0},        {L"+7", 7},      {L"99999999999", 2147483647}};
    for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.in), c.out) << c.in;
}

TEST(Text, HexAcceptsOptionalPrefix) {
    struct Case { const wchar_t* in; long out; };
    const Case cases[] = {{L"0x1209", 0x1209}, {L"1209", 0x1209}, {L"0XfF", 0xFF}, {L"zz", 0}, {L"", 0}};
    for (const auto& c : cases) EXPECT_EQ(ParseHex(c.in), c.out) << c.in;
}
