// Fonts: TFont, face-name mapping to font files, FreeType faces realised through Cairo, metrics.
#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <tuple>

#include "graphics/gfx_internal.h"
#include "rtl/sysutils.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TGraphicsObject)

void TGraphicsObject::Changed() {
    if (OnChange) OnChange(this);
}

// ---- face mapping ----

namespace {
enum Family { famSans, famSerif, famMono };

Family FamilyOf(std::string_view face, TFontPitch pitch) {
    static const char* const serif[] = {"Times New Roman", "Times", "MS Serif", "Serif",
                                        "Georgia", "Book Antiqua", "Garamond", "Liberation Serif",
                                        "DejaVu Serif", "Roman", "Century Schoolbook"};
    static const char* const mono[] = {"Courier New", "Courier", "Fixedsys", "Terminal",
                                       "Lucida Console", "Consolas", "Monospace",
                                       "Liberation Mono", "DejaVu Sans Mono", "FixedSys"};
    static const char* const sans[] = {"MS Sans Serif", "Arial", "Helvetica", "Tahoma",
                                       "Verdana", "System", "Segoe UI", "Microsoft Sans Serif",
                                       "Small Fonts", "Liberation Sans", "DejaVu Sans", "Sans",
                                       "Arial Narrow", "Default"};
    for (auto* n : serif) if (SameText(face, n)) return famSerif;
    for (auto* n : mono) if (SameText(face, n)) return famMono;
    for (auto* n : sans) if (SameText(face, n)) return famSans;
    return pitch == fpFixed ? famMono : famSans;
}

bool IsFile(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> FontDirs() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("DBVANTOR_FONT_DIR"); env && *env) dirs.push_back(env);
    dirs.push_back("/usr/share/fonts/truetype/liberation");
    dirs.push_back("/usr/share/fonts/truetype/liberation2");
    dirs.push_back("/usr/share/fonts/truetype/dejavu");
    return dirs;
}

std::string FindFile(const std::vector<std::string>& names) {
    static const std::vector<std::string> dirs = FontDirs();
    for (const auto& n : names)
        for (const auto& d : dirs) {
            std::string p = d + "/" + n;
            if (IsFile(p)) return p;
        }
    return {};
}
}  // namespace

std::string MapFontFile(std::string_view faceName, bool bold, bool italic, TFontPitch pitch) {
    // Measuring text asks for this often: remember each answer (the files do not move).
    static std::map<std::string, std::string> memo;
    std::string key = LowerCase(faceName) + char('0' + bold) + char('0' + italic) + char('0' + int(pitch));
    if (auto it = memo.find(key); it != memo.end()) return it->second;
    Family f = FamilyOf(faceName, pitch);
    static const char* const lib[3] = {"LiberationSans", "LiberationSerif", "LiberationMono"};
    static const char* const dv[3] = {"DejaVuSans", "DejaVuSerif", "DejaVuSansMono"};
    std::string libStyle = bold && italic ? "-BoldItalic" : bold ? "-Bold" : italic ? "-Italic" : "-Regular";
    std::string dvStyle;
    if (f == famSerif)
        dvStyle = bold && italic ? "-BoldItalic" : bold ? "-Bold" : italic ? "-Italic" : "";
    else
        dvStyle = bold && italic ? "-BoldOblique" : bold ? "-Bold" : italic ? "-Oblique" : "";
    std::string p = FindFile({std::string(lib[f]) + libStyle + ".ttf", std::string(dv[f]) + dvStyle + ".ttf",
                              std::string(lib[f]) + "-Regular.ttf", std::string(dv[f]) + ".ttf",
                              "LiberationSans-Regular.ttf", "DejaVuSans.ttf"});
    if (p.empty()) throw EOutOfResources("No usable font file found");
    memo.emplace(key, p);
    return p;
}

// ---- realised fonts ----

