// Images, the painter and fonts over Qt's raster engine.
//
// Sections: Image - fonts - picture caches - Graphics - MRender's platform parts.
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include "../src/host_bridge.h"
#include "host_internal.h"
#include "platform/paths.h"

namespace {

QImage ToPremultiplied(const QImage& img) {
    return img.format() == QImage::Format_ARGB32_Premultiplied ? img
                                                               : img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QColor ToQColor(ARGB c) { return QColor::fromRgba(static_cast<QRgb>(c)); }
QRect ToQRect(const CRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }
QString ToQString(const CString& s) { return QString::fromWCharArray(s.c_str(), static_cast<qsizetype>(s.size())); }

bool HaveGui() { return QGuiApplication::instance() != nullptr; }

}  // namespace

// ---- Image -----------------------------------------------------------------
Image::Image() = default;

Image::Image(int width, int height) {
    if (width <= 0 || height <= 0) return;
    d_ = std::make_unique<Impl>();
    d_->img = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    d_->img.fill(Qt::transparent);
}

Image::Image(const Image& other) : d_(other.d_ ? std::make_unique<Impl>(*other.d_) : nullptr) {}
Image::Image(Image&& other) noexcept = default;
Image& Image::operator=(const Image& other) {
    if (this != &other) d_ = other.d_ ? std::make_unique<Impl>(*other.d_) : nullptr;
    return *this;
}
Image& Image::operator=(Image&& other) noexcept = default;
Image::~Image() = default;

Image Image::FromFile(const CString& path) {
    Image out;
    if (path.empty()) return out;
    QImageReader reader(QString::fromStdString(platform::NativePath(path)));
    reader.setDecideFormatFromContent(true);
    std::vector<QImage> frames;
    for (;;) {
        QImage frame = reader.read();
        if (frame.isNull()) break;
        frames.push_back(ToPremultiplied(frame));
        if (!reader.supportsAnimation() || !reader.canRead()) break;
    }
    if (frames.empty()) return out;
    out.d_ = std::make_unique<Impl>();
    out.d_->img = frames.front();
    if (frames.size() > 1) out.d_->frames = std::move(frames);
    return out;
}

Image Image::FromData(const void* data, std::size_t size) {
    Image out;
    if (!data || size == 0) return out;
    QImage img;
    if (!img.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size))) return out;
    out.d_ = std::make_unique<Impl>();
    out.d_->img = ToPremultiplied(img);
    return out;
}

bool Image::IsNull() const { return !d_ || d_->img.isNull(); }
int Image::Width() const { return d_ ? d_->img.width() : 0; }
int Image::Height() const { return d_ ? d_->img.height() : 0; }

ARGB Image::GetPixel(int x, int y) const {
    if (IsNull() || x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    return static_cast<ARGB>(d_->img.pixel(x, y));
}

void Image::SetPixel(int x, int y, ARGB color) {
    if (IsNull() || x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    d_->img.setPixel(x, y, qPremultiply(static_cast<QRgb>(color)));
}

void Image::Fill(ARGB color) {
    if (!IsNull()) d_->img.fill(ToQColor(color));
}

Image Image::Copy(const CRect& rect) const {
    Image out;
    if (IsNull()) return out;
    QImage part = d_->img.copy(ToQRect(rect));
    if (part.isNull()) return out;
    out.d_ = std::make_unique<Impl>();
    out.d_->img = part;
    return out;
}

bool Image::Save(const CString& path) const {
    return !IsNull() && d_->img.save(QString::fromStdString(platform::NativePath(path)), "PNG");
}

int Image::GetFrameCount() const {
    if (IsNull()) return 0;
    return d_->frames.empty() ? 1 : static_cast<int>(d_->frames.size());
}

bool Image::SelectActiveFrame(int index) {
    if (IsNull() || index < 0 || index >= GetFrameCount()) return false;
    if (!d_->frames.empty()) d_->img = d_->frames[static_cast<std::size_t>(index)];
    d_->active = index;
    return true;
}

int Image::GetActiveFrame() const { return d_ ? d_->active : 0; }

std::uint32_t* Image::Bits() { return IsNull() ? nullptr : reinterpret_cast<std::uint32_t*>(d_->img.bits()); }
const std::uint32_t* Image::Bits() const {
    return IsNull() ? nullptr : reinterpret_cast<const std::uint32_t*>(d_->img.constBits());
}
int Image::Stride() const { return IsNull() ? 0 : static_cast<int>(d_->img.bytesPerLine() / 4); }

// ---- fonts -----------------------------------------------------------------
namespace {

struct FontKey {
    CString family;
    int size;
    int style;
    int weight;
    bool operator==(const FontKey&) const = default;
};
struct FontKeyHash {
    std::size_t operator()(const FontKey& k) const {
        return std::hash<std::wstring>()(k.family) ^ (static_cast<std::size_t>(k.size) << 1) ^
               (static_cast<std::size_t>(k.style) << 9) ^ (static_cast<std::size_t>(k.weight) << 13);
    }
};

// Fonts are built once per face, size and style: building them is the
// expensive part of drawing text.
const QFont& CachedFont(const Font& font) {
    // Entries never move or go (the map's nodes are stable), so the
    // reference stays good after the lock is released.
    static std::mutex lock;
    static std::unordered_map<FontKey, QFont, FontKeyHash> cache;
    const FontKey key{font.family, static_cast<int>(std::lround(font.pixelSize)), font.style, font.weight};
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    QFont f(ToQString(font.family));
    f.setPixelSize(std::max(1, key.size));
    int weight = font.weight;
    if (weight <= 0) weight = (font.style & FontStyleBold) ? 700 : 400;
    f.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 100, 900)));
    f.setItalic((font.style & FontStyleItalic) != 0);
    f.setUnderline((font.style & FontStyleUnderline) != 0);
    f.setStrikeOut((font.style & FontStyleStrikeout) != 0);
    f.setStyleStrategy(QFont::PreferAntialias);
    return cache.emplace(key, f).first->second;
}

