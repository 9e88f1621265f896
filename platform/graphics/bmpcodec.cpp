// The BMP codec: reads the file header with the core (OS/2 1.x), OS/2 2.x and every Windows
// info header version; 1/4/8/16/24/32 bits, RLE4/RLE8, bit fields, both row orders. Every
// read is bounds-checked; anything malformed or truncated raises EInvalidGraphic.
#include <cstring>
#include <unordered_map>

#include "graphics/gfx_internal.h"

namespace vcl::gfx {

// A channel value of `bits` bits widened to eight by repeating its bits (31 -> 255, 16 -> 132).
uint32_t ExpandBits(uint32_t x, int bits) {
    if (bits <= 0) return 0;
    if (bits >= 8) return (x >> (bits - 8)) & 0xFF;
    uint32_t r = 0;
    int shift = 8 - bits;
    while (shift > -bits) {
        r |= shift >= 0 ? x << shift : x >> -shift;
        shift -= bits;
    }
    return r & 0xFF;
}

namespace {

[[noreturn]] void Bad() { throw EInvalidGraphic("Bitmap image is not valid"); }

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;
constexpr int64_t kMaxPixels = int64_t(1) << 26;
constexpr int64_t kMaxSide = 32767;  // the largest surface Cairo makes

struct Bytes {
    const uint8_t* d;
    size_t n;
    uint8_t u8(size_t o) const { if (o >= n) Bad(); return d[o]; }
    uint16_t u16(size_t o) const {
        if (o > n || n - o < 2) Bad();
        return uint16_t(d[o] | (d[o + 1] << 8));
    }
    uint32_t u32(size_t o) const {
        if (o > n || n - o < 4) Bad();
        return uint32_t(d[o]) | (uint32_t(d[o + 1]) << 8) | (uint32_t(d[o + 2]) << 16) |
               (uint32_t(d[o + 3]) << 24);
    }
};

// A channel described by a bit mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
    }
    uint32_t Get(uint32_t v) const {
        if (!mask) return 0;
        return ExpandBits((v & mask) >> shift, __builtin_popcount(max));
    }
};

bool Contiguous(uint32_t m) {
    if (!m) return true;
    while (!(m & 1)) m >>= 1;
    return (m & (m + 1)) == 0;
}

}  // namespace