namespace gfx {

const cairo_font_options_t* FontOptions() {
    static cairo_font_options_t* o = [] {
        cairo_font_options_t* f = cairo_font_options_create();
        cairo_font_options_set_antialias(f, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(f, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(f, CAIRO_HINT_METRICS_ON);
        cairo_font_options_set_subpixel_order(f, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        return f;
    }();
    return o;
}

namespace {
FT_Library Library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) throw EOutOfResources("Cannot start the font engine");
        return l;
    }();
    return lib;
}

struct FaceEntry {
    FT_Face ft = nullptr;
    cairo_font_face_t* cairo = nullptr;
};

FaceEntry& FaceFor(const std::string& file) {
    static std::map<std::string, FaceEntry> faces;
    auto it = faces.find(file);
    if (it != faces.end()) return it->second;
    FaceEntry e;
    if (FT_New_Face(Library(), file.c_str(), 0, &e.ft) != 0)
        throw EOutOfResources("Cannot load font file " + file);
    e.cairo = cairo_ft_font_face_create_for_ft_face(e.ft, 0);
    return faces.emplace(file, e).first->second;
}

int CeilPx(double v) { return int(std::ceil(v - 1e-6)); }
}  // namespace

const TRealFont::Glyph& TRealFont::GlyphFor(uint32_t cp) const {
    auto it = glyphs.find(cp);
    if (it != glyphs.end()) return it->second;
    FT_Face f = static_cast<FT_Face>(ftFace);
    unsigned long idx = FT_Get_Char_Index(f, cp);
    cairo_glyph_t g{idx, 0, 0};
    cairo_text_extents_t ext;
    cairo_scaled_font_glyph_extents(scaled, &g, 1, &ext);
    Glyph gl{idx, int(std::lround(ext.x_advance))};
    return glyphs.emplace(cp, gl).first->second;
}

const TRealFont& RealizeFont(const TLogFont& lf) {
    struct Key {
        std::string file;
        int height;
        bool ul, so;
        bool operator<(const Key& o) const {
            return std::tie(file, height, ul, so) < std::tie(o.file, o.height, o.ul, o.so);
        }
    };
    static std::map<Key, std::unique_ptr<TRealFont>> cache;
    bool bold = lf.Weight >= 600, italic = lf.Italic;
    std::string file = MapFontFile(lf.FaceName, bold, italic, lf.Pitch);
    Key k{file, lf.Height, lf.Underline, lf.StrikeOut};
    auto it = cache.find(k);
    if (it != cache.end()) return *it->second;

    FaceEntry& fe = FaceFor(file);
    FT_Face f = fe.ft;
    auto rf = std::make_unique<TRealFont>();
    rf->face = fe.cairo;
    rf->ftFace = f;
    rf->bold = bold;
    rf->italic = italic;
    rf->fixedPitch = FT_IS_FIXED_WIDTH(f);
    double upem = f->units_per_EM ? f->units_per_EM : 2048;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    double asc = os2 && os2->usWinAscent ? os2->usWinAscent : f->ascender;
    double desc = os2 && os2->usWinDescent ? os2->usWinDescent : -f->descender;
    double em;
    if (lf.Height < 0) em = -lf.Height;
    else if (lf.Height > 0) em = lf.Height * upem / (asc + desc);
    else em = 13;
    rf->pixelSize = em;
    double s = em / upem;
    rf->ascent = CeilPx(asc * s);
    rf->descent = CeilPx(desc * s);
    rf->height = rf->ascent + rf->descent;
    rf->internalLeading = std::max(0, rf->height - int(std::lround(em)));
    rf->aveCharWidth = std::max(1, int(std::lround((os2 ? os2->xAvgCharWidth : upem / 2) * s)));
    rf->maxCharWidth = CeilPx(f->max_advance_width * s);
    rf->underlineThickness = std::max(1, int(std::lround(f->underline_thickness * s)));
    rf->underlinePos = std::max(1, int(std::lround(-f->underline_position * s)));
    rf->strikePos = os2 ? int(std::lround(os2->yStrikeoutPosition * s)) : rf->ascent / 3;

    cairo_matrix_t fm, ctm;
    cairo_matrix_init_scale(&fm, em, em);
    cairo_matrix_init_identity(&ctm);
    rf->scaled = cairo_scaled_font_create(fe.cairo, &fm, &ctm, FontOptions());
    if (cairo_scaled_font_status(rf->scaled) != CAIRO_STATUS_SUCCESS)
        throw EOutOfResources("Cannot create font " + lf.FaceName);
    return *cache.emplace(k, std::move(rf)).first->second;
}

uint32_t NextCodepoint(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    auto cont = [&](size_t k) {
        return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto at = [&](size_t k) { return uint32_t(static_cast<unsigned char>(s[i + k]) & 0x3F); };
    uint32_t cp;
    if (c < 0x80) { cp = c; i += 1; }
    else if ((c & 0xE0) == 0xC0 && cont(1)) { cp = ((c & 0x1Fu) << 6) | at(1); i += 2; }
    else if ((c & 0xF0) == 0xE0 && cont(1) && cont(2)) {
        cp = ((c & 0x0Fu) << 12) | (at(1) << 6) | at(2); i += 3;
    } else if ((c & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
        cp = ((c & 0x07u) << 18) | (at(1) << 12) | (at(2) << 6) | at(3); i += 4;
    } else { cp = 0xFFFD; i += 1; }
    return cp;
}

}  // namespace gfx

// ---- logical fonts ----

namespace {
std::vector<TLogFont>& LogFonts() {
    static std::vector<TLogFont> v;
    return v;
}
}  // namespace

HFONT CreateFontIndirect(const TLogFont& lf) {
    auto& v = LogFonts();
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] == lf) return HFONT(i + 1);
    v.push_back(lf);
    return HFONT(v.size());
}
bool GetLogFont(HFONT h, TLogFont& lf) {
    auto& v = LogFonts();
    if (h == 0 || h > v.size()) return false;
    lf = v[h - 1];
    return true;
}