int QtFlags(const StringFormat& format) {
    int flags = 0;
    flags |= format.hAlign == 1 ? Qt::AlignHCenter : format.hAlign == 2 ? Qt::AlignRight : Qt::AlignLeft;
    flags |= format.vAlign == 4 ? Qt::AlignVCenter : format.vAlign == 8 ? Qt::AlignBottom : Qt::AlignTop;
    flags |= format.wrap ? Qt::TextWordWrap : Qt::TextSingleLine;
    return flags;
}

std::optional<FontFamily> FamilyFromId(int id) {
    if (id < 0) return std::nullopt;
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) return std::nullopt;
    FontFamily f;
    // The most specific name ("Open Sans Semibold" rather than "Open Sans")
    // picks exactly the face that was loaded.
    QString best = families.front();
    for (const QString& name : families)
        if (name.size() > best.size()) best = name;
    f.family = CString(best.toStdWString());
    f.name = f.family;
    return f;
}

}  // namespace

namespace tavri::host {

std::optional<FontFamily> AddFontFile(const CString& path) {
    if (!HaveGui()) return std::nullopt;
    return FamilyFromId(QFontDatabase::addApplicationFont(QString::fromStdString(platform::NativePath(path))));
}

std::optional<FontFamily> AddFontData(const void* data, std::size_t size) {
    if (!HaveGui() || !data || size == 0) return std::nullopt;
    static std::unordered_map<const void*, std::optional<FontFamily>> loaded;
    auto it = loaded.find(data);
    if (it != loaded.end()) return it->second;
    const QByteArray bytes = QByteArray::fromRawData(static_cast<const char*>(data), static_cast<qsizetype>(size));
    auto family = FamilyFromId(QFontDatabase::addApplicationFontFromData(bytes));
    loaded[data] = family;
    return family;
}

std::optional<FontFamily> FindInstalledFamily(const CString& name) {
    if (!HaveGui() || name.empty()) return std::nullopt;
    QFont f(ToQString(name));
    const QFontInfo info(f);
    if (info.family().isEmpty()) return std::nullopt;
    FontFamily fam;
    fam.name = name;
    // Asking for the name lets the font system substitute (Arial becomes a
    // metric-compatible face), so the name itself is what is drawn with.
    fam.family = name;
    return fam;
}

}  // namespace tavri::host

// ---- picture caches --------------------------------------------------------
// Stretching skin images into nine-grids and laying out text are what a
// paint spends its time on, yet their results depend only on their inputs.
// The finished pictures are kept, most recently used first, within a byte
// budget; a later paint only blends them. Any thread may paint into its own
// image, so the caches have a lock; pictures are shared copies, drawn outside it.
namespace {

class PictureCache {
public:
    explicit PictureCache(std::size_t budget) : budget_(budget) {}

    bool Find(const std::string& key, QImage* out) {
        std::lock_guard<std::mutex> lock(lock_);
        auto it = index_.find(key);
        if (it == index_.end()) return false;
        lru_.splice(lru_.begin(), lru_, it->second);
        *out = it->second->second;
        return true;
    }