void DecodeBmp(const uint8_t* data, size_t size, TDecodedImage& out) {
    Bytes b{data, size};
    if (size < 26 || data[0] != 'B' || data[1] != 'M') Bad();
    uint32_t offBits = b.u32(10);
    uint32_t hs = b.u32(14);
    bool windowsHeader = hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124;
    bool core = hs == 12;
    bool os2v2 = !windowsHeader && !core && hs >= 16 && hs <= 64;
    if (!windowsHeader && !core && !os2v2) Bad();
    if (size_t(14) + hs > size) Bad();

    int64_t w, h;
    unsigned bpp;
    uint32_t comp = BI_RGB, clrUsed = 0;
    size_t palEntry;
    if (core) {
        w = b.u16(18);
        h = int16_t(b.u16(20));
        bpp = b.u16(24);
        palEntry = 3;
    } else {
        w = int32_t(b.u32(18));
        h = int32_t(b.u32(22));
        bpp = b.u16(28);
        if (hs >= 20) comp = b.u32(30);
        if (hs >= 36) clrUsed = b.u32(46);
        palEntry = 4;
        // OS/2 2.x numbers its compressions differently beyond RLE (Huffman, RLE24).
        if (os2v2 && comp >= 3) Bad();
    }
    bool topDown = h < 0;
    if (topDown) h = -h;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) Bad();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Bad();
    switch (comp) {
        case BI_RGB: break;
        case BI_RLE8: if (bpp != 8) Bad(); break;
        case BI_RLE4: if (bpp != 4) Bad(); break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS: if (bpp != 16 && bpp != 32) Bad(); break;
        default: Bad();
    }

    // Bit masks.
    size_t pos = 14 + hs;
    uint32_t rm = 0, gm = 0, bm = 0, am = 0;
    if (comp == BI_BITFIELDS || comp == BI_ALPHABITFIELDS) {
        if (hs >= 52) {
            rm = b.u32(54); gm = b.u32(58); bm = b.u32(62);
            if (hs >= 56) am = b.u32(66);
        } else {
            rm = b.u32(pos); gm = b.u32(pos + 4); bm = b.u32(pos + 8);
            pos += 12;
            if (comp == BI_ALPHABITFIELDS) { am = b.u32(pos); pos += 4; }
        }
        if (!Contiguous(rm) || !Contiguous(gm) || !Contiguous(bm) || !Contiguous(am)) Bad();
    } else if (bpp == 16) {
        rm = 0x7C00; gm = 0x03E0; bm = 0x001F;
    } else if (bpp == 32) {
        rm = 0x00FF0000; gm = 0x0000FF00; bm = 0x000000FF; am = 0xFF000000;
    }

    // Palette.
    out.palette.clear();
    if (bpp <= 8) {
        uint32_t maxColors = 1u << bpp;
        uint32_t n = clrUsed ? clrUsed : maxColors;
        if (n > 256) Bad();
        if (n > maxColors) n = maxColors;
        if (pos + size_t(n) * palEntry > size) Bad();
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* p = data + pos + i * palEntry;
            out.palette.push_back(RGB(p[2], p[1], p[0]));
        }
        pos += size_t(n) * palEntry;
    }
    if (offBits == 0) offBits = uint32_t(pos);
    if (offBits < 14 + hs || offBits >= size) Bad();

    const size_t W = size_t(w), H = size_t(h);
    out.width = int(w);
    out.height = int(h);
    out.topDown = topDown;
    out.pixels.assign(W * H, 0);
    auto palColor = [&](unsigned idx) -> uint32_t {
        if (idx >= out.palette.size()) return 0;
        TColor c = out.palette[idx];
        return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | uint32_t(GetBValue(c));
    };

    if (comp == BI_RLE8 || comp == BI_RLE4) {
        bool rle4 = comp == BI_RLE4;
        // Pixels the runs leave out show palette entry 0.
        uint32_t bg = palColor(0);
        std::fill(out.pixels.begin(), out.pixels.end(), bg);
        size_t p = offBits;
        size_t x = 0, y = 0;  // y counts rows in file order
        auto put = [&](unsigned idx) {
            if (x < W && y < H) {
                size_t row = topDown ? y : H - 1 - y;
                out.pixels[row * W + x] = palColor(idx);
            }
            ++x;
        };
        bool done = false;
        while (!done) {
            if (p + 2 > size) {
                if (y >= H) break;  // every row is there; only the end marker is missing
                Bad();
            }
            uint8_t c = data[p], v = data[p + 1];
            p += 2;
            if (c > 0) {
                for (unsigned i = 0; i < c && x <= W; ++i)
                    put(rle4 ? ((i & 1) ? (v & 0x0F) : (v >> 4)) : v);
                continue;
            }
            switch (v) {
                case 0: x = 0; ++y; break;
                case 1: done = true; break;
                case 2:
                    if (p + 2 > size) Bad();
                    x += data[p];
                    y += data[p + 1];
                    p += 2;
                    break;
                default: {
                    size_t nbytes = rle4 ? (size_t(v) + 1) / 2 : size_t(v);
                    size_t padded = (nbytes + 1) & ~size_t(1);
                    if (p + padded > size) Bad();
                    for (unsigned i = 0; i < v; ++i) {
                        uint8_t byte = data[p + (rle4 ? i / 2 : i)];
                        put(rle4 ? ((i & 1) ? (byte & 0x0F) : (byte >> 4)) : byte);
                    }
                    p += padded;
                }
            }
            if (y > H) break;
        }
    } else {
        size_t rowBits = W * bpp;
        size_t stride = ((rowBits + 31) / 32) * 4;
        size_t lastRow = (rowBits + 7) / 8;
        if (offBits + stride * (H - 1) + lastRow > size) Bad();
        Channel cr(rm), cg(gm), cb(bm), ca(am);
        for (size_t fy = 0; fy < H; ++fy) {
            const uint8_t* row = data + offBits + fy * stride;
            uint32_t* dst = &out.pixels[(topDown ? fy : H - 1 - fy) * W];
            for (size_t x = 0; x < W; ++x) {
                switch (bpp) {
                    case 1: dst[x] = palColor((row[x >> 3] >> (7 - (x & 7))) & 1); break;
                    case 4: dst[x] = palColor((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)); break;
                    case 8: dst[x] = palColor(row[x]); break;
                    case 16: {
                        uint32_t v = uint32_t(row[2 * x] | (row[2 * x + 1] << 8));
                        dst[x] = cr.Get(v) << 16 | cg.Get(v) << 8 | cb.Get(v);
                        break;
                    }
                    case 24:
                        dst[x] = uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
                        break;
                    case 32: {
                        const uint8_t* q = row + 4 * x;
                        uint32_t v = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16 | uint32_t(q[3]) << 24;
                        dst[x] = ca.Get(v) << 24 | cr.Get(v) << 16 | cg.Get(v) << 8 | cb.Get(v);
                        break;
                    }
                }
            }
        }
    }
    switch (bpp) {
        case 1: out.format = pf1bit; break;
        case 4: out.format = pf4bit; break;
        case 8: out.format = pf8bit; break;
        case 16: out.format = (rm == 0xF800 && gm == 0x07E0 && bm == 0x001F) ? pf16bit : pf15bit; break;
        case 24: out.format = pf24bit; break;
        default: out.format = pf32bit; break;
    }
}