// ---- TFont ----

DBV_PUBLISHED(TFont) {
    b.Int("Charset", &TFont::GetCharset, &TFont::SetCharset, DEFAULT_CHARSET);
    ColorProp(b, "Color", &TFont::GetColor, &TFont::SetColor, clWindowText);
    b.Int("Height", &TFont::GetHeight, &TFont::SetHeight, -11);
    b.String("Name", &TFont::GetName, &TFont::SetName, "TFontName");
    b.Enum("Pitch", &TFont::GetPitch, &TFont::SetPitch, fpDefault);
    b.Int("Size", &TFont::GetSize, &TFont::SetSize, 8).NeverStored();
    b.Set("Style", "TFontStyles", &TFont::GetStyle, &TFont::SetStyle);
}

TFont::TFont() : color_(clWindowText) {
    lf_.FaceName = "MS Sans Serif";
    lf_.Height = -11;
}

void TFont::Assign(TPersistent* Source) {
    if (auto* f = dynamic_cast<TFont*>(Source)) {
        if (f == this) return;
        lf_ = f->lf_;
        style_ = f->style_;
        color_ = f->color_;
        Changed();
        return;
    }
    inherited::Assign(Source);
}

void TFont::SetName(const std::string& v) {
    if (v.empty() || v == lf_.FaceName) return;
    lf_.FaceName = v;
    Changed();
}
void TFont::SetHeight(int v) {
    if (v == lf_.Height) return;
    lf_.Height = v;
    Changed();
}
// MulDiv rounding: half away from zero.
static int MulDivRound(int a, int b, int c) {
    long long p = (long long)a * b;
    long long q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
    return int(q);
}
int TFont::GetSize() const { return -MulDivRound(lf_.Height, 72, PixelsPerInch()); }
void TFont::SetSize(int points) { SetHeight(-MulDivRound(points, PixelsPerInch(), 72)); }
void TFont::SetStyle(TFontStyles v) {
    if (v == style_) return;
    style_ = v;
    Changed();
}
void TFont::SetColor(TColor v) {
    if (v == color_) return;
    color_ = v;
    Changed();
}
void TFont::SetPitch(TFontPitch v) {
    if (v == lf_.Pitch) return;
    lf_.Pitch = v;
    Changed();
}
void TFont::SetOrientation(int v) {
    if (v == lf_.Escapement) return;
    lf_.Escapement = v;
    lf_.Orientation = v;
    Changed();
}
void TFont::SetCharset(int v) {
    if (v == lf_.CharSet) return;
    lf_.CharSet = v;
    Changed();
}
TLogFont TFont::LogFont() const {
    TLogFont lf = lf_;
    lf.Weight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.Italic = style_.Contains(fsItalic);
    lf.Underline = style_.Contains(fsUnderline);
    lf.StrikeOut = style_.Contains(fsStrikeOut);
    return lf;
}
HFONT TFont::GetHandle() const { return CreateFontIndirect(LogFont()); }
void TFont::SetHandle(HFONT h) {
    TLogFont lf;
    if (!GetLogFont(h, lf)) return;
    TFontStyles st;
    if (lf.Weight >= 600) st.Include(fsBold);
    if (lf.Italic) st.Include(fsItalic);
    if (lf.Underline) st.Include(fsUnderline);
    if (lf.StrikeOut) st.Include(fsStrikeOut);
    lf_ = lf;
    lf_.Weight = FW_NORMAL;
    lf_.Italic = lf_.Underline = lf_.StrikeOut = false;
    if (lf_.FaceName.empty()) lf_.FaceName = "MS Sans Serif";
    style_ = st;
    Changed();
}
std::string TFont::FontFile() const {
    TLogFont lf = LogFont();
    return MapFontFile(lf.FaceName, lf.Weight >= 600, lf.Italic, lf.Pitch);
}