    void Put(const std::string& key, const QImage& picture) {
        const std::size_t size = static_cast<std::size_t>(picture.sizeInBytes());
        if (size > budget_ / 4) return;  // one picture never crowds out the rest
        std::lock_guard<std::mutex> lock(lock_);
        if (index_.count(key)) return;
        lru_.emplace_front(key, picture);
        index_[key] = lru_.begin();
        bytes_ += size;
        while (bytes_ > budget_ && !lru_.empty()) {
            bytes_ -= static_cast<std::size_t>(lru_.back().second.sizeInBytes());
            index_.erase(lru_.back().first);
            lru_.pop_back();
        }
    }

private:
    using Entry = std::pair<std::string, QImage>;
    std::mutex lock_;
    std::list<Entry> lru_;
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
    std::size_t bytes_ = 0;
    const std::size_t budget_;
};

PictureCache& NineGridCache() {
    static PictureCache cache(48u << 20);
    return cache;
}

PictureCache& TextCache() {
    static PictureCache cache(16u << 20);
    return cache;
}

template <class T>
void AppendKey(std::string& key, const T& value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

// The nine pieces between the source and destination grid lines, painted
// into `q` with `dest` in q's coordinates.
void DrawNinePieces(QPainter& q, const QImage& img, const CRect& dest, const CRect& src, int cw, int ch) {
    const int sw = src.Width();
    const int sh = src.Height();
    cw = std::clamp(cw, 0, sw / 2);
    ch = std::clamp(ch, 0, sh / 2);
    if (cw == 0 && ch == 0) {
        q.drawImage(ToQRect(dest), img, ToQRect(src));
        return;
    }
    // Corners keep their size unless the destination is too small for them.
    const int dw = std::min(cw, dest.Width() / 2);
    const int dh = std::min(ch, dest.Height() / 2);
    const int srcX[4] = {src.left, src.left + cw, src.right - cw, src.right};
    const int srcY[4] = {src.top, src.top + ch, src.bottom - ch, src.bottom};
    const int dstX[4] = {dest.left, dest.left + dw, dest.right - dw, dest.right};
    const int dstY[4] = {dest.top, dest.top + dh, dest.bottom - dh, dest.bottom};
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            const CRect s(srcX[i], srcY[j], srcX[i + 1], srcY[j + 1]);
            const CRect d(dstX[i], dstY[j], dstX[i + 1], dstY[j + 1]);
            if (s.IsRectEmpty() || d.IsRectEmpty()) continue;
            if (s.Width() == d.Width() && s.Height() == d.Height())
                q.drawImage(QPoint(d.left, d.top), img, ToQRect(s));
            else
                q.drawImage(ToQRect(d), img, ToQRect(s));
        }
    }
}

}  // namespace

// ---- Graphics --------------------------------------------------------------
struct Graphics::Impl {
    QPainter p;
};

Graphics::Graphics(Image& target) : target_(target), d_(std::make_unique<Impl>()) {
    if (target.IsNull()) return;
    d_->p.begin(&target.impl()->img);
    d_->p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    d_->p.setRenderHint(QPainter::TextAntialiasing, true);
}

Graphics::~Graphics() {
    if (d_->p.isActive()) d_->p.end();
}

#define PAINTER_OR_RETURN          \
    QPainter& p = d_->p;           \
    if (!p.isActive()) return;

