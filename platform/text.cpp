#include "platform/text.h"

#include <climits>
#include <cwctype>

namespace platform {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
}  // namespace

std::wstring Utf8ToWide(std::string_view s) {
    std::wstring out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) { out += static_cast<wchar_t>(b0); ++i; continue; }
        int len = 0;
        char32_t c = 0;
        if ((b0 & 0xE0) == 0xC0) { len = 2; c = b0 & 0x1F; }
        else if ((b0 & 0xF0) == 0xE0) { len = 3; c = b0 & 0x0F; }
        else if ((b0 & 0xF8) == 0xF0) { len = 4; c = b0 & 0x07; }
        else { out += static_cast<wchar_t>(kReplacement); ++i; continue; }
        if (i + static_cast<size_t>(len) > s.size()) { out += static_cast<wchar_t>(kReplacement); ++i; continue; }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((b & 0xC0) != 0x80) { ok = false; break; }
            c = (c << 6) | (b & 0x3F);
        }
        // Overlong forms and surrogates are as invalid as broken bytes.
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += static_cast<wchar_t>(kReplacement);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string WideToUtf8(std::wstring_view w) {
    std::string out;
    out.reserve(w.size());
    for (wchar_t wc : w) AppendUtf8(out, static_cast<char32_t>(wc));
    return out;
}

std::wstring Utf16ToWide(std::u16string_view s) {
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

int ParseDecimal(std::wstring_view t) {
    size_t i = 0;
    while (i < t.size() && std::iswspace(static_cast<wint_t>(t[i]))) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) neg = t[i++] == L'-';
    long long v = 0;
    for (; i < t.size() && t[i] >= L'0' && t[i] <= L'9'; ++i) {
        v = v * 10 + (t[i] - L'0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (neg) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int>(v);
}

long ParseHex(std::wstring_view t) {
    size_t i = 0;
    while (i < t.size() && std::iswspace(static_cast<wint_t>(t[i]))) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) neg = t[i++] == L'-';
    if (i + 1 < t.size() && t[i] == L'0' && (t[i + 1] == L'x' || t[i + 1] == L'X')) i += 2;
    long long v = 0;
    for (; i < t.size(); ++i) {
        const wchar_t c = t[i];
        int d;
        if (c >= L'0' && c <= L'9') d = c - L'0';
        else if (c >= L'a' && c <= L'f') d = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') d = c - L'A' + 10;
        else break;
        // Saturate before the multiplication can overflow.
        if (v > (LONG_MAX - d) / 16) {
            v = LONG_MAX;
            continue;
        }
        v = v * 16 + d;
    }
    return static_cast<long>(neg ? -v : v);
}

}  // namespace platform
