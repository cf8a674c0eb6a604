// The version arithmetic of the firmware and software update checks.
#include <gtest/gtest.h>

#include "link/commands/encoders.h"

TEST(FirmwareVersionNumber, ReadsTheHexadecimalDigitsAsADecimalNumber) {
    const struct {
        int version;
        int number;
    } cases[] = {{0x0105, 105}, {0x0109, 109}, {0x1234, 1234}, {0, 0}, {0xFD00, 0}, {0x010A, 10}, {-1, -1}};
    for (const auto& c : cases) EXPECT_EQ(commands::FirmwareVersionNumber(c.version), c.number) << c.version;
}

TEST(CompareVersions, ComparesDottedPartsAsNumbers) {
    const struct {
        const wchar_t* local;
        const wchar_t* remote;
        int result;
    } cases[] = {
        {L"1.0.2", L"1.0.10", 1},  // numbers, not texts
        {L"1.0.10", L"1.0.2", -1},
        {L"1.0", L"1.0.0", 1},  // a different number of parts counts as newer
        {L"1.0.0", L"1.0", 1},
        {L"2.3.4", L"2.3.4", 0},
        {L"1.9", L"2.0", 1},
        {L"", L"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.local).ToUtf8() + " / " + CString(c.remote).ToUtf8());
        EXPECT_EQ(commands::CompareVersions(c.local, c.remote), c.result);
    }
}
