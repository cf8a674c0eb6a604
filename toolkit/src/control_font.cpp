// MControlFont: title, font, text colour and the skin image of a control.
#include <algorithm>

#include "tavri/control.h"
#include "tavri/manager.h"
#include "tavri/paint_manager.h"

MControlFont::MControlFont(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled,
                           int response)
    : MControl(parent, id, rect, visible, enabled, response),
      m_title(title ? title : L""),
      m_fontName(Manager::GetFontName()),
      m_fontSize(Manager::GetFontWidth()) {}

MControlFont::~MControlFont() { delete m_gdiFont; }

void MControlFont::SetTextFont(CString name) {
    m_fontName = name;
    m_fontFamily = nullptr;
}

void MControlFont::SetTextColor(ARGB color) { m_textColor = color; }

int MControlFont::SetImage(UINT resourceId, CString resourceType, int count) {
    if (!m_manager) return 0;
    return AdoptImage(m_manager->AddImgResInfo(resourceId, resourceType, count, 1), count, L"");
}

int MControlFont::SetImage(const wchar_t* fileName, int count) {
    if (!m_manager || !fileName || !*fileName) return 0;
    return AdoptImage(m_manager->AddImgResInfo(fileName, count), count, fileName);
}

int MControlFont::AdoptImage(const ImgResInfo* info, int count, const wchar_t* path) {
    if (!info) return 0;
    m_imageInfo = info;
    m_image = info->image.get();
    m_imageWidth = m_image->Width();
    m_imageHeight = info->height;
    m_imageCount = count;
    m_imagePath = path;
    if (m_visible) UpdateControl();
    return 1;
}

void MControlFont::SetControlTitle(const wchar_t* title) { m_title = title ? title : L""; }
CString MControlFont::GetControlTitle() { return m_title; }

void MControlFont::SetTitle(const wchar_t* title) {
    ClearGDIFont();
    SetControlTitle(title);
    if (m_visible) UpdateControl();
}

void MControlFont::SetAlignment(int h) {
    if (h == m_hAlign) return;
    m_hAlign = h;
    if (m_visible) UpdateControl();
}

void MControlFont::SetVAlignment(int v) {
    if (v == m_vAlign) return;
    m_vAlign = v;
    if (m_visible) UpdateControl();
}

void MControlFont::SetAlignment(int h, int v) {
    if (h == m_hAlign && v == m_vAlign) return;
    m_hAlign = h;
    m_vAlign = v;
    if (m_visible) UpdateControl();
}

void MControlFont::GetAlignment(int* h, int* v) const {
    if (h) *h = m_hAlign;
    if (v) *v = m_vAlign;
}

void MControlFont::SetFont(const CString& name, int size, int style) {
    m_fontName = name;
    m_fontSize = size;
    m_fontStyle = style;
    m_fontFamily = nullptr;
    ClearGDIFont();
    if (m_visible) UpdateControl();
}

void MControlFont::SetFontStyle(int style) {
    if (style == m_fontStyle) return;
    m_fontStyle = style;
    ClearGDIFont();
    if (m_visible) UpdateControl();
}

void MControlFont::SetFontWidth(int size) {
    if (size == m_fontSize) return;
    m_fontSize = size;
    ClearGDIFont();
    if (m_visible) UpdateControl();
}

FontFamily* MControlFont::GetFontFamily(const CString& name) {
    return m_manager ? m_manager->GetPrivateFont(name) : nullptr;
}

Font MControlFont::GetTextFontObject() {
    if (!m_fontFamily && m_manager) m_fontFamily = m_manager->GetPrivateFont(m_fontName);
    Font f;
    f.family = m_fontFamily ? m_fontFamily->family : m_fontName;
    f.pixelSize = static_cast<float>(m_fontSize);
    f.style = m_fontStyle;
    return f;
}

HFONT MControlFont::GetGDIFont() {
    if (!m_gdiFont) {
        // A face name holds at most 31 characters and its terminator.
        auto* f = new Font(Manager::GetFontName().Left(31), static_cast<float>(m_fontSize),
                           m_fontStyle & (FontStyleItalic | FontStyleUnderline));
        f->weight = std::min(400 + ((m_fontStyle & FontStyleBold) ? 700 : 0), 1000);
        m_gdiFont = f;
    }
    return m_gdiFont;
}

void MControlFont::ClearGDIFont() {
    delete m_gdiFont;
    m_gdiFont = nullptr;
}

int MControlFont::GetImageFrameWidth() const { return m_imageCount > 0 ? m_imageWidth / m_imageCount : m_imageWidth; }
