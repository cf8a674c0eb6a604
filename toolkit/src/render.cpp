// MRender's drawing and loading functions that need no platform code.
#include "tavri/render.h"

#include <algorithm>

#include "tavri/paint_manager.h"
#include "tavri/resource.h"

std::unique_ptr<Image> MRender::LoadImageFromFile(const CString& path) {
    Image img = Image::FromFile(path);
    if (img.IsNull()) return nullptr;
    return std::make_unique<Image>(std::move(img));
}

std::unique_ptr<Image> MRender::LoadImageFromIDResource(UINT id, const CString& type, HINSTANCE module) {
    ResourceData data;
    if (!FindResourceData(module, id, type.c_str(), &data)) return nullptr;
    Image img = Image::FromData(data.data, data.size);
    if (img.IsNull()) return nullptr;
    return std::make_unique<Image>(std::move(img));
}

Image MRender::CreateARGB32Bitmap(HDC, int width, int height, BYTE** bits) {
    Image img(width, height);
    // Top row first: the surface is not upside down as a Windows DIB is.
    if (bits) *bits = reinterpret_cast<BYTE*>(img.Bits());
    return img;
}

Image MRender::CreateCompatibleBitmap(HDC, int width, int height) { return Image(width, height); }

namespace {

void NineGrid(Graphics& g, const Image& img, const CRect& dest, int sx, int sy, int sw, int sh, int cw, int ch) {
    if (dest.IsRectEmpty() || sw <= 0 || sh <= 0) return;
    g.DrawImageNineGrid(img, dest, CRect(sx, sy, sx + sw, sy + sh), cw, ch);
}

}  // namespace

void MRender::DrawImageFrame(Graphics& g, const Image* image, const CRect& dest, int srcX, int srcY, int srcW,
                             int srcH, int corner) {
    if (!image || image->IsNull()) return;
    NineGrid(g, *image, dest, srcX, srcY, srcW, srcH, corner, corner);
}

void MRender::DrawImageFrameMID(Graphics& g, const Image* image, const CRect& dest, int srcX, int srcY, int srcW,
                                int srcH, int cornerWidth, int cornerHeight) {
    if (!image || image->IsNull()) return;
    NineGrid(g, *image, dest, srcX, srcY, srcW, srcH, cornerWidth, cornerHeight);
}

void MRender::DrawImageFrame(Graphics& g, const ImgResInfo* info, const CRect& dest, int frame, int corner) {
    if (!info || !info->image) return;
    frame = std::clamp(frame, 0, std::max(info->frames - 1, 0));
    DrawImageFrame(g, info->image.get(), dest, frame * info->frameWidth, 0, info->frameWidth, info->height, corner);
}

void MRender::DrawRoundRectange(Graphics& g, int x, int y, int w, int h, int radius, ARGB pen, float penWidth,
                                bool fill, ARGB fillColor) {
    if (w <= 0 || h <= 0) return;
    g.Save();
    g.SetAntiAlias(true);
    const CRect r(x, y, x + w, y + h);
    if (fill) g.FillRoundRect(r, radius, fillColor);
    if (penWidth > 0) g.DrawRoundRect(r, radius, pen, penWidth);
    g.Restore();
}

void MRender::DrawRoundRectange(Graphics& g, int x, int y, int w, int h, int radius, ARGB fillColor) {
    if (w <= 0 || h <= 0) return;
    g.Save();
    g.SetAntiAlias(true);
    g.FillRoundRect(CRect(x, y, x + w, y + h), radius, fillColor);
    g.Restore();
}

CPoint MRender::GetOriginPoint(int w, int h, int contentW, int contentH, int hAlign, int vAlign) {
    CPoint p;
    if (hAlign == 1) p.x = (w - contentW) / 2;
    else if (hAlign == 2) p.x = w - contentW;
    if (vAlign == 4) p.y = (h - contentH) / 2;
    else if (vAlign == 8) p.y = h - contentH;
    return p;
}

void MRender::CheckAlphaColor(DWORD& color) {
    if ((color & 0x00FFFFFF) == 0) color += 1;
}

void MRender::FillSolidRect(Graphics& g, const CRect& rect, COLORREF color) { g.FillRect(rect, ColorRefToARGB(color)); }
void MRender::DrawColor(Graphics& g, const CRect& rect, ARGB color) { g.FillRect(rect, color); }
void MRender::DrawGradient(Graphics& g, const CRect& rect, ARGB from, ARGB to, bool vertical) {
    g.FillGradient(rect, from, to, vertical);
}
void MRender::DrawRectangle(Graphics& g, const CRect& rect, ARGB color, float width) { g.DrawRect(rect, color, width); }
void MRender::DrawTextW(Graphics& g, const CString& text, const Font& font, const CRect& box,
                        const StringFormat& format, ARGB color) {
    g.DrawString(text, font, box, format, color);
}

void MRender::DrawVerticalTransition(Graphics& g, const CRect& rect, ARGB color) {
    g.FillGradient(rect, color, color & 0x00FFFFFF, true);
}

void MRender::DrawHorizontalTransition(Graphics& g, const CRect& rect, ARGB color) {
    g.FillGradient(rect, color, color & 0x00FFFFFF, false);
}

void MRender::DrawRightBottomTransition(Graphics& g, const CRect& rect, ARGB color) {
    // Both fades at half strength meet in a diagonal one.
    const ARGB half = (static_cast<ARGB>(ARGBAlpha(color) / 2) << 24) | (color & 0x00FFFFFF);
    g.FillGradient(rect, half, color & 0x00FFFFFF, true);
    g.FillGradient(rect, half, color & 0x00FFFFFF, false);
}

void MRender::BitBlt(Graphics& dest, int x, int y, int w, int h, const Image& src, int srcX, int srcY) {
    dest.CopyImage(src, x, y, CRect(srcX, srcY, srcX + w, srcY + h));
}

bool MRender::SaveBitmapToFile(const Image& image, const CString& path) { return image.Save(path); }

void DestroyIcon(HICON icon) { delete icon; }
