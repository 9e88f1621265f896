// Internals shared by the graphics sources (Cairo and FreeType types). Not for other areas.
#pragma once
#include <cairo.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "graphics/graphics.h"

namespace vcl {

struct TBitmap::Image {
    cairo_surface_t* surface = nullptr;  // CAIRO_FORMAT_RGB24, never null once created
    int w = 0, h = 0;
};

struct TCanvas::Impl {
    cairo_surface_t* surface = nullptr;  // the target (owned reference)
    cairo_t* cr = nullptr;
    int w = 0, h = 0;
    TPoint origin;
    cairo_region_t* baseClip = nullptr;  // device coordinates, null = the whole target
    cairo_region_t* userClip = nullptr;  // device coordinates, null = no clip
    cairo_region_t* effClip = nullptr;   // intersection of the above with the target
    bool clipDirty = true;
    std::vector<TColor> palette;  // palette of a palette bitmap target (a copy)
    struct Saved {
        cairo_region_t* userClip;
        TPoint penPos;
        TLogFont lf;
        TFontStyles fs;
        TColor fontColor;
        TColor penColor, brushColor;
        int penWidth;
        TPenStyle penStyle;
        TPenMode penMode;
        TBrushStyle brushStyle;
    };
    std::vector<Saved> saved;
};

namespace gfx {

inline uint32_t ToPixel(TColor c) {
    uint32_t v = uint32_t(ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}
inline TColor FromPixel(uint32_t p) {
    return TColor(((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16));
}

// A realised font: FreeType face through Cairo, with metrics in whole pixels.
struct TRealFont {
    cairo_font_face_t* face = nullptr;
    cairo_scaled_font_t* scaled = nullptr;
    void* ftFace = nullptr;  // FT_Face
    double pixelSize = 0;
    int ascent = 0, descent = 0, height = 0, internalLeading = 0, aveCharWidth = 0,
        maxCharWidth = 0;
    int underlinePos = 0, underlineThickness = 1, strikePos = 0;
    bool bold = false, italic = false, fixedPitch = false;
    struct Glyph { unsigned long index; int advance; };
    mutable std::unordered_map<uint32_t, Glyph> glyphs;
    const Glyph& GlyphFor(uint32_t codepoint) const;
};
const TRealFont& RealizeFont(const TLogFont& lf);

// Cairo font options every text operation uses (fixed hinting and antialiasing).
const cairo_font_options_t* FontOptions();

// Decodes one UTF-8 code point at s[i], advancing i; invalid bytes give U+FFFD.
uint32_t NextCodepoint(std::string_view s, size_t& i);

// Pixels of a decoded or to-be-encoded image: 0xAARRGGBB, top-down.
struct TDecodedImage {
    int width = 0, height = 0;
    TPixelFormat format = pf24bit;
    std::vector<TColor> palette;
    std::vector<uint32_t> pixels;
    bool topDown = false;  // how the file stored its rows (informational)
};
// Raise EInvalidGraphic "Bitmap image is not valid" on anything malformed.
void DecodeBmp(const uint8_t* data, size_t size, TDecodedImage& out);
std::string EncodeBmp(const TDecodedImage& img);
void DecodePng(const uint8_t* data, size_t size, TDecodedImage& out);
std::string EncodePng(const TDecodedImage& img, bool alpha);
void DecodeJpeg(const uint8_t* data, size_t size, TDecodedImage& out);
std::string EncodeJpeg(const TDecodedImage& img, int quality);

// A channel of `bits` bits widened to eight bits by bit repetition.
uint32_t ExpandBits(uint32_t x, int bits);

// Nearest palette entry (exact matches first).
int NearestIndex(const std::vector<TColor>& pal, uint32_t rgbPixel);

cairo_surface_t* BitmapSurface(const TBitmap* b);

}  // namespace gfx
}  // namespace vcl
