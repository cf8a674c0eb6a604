// Value types shared by the toolkit and the program: wide text, geometry,
// colours and the message-parameter integers. No Qt type appears here.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__GNUC__)
#define TAVRI_EXPORT __attribute__((visibility("default")))
#else
#define TAVRI_EXPORT
#endif

using UINT = unsigned int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = std::uint32_t;  // 0x00BBGGRR, red in the lowest byte
using ARGB = std::uint32_t;      // 0xAARRGGBB, as the painter draws

using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using SHORT = std::int16_t;

struct HWND__;
using HWND = HWND__*;  // opaque handle of a toolkit window
using HINSTANCE = void*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;  // a system cursor id (IDC_...) in handle form

// Drawing objects are the toolkit's own (tavri/render.h); the handle names of
// the Windows model stand for pointers to them.
class Graphics;
class Image;
struct Font;
using HDC = Graphics*;
using HBITMAP = Image*;
using HICON = Image*;
using HFONT = const Font*;

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(COLORREF c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(COLORREF c) { return static_cast<int>((c >> 16) & 0xFF); }

// Wide text. On Linux wchar_t holds a whole code point, so a character outside
// the BMP is one element; text becomes UTF-8 only at file and database edges.
class TAVRI_EXPORT CString : public std::wstring {
public:
    CString() = default;
    CString(const wchar_t* s) : std::wstring(s ? s : L"") {}
    CString(const wchar_t* s, size_type n) : std::wstring(s, n) {}
    CString(std::wstring s) : std::wstring(std::move(s)) {}
    CString(std::wstring_view s) : std::wstring(s) {}
    CString(size_type n, wchar_t c) : std::wstring(n, c) {}

    static CString FromUtf8(std::string_view utf8);
    std::string ToUtf8() const;

    int GetLength() const { return static_cast<int>(size()); }
    bool IsEmpty() const { return empty(); }
    void Empty() { clear(); }
    wchar_t GetAt(int i) const { return (*this)[static_cast<size_type>(i)]; }
    operator const wchar_t*() const { return c_str(); }

    // printf-style formatting where %s takes a wide string (as the Windows
    // wide functions do) and %c a wide character.
    void Format(const wchar_t* fmt, ...);
    void FormatV(const wchar_t* fmt, va_list args);
    void AppendFormat(const wchar_t* fmt, ...);
    static CString Formatted(const wchar_t* fmt, ...);

    int Find(const wchar_t* sub, int start = 0) const;
    int Find(wchar_t c, int start = 0) const;
    int ReverseFind(wchar_t c) const;
    CString Left(int n) const;
    CString Right(int n) const;
    CString Mid(int first) const;
    CString Mid(int first, int n) const;
    CString& MakeLower();
    CString& MakeUpper();
    CString& Trim();
    int Replace(const wchar_t* from, const wchar_t* to);
    int CompareNoCase(const wchar_t* other) const;
};

struct TAVRI_EXPORT CPoint {
    int x = 0;
    int y = 0;
    constexpr CPoint() = default;
    constexpr CPoint(int x_, int y_) : x(x_), y(y_) {}
    constexpr bool operator==(const CPoint&) const = default;
};

struct TAVRI_EXPORT CSize {
    int cx = 0;
    int cy = 0;
    constexpr CSize() = default;
    constexpr CSize(int w, int h) : cx(w), cy(h) {}
    constexpr bool operator==(const CSize&) const = default;
};

struct TAVRI_EXPORT CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    constexpr CRect() = default;
    constexpr CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    constexpr bool operator==(const CRect&) const = default;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
    constexpr bool PtInRect(CPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr void OffsetRect(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
    constexpr void SetRectEmpty() { left = top = right = bottom = 0; }
    constexpr void DeflateRect(int dx, int dy) { left += dx; right -= dx; top += dy; bottom -= dy; }
    constexpr void InflateRect(int dx, int dy) { DeflateRect(-dx, -dy); }
    // Intersection; an empty result is all zeros, as the Windows call leaves it.
    bool IntersectRect(const CRect& a, const CRect& b);
    // Union; an empty operand is ignored.
    bool UnionRect(const CRect& a, const CRect& b);
    constexpr CPoint TopLeft() const { return CPoint(left, top); }
    constexpr CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    constexpr CSize Size() const { return CSize(Width(), Height()); }
    constexpr bool Intersects(const CRect& o) const {
        return !IsRectEmpty() && !o.IsRectEmpty() && left < o.right && o.left < right &&
               top < o.bottom && o.top < bottom;
    }
};

// The Windows structure names, for code written against that model.
using RECT = CRect;
using POINT = CPoint;
using SIZE = CSize;