void Graphics::Save() {
    PAINTER_OR_RETURN
    p.save();
}
void Graphics::Restore() {
    PAINTER_OR_RETURN
    p.restore();
}
void Graphics::SetClip(const CRect& rect) {
    PAINTER_OR_RETURN
    p.setClipRect(ToQRect(rect), Qt::ReplaceClip);
}
void Graphics::IntersectClip(const CRect& rect) {
    PAINTER_OR_RETURN
    p.setClipRect(ToQRect(rect), p.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}
void Graphics::ResetClip() {
    PAINTER_OR_RETURN
    p.setClipping(false);
}
void Graphics::TranslateTransform(int dx, int dy) {
    PAINTER_OR_RETURN
    p.translate(dx, dy);
}
void Graphics::ResetTransform() {
    PAINTER_OR_RETURN
    p.resetTransform();
}
CPoint Graphics::DeviceOffset() const {
    if (!d_->p.isActive()) return CPoint();
    const QTransform t = d_->p.worldTransform();
    return CPoint(static_cast<int>(std::lround(t.dx())), static_cast<int>(std::lround(t.dy())));
}
void Graphics::SetOpacity(float opacity) {
    PAINTER_OR_RETURN
    p.setOpacity(std::clamp(opacity, 0.0f, 1.0f));
}
void Graphics::SetAntiAlias(bool on) {
    PAINTER_OR_RETURN
    p.setRenderHint(QPainter::Antialiasing, on);
}

void Graphics::ClearRect(const CRect& rect, ARGB color) {
    PAINTER_OR_RETURN
    const auto mode = p.compositionMode();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(ToQRect(rect), ToQColor(color));
    p.setCompositionMode(mode);
}

void Graphics::Clear(ARGB color) {
    if (target_.IsNull()) return;
    ClearRect(CRect(0, 0, target_.Width(), target_.Height()), color);
}

void Graphics::FillRect(const CRect& rect, ARGB color) {
    PAINTER_OR_RETURN
    if (rect.IsRectEmpty()) return;
    p.fillRect(ToQRect(rect), ToQColor(color));
}

namespace {
QPen MakePen(ARGB color, float width, DashStyle dash) {
    QPen pen(ToQColor(color));
    pen.setWidthF(width);
    pen.setStyle(dash == DashStyle::Dot ? Qt::DotLine : dash == DashStyle::Dash ? Qt::DashLine : Qt::SolidLine);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}
// A pen of width w centred on the inside edge of the rect's outermost pixels.
QRectF InsetForPen(const CRect& r, float w) {
    return QRectF(r.left + w / 2.0, r.top + w / 2.0, r.Width() - w, r.Height() - w);
}
}  // namespace

void Graphics::DrawRect(const CRect& rect, ARGB color, float width, DashStyle dash) {
    PAINTER_OR_RETURN
    if (rect.IsRectEmpty()) return;
    p.setPen(MakePen(color, width, dash));
    p.setBrush(Qt::NoBrush);
    p.drawRect(InsetForPen(rect, width));
}

void Graphics::DrawLine(int x1, int y1, int x2, int y2, ARGB color, float width, DashStyle dash) {
    PAINTER_OR_RETURN
    p.setPen(MakePen(color, width, dash));
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void Graphics::FillEllipse(const CRect& rect, ARGB color) {
    PAINTER_OR_RETURN
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(color));
    p.drawEllipse(ToQRect(rect));
}

void Graphics::DrawEllipse(const CRect& rect, ARGB color, float width) {
    PAINTER_OR_RETURN
    p.setPen(MakePen(color, width, DashStyle::Solid));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(InsetForPen(rect, width));
}

void Graphics::FillRoundRect(const CRect& rect, int radius, ARGB color) {
    PAINTER_OR_RETURN
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(color));
    p.drawRoundedRect(ToQRect(rect), radius, radius);
}

void Graphics::DrawRoundRect(const CRect& rect, int radius, ARGB color, float width) {
    PAINTER_OR_RETURN
    p.setPen(MakePen(color, width, DashStyle::Solid));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(InsetForPen(rect, width), radius, radius);
}

void Graphics::FillGradient(const CRect& rect, ARGB from, ARGB to, bool vertical) {
    PAINTER_OR_RETURN
    if (rect.IsRectEmpty()) return;
    QLinearGradient g(rect.left, rect.top, vertical ? rect.left : rect.right, vertical ? rect.bottom : rect.top);
    g.setColorAt(0, ToQColor(from));
    g.setColorAt(1, ToQColor(to));
    p.fillRect(ToQRect(rect), g);
}

void Graphics::DrawImage(const Image& image, const CRect& dest, const CRect& src) {
    PAINTER_OR_RETURN
    if (image.IsNull() || dest.IsRectEmpty() || src.IsRectEmpty()) return;
    if (dest.Width() == src.Width() && dest.Height() == src.Height())
        p.drawImage(QPoint(dest.left, dest.top), image.impl()->img, ToQRect(src));
    else
        p.drawImage(ToQRect(dest), image.impl()->img, ToQRect(src));
}

void Graphics::DrawImage(const Image& image, const CRect& dest) {
    DrawImage(image, dest, CRect(0, 0, image.Width(), image.Height()));
}

void Graphics::DrawImage(const Image& image, int x, int y) {
    PAINTER_OR_RETURN
    if (image.IsNull()) return;
    p.drawImage(QPoint(x, y), image.impl()->img);
}

void Graphics::CopyImage(const Image& image, int x, int y, const CRect& src) {
    PAINTER_OR_RETURN
    if (image.IsNull() || src.IsRectEmpty()) return;
    const auto mode = p.compositionMode();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(x, y), image.impl()->img, ToQRect(src));
    p.setCompositionMode(mode);
}