namespace {
void Put16(std::string& s, uint16_t v) { s.push_back(char(v & 0xFF)); s.push_back(char(v >> 8)); }
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}
}  // namespace

std::string EncodeBmp(const TDecodedImage& img) {
    unsigned bpp;
    uint32_t comp = BI_RGB;
    switch (img.format) {
        case pf1bit: bpp = 1; break;
        case pf4bit: bpp = 4; break;
        case pf8bit: bpp = 8; break;
        case pf15bit: bpp = 16; break;
        case pf16bit: bpp = 16; comp = BI_BITFIELDS; break;
        case pf32bit: bpp = 32; break;
        default: bpp = 24; break;
    }
    std::vector<TColor> pal;
    if (bpp <= 8) {
        pal = img.palette.empty() ? DefaultPalette(img.format) : img.palette;
        if (pal.size() > (1u << bpp)) pal.resize(1u << bpp);
        if (pal.empty()) pal.push_back(clBlack);
    }
    const size_t W = size_t(std::max(img.width, 0)), H = size_t(std::max(img.height, 0));
    size_t stride = ((W * bpp + 31) / 32) * 4;
    size_t masks = comp == BI_BITFIELDS ? 12 : 0;
    size_t off = 14 + 40 + masks + pal.size() * 4;
    size_t total = off + stride * H;
    std::string s;
    s.reserve(total);
    s += "BM";
    Put32(s, uint32_t(total));
    Put32(s, 0);
    Put32(s, uint32_t(off));
    Put32(s, 40);
    Put32(s, uint32_t(W));
    Put32(s, uint32_t(H));
    Put16(s, 1);
    Put16(s, uint16_t(bpp));
    Put32(s, comp);
    Put32(s, uint32_t(stride * H));
    Put32(s, 3780);  // 96 dpi
    Put32(s, 3780);
    Put32(s, uint32_t(pal.size()));
    Put32(s, 0);
    if (masks) { Put32(s, 0xF800); Put32(s, 0x07E0); Put32(s, 0x001F); }
    for (TColor c : pal) {
        s.push_back(char(GetBValue(c)));
        s.push_back(char(GetGValue(c)));
        s.push_back(char(GetRValue(c)));
        s.push_back(0);
    }
    std::unordered_map<uint32_t, uint8_t> cache;
    auto index = [&](uint32_t px) -> unsigned {
        px &= 0xFFFFFF;
        auto it = cache.find(px);
        if (it != cache.end()) return it->second;
        uint8_t i = uint8_t(NearestIndex(pal, px));
        cache.emplace(px, i);
        return i;
    };
    std::string row(stride, '\0');
    for (size_t fy = 0; fy < H; ++fy) {
        const uint32_t* src = &img.pixels[(H - 1 - fy) * W];
        std::fill(row.begin(), row.end(), '\0');
        auto* r = reinterpret_cast<uint8_t*>(row.data());
        for (size_t x = 0; x < W; ++x) {
            uint32_t p = src[x];
            uint32_t R = (p >> 16) & 0xFF, G = (p >> 8) & 0xFF, B = p & 0xFF;
            switch (bpp) {
                case 1: r[x >> 3] |= uint8_t((index(p) & 1) << (7 - (x & 7))); break;
                case 4: r[x >> 1] |= uint8_t((x & 1) ? (index(p) & 0x0F) : (index(p) << 4)); break;
                case 8: r[x] = uint8_t(index(p)); break;
                case 16: {
                    uint16_t v = comp == BI_BITFIELDS
                                     ? uint16_t(((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3))
                                     : uint16_t(((R >> 3) << 10) | ((G >> 3) << 5) | (B >> 3));
                    r[2 * x] = uint8_t(v & 0xFF);
                    r[2 * x + 1] = uint8_t(v >> 8);
                    break;
                }
                case 24: r[3 * x] = uint8_t(B); r[3 * x + 1] = uint8_t(G); r[3 * x + 2] = uint8_t(R); break;
                case 32:
                    r[4 * x] = uint8_t(B); r[4 * x + 1] = uint8_t(G); r[4 * x + 2] = uint8_t(R);
                    r[4 * x + 3] = uint8_t(p >> 24);
                    break;
            }
        }
        s += row;
    }
    return s;
}

}  // namespace vcl::gfx
