// Draws the toolkit's small built-in artwork and the skins its tests and demo
// use, and writes them as PNG files.
//
//   skingen library OUTDIR   scroll bar strips embedded in the library
//   skingen skins OUTDIR     theme skins (key tip background, test skins)
//
// Every picture is plain geometry, so the colours tests look for are the
// ones written here.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgba {
    std::uint8_t r, g, b, a;
};

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<std::size_t>(w * h), Rgba{0, 0, 0, 0}) {}
    int width() const { return w_; }
    int height() const { return h_; }
    void Set(int x, int y, Rgba c) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<std::size_t>(y * w_ + x)] = c;
    }
    void Fill(int x0, int y0, int x1, int y1, Rgba c) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) Set(x, y, c);
    }
    // Rounded rectangle [x0, x1) x [y0, y1) with corner radius r; pixels the
    // arcs cut get the colour with partial alpha.
    void RoundRect(int x0, int y0, int x1, int y1, int r, Rgba c) {
        if (r <= 0) return Fill(x0, y0, x1, y1, c);
        const double ix0 = x0 + r, ix1 = x1 - r, iy0 = y0 + r, iy1 = y1 - r;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double dx = px < ix0 ? ix0 - px : px > ix1 ? px - ix1 : 0.0;
                const double dy = py < iy0 ? iy0 - py : py > iy1 ? py - iy1 : 0.0;
                const double cover = std::clamp(r - std::hypot(dx, dy) + 0.5, 0.0, 1.0);
                if (cover <= 0) continue;
                Rgba p = c;
                p.a = static_cast<std::uint8_t>(std::lround(c.a * cover));
                Set(x, y, p);
            }
        }
    }
    const std::vector<Rgba>& pixels() const { return px_; }

private:
    int w_, h_;
    std::vector<Rgba> px_;
};

void PutU32(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void Chunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    PutU32(out, static_cast<std::uint32_t>(crc));
}

bool WritePng(const std::string& path, const Canvas& c) {
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<std::size_t>((c.width() * 4 + 1) * c.height()));
    for (int y = 0; y < c.height(); ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < c.width(); ++x) {
            const Rgba& p = c.pixels()[static_cast<std::size_t>(y * c.width() + x)];
            raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return false;
    packed.resize(packedSize);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> ihdr;
    PutU32(ihdr, static_cast<std::uint32_t>(c.width()));
    PutU32(ihdr, static_cast<std::uint32_t>(c.height()));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", packed);
    Chunk(png, "IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

// Scroll bars: track, thumb and hot thumb side by side.
bool Library(const std::string& dir) {
    const Rgba track{255, 255, 255, 40}, thumb{255, 255, 255, 140}, hot{255, 255, 255, 220};
    Canvas h(90, 8);
    h.RoundRect(0, 0, 30, 8, 3, track);
    h.RoundRect(30, 0, 60, 8, 3, thumb);
    h.RoundRect(60, 0, 90, 8, 3, hot);
    Canvas v(24, 30);
    v.RoundRect(0, 0, 8, 30, 3, track);
    v.RoundRect(8, 0, 16, 30, 3, thumb);
    v.RoundRect(16, 0, 24, 30, 3, hot);
    return WritePng(dir + "/scroll_h.png", h) && WritePng(dir + "/scroll_v.png", v);
}

bool Skins(const std::string& dir) {
    // The key tip's background: a dark rounded box for a nine-grid of corner 6.
    Canvas tip(24, 24);
    tip.RoundRect(0, 0, 24, 24, 6, Rgba{80, 80, 80, 255});
    tip.RoundRect(1, 1, 23, 23, 5, Rgba{24, 24, 24, 235});
    // A four-state button strip (normal, hover, pressed, disabled), 40 x 24
    // per state, opaque, each state one flat colour inside a 1 px frame.
    const Rgba states[4] = {{60, 90, 120, 255}, {80, 130, 170, 255}, {30, 60, 90, 255}, {90, 90, 90, 255}};
    Canvas button(160, 24);
    for (int k = 0; k < 4; ++k) {
        button.Fill(k * 40, 0, k * 40 + 40, 24, Rgba{200, 200, 200, 255});
        button.Fill(k * 40 + 1, 1, k * 40 + 39, 23, states[k]);
    }
    // A nine-grid probe: 4 px corners red, edges green, centre blue.
    Canvas grid(32, 32);
    grid.Fill(0, 0, 32, 32, Rgba{0, 200, 0, 255});
    grid.Fill(4, 4, 28, 28, Rgba{0, 0, 200, 255});
    for (int cx : {0, 28})
        for (int cy : {0, 28}) grid.Fill(cx, cy, cx + 4, cy + 4, Rgba{200, 0, 0, 255});
    // Menu icons: four 16 x 16 states.
    Canvas icon(64, 16);
    for (int k = 0; k < 4; ++k) icon.RoundRect(k * 16 + 2, 2, k * 16 + 14, 14, 3, Rgba{240, 240, 240, 255});
    return WritePng(dir + "/img_tip_bk.png", tip) && WritePng(dir + "/test_button.png", button) &&
           WritePng(dir + "/test_grid.png", grid) && WritePng(dir + "/test_icon.png", icon);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: skingen library|skins OUTDIR\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string dir = argv[2];
    const bool ok = mode == "library" ? Library(dir) : mode == "skins" ? Skins(dir) : false;
    if (!ok) {
        std::fprintf(stderr, "skingen: cannot write %s artwork to %s\n", mode.c_str(), dir.c_str());
        return 1;
    }
    return 0;
}