static TTextMetric MetricsOf(const gfx::TRealFont& rf, const TLogFont& lf) {
    TTextMetric m;
    m.tmHeight = rf.height;
    m.tmAscent = rf.ascent;
    m.tmDescent = rf.descent;
    m.tmInternalLeading = rf.internalLeading;
    m.tmExternalLeading = 0;
    m.tmAveCharWidth = rf.aveCharWidth;
    m.tmMaxCharWidth = rf.maxCharWidth;
    m.tmWeight = lf.Weight;
    m.tmItalic = lf.Italic;
    m.tmUnderlined = lf.Underline;
    m.tmStruckOut = lf.StrikeOut;
    m.tmPitchAndFamily = uint8_t(TMPF_TRUETYPE | (rf.fixedPitch ? 0 : TMPF_FIXED_PITCH));
    return m;
}

TTextMetric TFont::Metrics() const {
    TLogFont lf = LogFont();
    return MetricsOf(gfx::RealizeFont(lf), lf);
}

TFont* SystemFont() {
    static TFont* f = [] {
        auto* font = new TFont;  // lives for the process
        font->SetName("System");
        font->SetHeight(16);
        font->SetStyle({fsBold});
        font->SetColor(clWindowText);
        return font;
    }();
    return f;
}
TTextMetric GetSystemFontMetrics() { return SystemFont()->Metrics(); }

// ---- TPen, TBrush ----

DBV_PUBLISHED(TPen) {
    ColorProp(b, "Color", &TPen::GetColor, &TPen::SetColor, clBlack);
    b.Enum("Mode", &TPen::GetMode, &TPen::SetMode, pmCopy);
    b.Enum("Style", &TPen::GetStyle, &TPen::SetStyle, psSolid);
    b.Int("Width", &TPen::GetWidth, &TPen::SetWidth, 1);
}
void TPen::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TPen*>(Source)) {
        color_ = p->color_; width_ = p->width_; style_ = p->style_; mode_ = p->mode_;
        Changed();
        return;
    }
    inherited::Assign(Source);
}
void TPen::SetColor(TColor v) { if (v != color_) { color_ = v; Changed(); } }
void TPen::SetWidth(int v) { if (v < 0) v = 0; if (v != width_) { width_ = v; Changed(); } }
void TPen::SetStyle(TPenStyle v) { if (v != style_) { style_ = v; Changed(); } }
void TPen::SetMode(TPenMode v) { if (v != mode_) { mode_ = v; Changed(); } }

DBV_PUBLISHED(TBrush) {
    ColorProp(b, "Color", &TBrush::GetColor, &TBrush::SetColor, clWhite);
    b.Enum("Style", &TBrush::GetStyle, &TBrush::SetStyle, bsSolid);
}
void TBrush::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TBrush*>(Source)) {
        color_ = p->color_; style_ = p->style_;
        Changed();
        return;
    }
    inherited::Assign(Source);
}
void TBrush::SetColor(TColor v) {
    if (v == color_ && style_ != bsClear) return;
    color_ = v;
    if (style_ == bsClear) style_ = bsSolid;
    Changed();
}
void TBrush::SetStyle(TBrushStyle v) { if (v != style_) { style_ = v; Changed(); } }

}  // namespace vcl