void Graphics::DrawImageNineGrid(const Image& image, const CRect& dest, const CRect& src, int cornerW, int cornerH) {
    PAINTER_OR_RETURN
    if (image.IsNull() || dest.IsRectEmpty() || src.IsRectEmpty()) return;
    const QImage& img = image.impl()->img;
    // The image's cache key changes whenever its pixels do.
    std::string key;
    AppendKey(key, img.cacheKey());
    AppendKey(key, src);
    AppendKey(key, dest.Width());
    AppendKey(key, dest.Height());
    AppendKey(key, cornerW);
    AppendKey(key, cornerH);
    QImage picture;
    if (!NineGridCache().Find(key, &picture)) {
        picture = QImage(dest.Width(), dest.Height(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter q(&picture);
        q.setRenderHint(QPainter::SmoothPixmapTransform, true);
        // The pieces do not overlap: each is copied as it is, and the whole
        // picture is blended once below.
        q.setCompositionMode(QPainter::CompositionMode_Source);
        DrawNinePieces(q, img, CRect(0, 0, dest.Width(), dest.Height()), src, cornerW, cornerH);
        q.end();
        NineGridCache().Put(key, picture);
    }
    p.drawImage(QPoint(dest.left, dest.top), picture);
}

void Graphics::DrawString(const CString& text, const Font& font, const CRect& box, const StringFormat& format,
                          ARGB color) {
    PAINTER_OR_RETURN
    if (text.empty() || !HaveGui() || box.IsRectEmpty()) return;
    const QFont& f = CachedFont(font);
    const int flags = QtFlags(format);
    QString s = ToQString(text);
    if (format.ellipsis && !format.wrap) s = QFontMetrics(f).elidedText(s, Qt::ElideRight, box.Width());
    // Large boxes (text areas) are drawn directly; captions, the common
    // case, are laid out once into a picture of their box.
    constexpr int kMaxCachedArea = 512 * 128;
    if (box.Width() * box.Height() > kMaxCachedArea) {
        p.setFont(f);
        p.setPen(ToQColor(color));
        p.drawText(ToQRect(box), flags, s);
        return;
    }
    std::string key;
    AppendKey(key, static_cast<int>(std::lround(font.pixelSize)));
    AppendKey(key, font.style);
    AppendKey(key, font.weight);
    AppendKey(key, flags);
    AppendKey(key, color);
    AppendKey(key, box.Width());
    AppendKey(key, box.Height());
    const CString& family = font.family;
    AppendKey(key, family.size());
    key.append(reinterpret_cast<const char*>(family.data()), family.size() * sizeof(wchar_t));
    key.append(reinterpret_cast<const char*>(s.constData()), static_cast<std::size_t>(s.size()) * sizeof(QChar));
    QImage picture;
    if (!TextCache().Find(key, &picture)) {
        picture = QImage(box.Width(), box.Height(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter q(&picture);
        q.setRenderHint(QPainter::TextAntialiasing, true);
        q.setFont(f);
        q.setPen(ToQColor(color));
        q.drawText(QRect(0, 0, box.Width(), box.Height()), flags, s);
        q.end();
        TextCache().Put(key, picture);
    }
    p.drawImage(QPoint(box.left, box.top), picture);
}

// ---- MRender's platform parts ----------------------------------------------
CSize MRender::GetTextBounds(const Font& font, const CString& text) {
    if (!HaveGui() || text.empty()) return CSize();
    const QFontMetrics m(CachedFont(font));
    return CSize(m.horizontalAdvance(ToQString(text)), m.height());
}

CSize MRender::GetTextBounds(const Font& font, const StringFormat& format, int maxWidth, const CString& text) {
    if (!HaveGui() || text.empty()) return CSize();
    const QFontMetrics m(CachedFont(font));
    const int width = maxWidth > 0 ? maxWidth : 1 << 20;
    const QRect r = m.boundingRect(QRect(0, 0, width, 1 << 20), QtFlags(format) & ~Qt::AlignVertical_Mask,
                                   ToQString(text));
    return CSize(r.width(), r.height());
}

HICON MRender::LoadIconFromFile(const CString& path) {
    if (path.empty()) return nullptr;
    Image own = Image::FromFile(path);
    if (!own.IsNull()) return new Image(std::move(own));
    if (!QGuiApplication::instance()) return nullptr;
    const QFileInfo info(QString::fromStdString(platform::NativePath(path)));
    if (!info.exists()) return nullptr;
    QFileIconProvider provider;
    const QIcon icon = provider.icon(info);
    if (icon.isNull()) return nullptr;
    const QImage img = icon.pixmap(32, 32).toImage();
    if (img.isNull()) return nullptr;
    auto* out = new Image(img.width(), img.height());
    out->impl()->img = ToPremultiplied(img);
    return out;
}
