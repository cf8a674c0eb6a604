#include "tavri/types.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "platform/text.h"

CString CString::FromUtf8(std::string_view utf8) { return CString(platform::Utf8ToWide(utf8)); }

std::string CString::ToUtf8() const { return platform::WideToUtf8(*this); }

namespace {

// glibc's wide printf reads %s as a narrow string; the toolkit's callers mean a
// wide one, so the conversions are rewritten before formatting.
std::wstring WidenConversions(const wchar_t* fmt) {
    std::wstring out;
    for (const wchar_t* p = fmt; *p; ++p) {
        out += *p;
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') { out += *p; continue; }
        // flags, width, precision
        while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out += *p++;
        bool hasLength = false;
        while (*p && std::wcschr(L"hlLqjzt", *p)) { out += *p++; hasLength = true; }
        if (!*p) break;
        if ((*p == L's' || *p == L'c') && !hasLength) out += L'l';
        if (*p == L'S') { out += L's'; continue; }  // %S: narrow string
        out += *p;
    }
    return out;
}

}  // namespace

void CString::FormatV(const wchar_t* fmt, va_list args) {
    if (!fmt) { clear(); return; }
    const std::wstring f = WidenConversions(fmt);
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int n = std::vswprintf(buf.data(), buf.size(), f.c_str(), copy);
        va_end(copy);
        if (n >= 0) { assign(buf.data(), static_cast<size_type>(n)); return; }
        // vswprintf gives no size hint: grow until it fits, up to a sane bound.
        if (buf.size() >= (1u << 22)) { clear(); return; }
        buf.resize(buf.size() * 4);
    }
}

void CString::Format(const wchar_t* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::AppendFormat(const wchar_t* fmt, ...) {
    CString tail;
    va_list args;
    va_start(args, fmt);
    tail.FormatV(fmt, args);
    va_end(args);
    append(tail);
}

CString CString::Formatted(const wchar_t* fmt, ...) {
    CString s;
    va_list args;
    va_start(args, fmt);
    s.FormatV(fmt, args);
    va_end(args);
    return s;
}

int CString::Find(const wchar_t* sub, int start) const {
    if (!sub || start < 0 || static_cast<size_type>(start) > size()) return -1;
    const size_type pos = find(sub, static_cast<size_type>(start));
    return pos == npos ? -1 : static_cast<int>(pos);
}

int CString::Find(wchar_t c, int start) const {
    if (start < 0 || static_cast<size_type>(start) > size()) return -1;
    const size_type pos = find(c, static_cast<size_type>(start));
    return pos == npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t c) const {
    const size_type pos = rfind(c);
    return pos == npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int n) const {
    n = std::clamp(n, 0, GetLength());
    return CString(substr(0, static_cast<size_type>(n)));
}

CString CString::Right(int n) const {
    n = std::clamp(n, 0, GetLength());
    return CString(substr(size() - static_cast<size_type>(n)));
}

CString CString::Mid(int first) const {
    first = std::clamp(first, 0, GetLength());
    return CString(substr(static_cast<size_type>(first)));
}

CString CString::Mid(int first, int n) const {
    first = std::clamp(first, 0, GetLength());
    n = std::clamp(n, 0, GetLength() - first);
    return CString(substr(static_cast<size_type>(first), static_cast<size_type>(n)));
}

CString& CString::MakeLower() {
    for (auto& c : *this) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return *this;
}

CString& CString::MakeUpper() {
    for (auto& c : *this) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return *this;
}

CString& CString::Trim() {
    const auto isSpace = [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; };
    while (!empty() && isSpace(back())) pop_back();
    size_type i = 0;
    while (i < size() && isSpace((*this)[i])) ++i;
    erase(0, i);
    return *this;
}

int CString::Replace(const wchar_t* from, const wchar_t* to) {
    if (!from || !*from) return 0;
    const std::wstring f(from), t(to ? to : L"");
    int count = 0;
    for (size_type pos = find(f); pos != npos; pos = find(f, pos + t.size())) {
        replace(pos, f.size(), t);
        ++count;
    }
    return count;
}

int CString::CompareNoCase(const wchar_t* other) const {
    CString a(*this), b(other);
    a.MakeLower();
    b.MakeLower();
    return a.compare(b);
}

bool CRect::IntersectRect(const CRect& a, const CRect& b) {
    CRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom));
    if (r.IsRectEmpty()) { SetRectEmpty(); return false; }
    *this = r;
    return true;
}

bool CRect::UnionRect(const CRect& a, const CRect& b) {
    if (a.IsRectEmpty()) { *this = b.IsRectEmpty() ? CRect() : b; return !IsRectEmpty(); }
    if (b.IsRectEmpty()) { *this = a; return true; }
    *this = CRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                  std::max(a.bottom, b.bottom));
    return true;
}
