// Drawing for the toolkit: 32-bit ARGB images, a painter over an image, text
// fonts, and MRender's stateless drawing and loading functions.
//
//   Image       pixels (premultiplied ARGB inside, plain ARGB at the API)
//   Graphics    draws into one Image, with clip, offset and opacity
//   Font        family, pixel size and style; FontFamily names a loaded family
//   MRender     nine-grid frames, rounded rectangles, alignment, text bounds,
//               image and icon loading
//
// The host implements Image and Graphics over its painter; no type of the
// host appears here.
#pragma once

#include <cstddef>
#include <memory>

#include "tavri/types.h"

// Colour helpers: ARGB is 0xAARRGGBB; COLORREF is 0x00BBGGRR.
constexpr ARGB MakeARGB(int a, int r, int g, int b) {
    return (static_cast<ARGB>(a & 0xFF) << 24) | (static_cast<ARGB>(r & 0xFF) << 16) |
           (static_cast<ARGB>(g & 0xFF) << 8) | static_cast<ARGB>(b & 0xFF);
}
constexpr ARGB ColorRefToARGB(COLORREF c, int alpha = 255) {
    return MakeARGB(alpha, GetRValue(c), GetGValue(c), GetBValue(c));
}
constexpr int ARGBAlpha(ARGB c) { return static_cast<int>(c >> 24); }
constexpr int ARGBRed(ARGB c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr int ARGBGreen(ARGB c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int ARGBBlue(ARGB c) { return static_cast<int>(c & 0xFF); }

class TAVRI_EXPORT Image {
public:
    Image();
    // A transparent image of the given size; a size of 0 or less gives a null image.
    Image(int width, int height);
    Image(const Image& other);
    Image(Image&& other) noexcept;
    Image& operator=(const Image& other);
    Image& operator=(Image&& other) noexcept;
    ~Image();

    // Decodes a file (native or backslash path) or bytes; null image on failure.
    static Image FromFile(const CString& path);
    static Image FromData(const void* data, std::size_t size);

    bool IsNull() const;
    int Width() const;
    int Height() const;
    CSize Size() const { return CSize(Width(), Height()); }

    // Plain (not premultiplied) ARGB; outside the image 0.
    ARGB GetPixel(int x, int y) const;
    void SetPixel(int x, int y, ARGB color);
    void Fill(ARGB color);
    Image Copy(const CRect& rect) const;
    bool Save(const CString& path) const;  // PNG

    // Animated files (GIF) keep every frame of their time dimension; a still
    // image has one. Selecting a frame makes it the pixels drawn.
    int GetFrameCount() const;
    bool SelectActiveFrame(int index);
    int GetActiveFrame() const;

    // Raw premultiplied pixels, one 32-bit word per pixel, top row first.
    std::uint32_t* Bits();
    const std::uint32_t* Bits() const;
    int Stride() const;  // in pixels

    struct Impl;
    Impl* impl() const { return d_.get(); }

private:
    std::unique_ptr<Impl> d_;
};

// Font style bits, as the toolkit's controls store them.
constexpr int FontStyleRegular = 0;
constexpr int FontStyleBold = 1;
constexpr int FontStyleItalic = 2;
constexpr int FontStyleUnderline = 4;
constexpr int FontStyleStrikeout = 8;

struct TAVRI_EXPORT Font {
    CString family = L"Arial";
    float pixelSize = 14;  // character height in pixels
    int style = FontStyleRegular;
    int weight = 0;  // 0: from the bold bit; else a weight 100..1000 (400 normal, 600 semibold, 700 bold)
    Font() = default;
    Font(const CString& f, float size, int s = FontStyleRegular, int w = 0)
        : family(f), pixelSize(size), style(s), weight(w) {}
    bool operator==(const Font&) const = default;
};

// A font family that the painter can use: an installed family or one loaded
// from a file or from bytes for this process.
struct TAVRI_EXPORT FontFamily {
    CString name;    // the name the toolkit asked for
    CString family;  // the family name as the painter knows it
    int weight = 0;  // weight of the loaded face, 0 when unknown
};

// Alignment values shared with MControlFont: horizontal 0 left, 1 centre,
// 2 right; vertical 0 top, 4 centre, 8 bottom.
struct TAVRI_EXPORT StringFormat {
    int hAlign = 0;
    int vAlign = 0;
    bool wrap = false;
    bool ellipsis = false;
    StringFormat() = default;
    StringFormat(int h, int v, bool w = false) : hAlign(h), vAlign(v), wrap(w) {}
};

enum class DashStyle { Solid, Dot, Dash };

class TAVRI_EXPORT Graphics {
public:
    explicit Graphics(Image& target);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    Image& Target() { return target_; }

    // State: clip (in the current coordinates), offset, opacity and smoothing
    // are saved and restored together.
    void Save();
    void Restore();
    void SetClip(const CRect& rect);       // replaces the clip
    void IntersectClip(const CRect& rect);  // narrows the clip
    void ResetClip();
    void TranslateTransform(int dx, int dy);
    void ResetTransform();
    // Where (0, 0) of the current coordinates lies on the target.
    CPoint DeviceOffset() const;
    void SetOpacity(float opacity);  // 0..1
    void SetAntiAlias(bool on);
    // Stored for controls that ask for it; text is always drawn anti-aliased.
    void SetTextRenderingHint(int hint) { textHint_ = hint; }
    int GetTextRenderingHint() const { return textHint_; }

    // Replaces the pixels of `rect` (alpha included) with `color`.
    void ClearRect(const CRect& rect, ARGB color);
    void Clear(ARGB color);
    void FillRect(const CRect& rect, ARGB color);
    void DrawRect(const CRect& rect, ARGB color, float width = 1, DashStyle dash = DashStyle::Solid);
    void DrawLine(int x1, int y1, int x2, int y2, ARGB color, float width = 1,
                  DashStyle dash = DashStyle::Solid);
    void FillEllipse(const CRect& rect, ARGB color);
    void DrawEllipse(const CRect& rect, ARGB color, float width = 1);
    void FillRoundRect(const CRect& rect, int radius, ARGB color);
    void DrawRoundRect(const CRect& rect, int radius, ARGB color, float width = 1);
    // Linear gradient from `from` to `to`, top to bottom or left to right.
    void FillGradient(const CRect& rect, ARGB from, ARGB to, bool vertical);

    // Source rectangle `src` of the image into `dest` (stretched when sizes differ).
    void DrawImage(const Image& image, const CRect& dest, const CRect& src);
    void DrawImage(const Image& image, const CRect& dest);
    void DrawImage(const Image& image, int x, int y);
    // Copies pixels (alpha included) without blending, as a block transfer.
    void CopyImage(const Image& image, int x, int y, const CRect& src);
    // Nine-grid of `src` over `dest`: the cornerW x cornerH corners unscaled
    // (smaller when `dest` is too small for them), the edges stretched along
    // their length, the centre both ways. The stretched picture is kept for
    // the next paint of the same image, source and size.
    void DrawImageNineGrid(const Image& image, const CRect& dest, const CRect& src, int cornerW, int cornerH);

    void DrawString(const CString& text, const Font& font, const CRect& box, const StringFormat& format,
                    ARGB color);

private:
    Image& target_;
    int textHint_ = 5;
    struct Impl;
    std::unique_ptr<Impl> d_;
};

struct ImgResInfo;

// Stateless drawing and loading functions shared by every control.
class TAVRI_EXPORT MRender {
public:
    // Null when the file cannot be decoded.
    static std::unique_ptr<Image> LoadImageFromFile(const CString& path);
    // A resource registered for `module` (tavri/resource.h); null when missing.
    static std::unique_ptr<Image> LoadImageFromIDResource(UINT id, const CString& type, HINSTANCE module);
    // The icon of a file: image and icon files give their own picture,
    // other files the desktop's icon for their type. Free with DestroyIcon.
    static HICON LoadIconFromFile(const CString& path);

    // A transparent 32-bit surface; `bits` (when given) receives its pixels.
    static Image CreateARGB32Bitmap(HDC hdc, int width, int height, BYTE** bits);
    static Image CreateCompatibleBitmap(HDC hdc, int width, int height);

    // Nine-grid: the four corner x corner corners of the source rectangle are
    // copied unscaled, the edges stretched along their length and the centre
    // both ways.
    static void DrawImageFrame(Graphics& g, const Image* image, const CRect& dest, int srcX, int srcY, int srcW,
                               int srcH, int corner);
    // Nine-grid with separate corner width and height.
    static void DrawImageFrameMID(Graphics& g, const Image* image, const CRect& dest, int srcX, int srcY,
                                  int srcW, int srcH, int cornerWidth, int cornerHeight);
    // Frame `frame` of a cached strip image, as a nine-grid.
    static void DrawImageFrame(Graphics& g, const ImgResInfo* info, const CRect& dest, int frame, int corner);

    static void DrawRoundRectange(Graphics& g, int x, int y, int w, int h, int radius, ARGB pen, float penWidth,
                                  bool fill, ARGB fillColor);
    static void DrawRoundRectange(Graphics& g, int x, int y, int w, int h, int radius, ARGB fillColor);

    // Where content of size (cw, ch) goes inside (w, h) for the alignment values
    // of MControlFont (h: 0, 1, 2; v: 0, 4, 8).
    static CPoint GetOriginPoint(int w, int h, int contentW, int contentH, int hAlign, int vAlign);

    static CSize GetTextBounds(const Font& font, const CString& text);
    static CSize GetTextBounds(const Font& font, const StringFormat& format, int maxWidth, const CString& text);

    // A colour whose low 24 bits are 0 becomes 1: layered windows treat pure
    // black as a hole.
    static void CheckAlphaColor(DWORD& color);

    static void FillSolidRect(Graphics& g, const CRect& rect, COLORREF color);
    static void DrawColor(Graphics& g, const CRect& rect, ARGB color);
    static void DrawGradient(Graphics& g, const CRect& rect, ARGB from, ARGB to, bool vertical);
    static void DrawRectangle(Graphics& g, const CRect& rect, ARGB color, float width = 1);
    static void DrawTextW(Graphics& g, const CString& text, const Font& font, const CRect& box,
                          const StringFormat& format, ARGB color);
    // Fades from `color` to transparent: downwards, rightwards, or towards the bottom-right.
    static void DrawVerticalTransition(Graphics& g, const CRect& rect, ARGB color);
    static void DrawHorizontalTransition(Graphics& g, const CRect& rect, ARGB color);
    static void DrawRightBottomTransition(Graphics& g, const CRect& rect, ARGB color);
    static void BitBlt(Graphics& dest, int x, int y, int w, int h, const Image& src, int srcX, int srcY);
    static bool SaveBitmapToFile(const Image& image, const CString& path);
};

TAVRI_EXPORT void DestroyIcon(HICON icon);
