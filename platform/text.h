// UTF-8 <-> wide text at the file, database and socket edges.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Invalid sequences become U+FFFD; nothing is dropped silently.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
// UTF-16 code units (little-endian bytes already combined) to wide text.
std::wstring Utf16ToWide(std::u16string_view utf16);

// Decimal conversion with the C runtime's _wtoi rules: optional blanks and
// sign, then digits; anything else ends the number, no digits give 0.
int ParseDecimal(std::wstring_view text);
// Hexadecimal with an optional "0x", as wcstol base 16.
long ParseHex(std::wstring_view text);

}  // namespace platform
