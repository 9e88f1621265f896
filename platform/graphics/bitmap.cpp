// Graphics: TGraphic, TBitmap (pixels in a Cairo surface, BMP files), PNG and JPEG pictures,
// loading by signature, and TPicture.
#include <cstring>

#include "classes/streams.h"
#include "graphics/canvas_internal.h"
#include "graphics/resources.h"
#include "rtl/sysutils.h"

namespace vcl {

// ---- TGraphic ----

DBV_IMPLEMENT_CLASS(TGraphic)

void TGraphic::SetTransparent(bool v) {
    if (v == transparent_) return;
    transparent_ = v;
    Changed();
}
void TGraphic::SetModified(bool v) {
    modified_ = v;
    if (v) Changed();
}
void TGraphic::Changed() {
    modified_ = true;
    if (OnChange) OnChange(this);
}
void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream s(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(s);
}
void TGraphic::SaveToFile(const std::string& fileName) {
    TFileStream s(fileName, fmCreate);
    SaveToStream(s);
}

// ---- TBitmap ----

namespace {
class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap* b) : bmp_(b) {}

protected:
    void CreateHandle() override {
        cairo_surface_t* s = gfx::BitmapSurface(bmp_);
        if (!s) return;
        bool indexed = bmp_->GetPixelFormat() == pf1bit || bmp_->GetPixelFormat() == pf4bit ||
                       bmp_->GetPixelFormat() == pf8bit;
        gfx::AttachSurface(this, s, indexed ? &bmp_->GetPaletteColors() : nullptr, {}, nullptr, true);
    }

private:
    TBitmap* bmp_;
};

bool Indexed(TPixelFormat pf) { return pf == pf1bit || pf == pf4bit || pf == pf8bit; }

uint32_t Reduce16(uint32_t p, bool six) {
    uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    auto q = [](uint32_t v, int bits) { return gfx::ExpandBits(v >> (8 - bits), bits); };
    return (p & 0xFF000000u) | q(r, 5) << 16 | q(g, six ? 6 : 5) << 8 | q(b, 5);
}

gfx::TDecodedImage Snapshot(const TBitmap& b) {
    gfx::TDecodedImage d;
    d.width = b.GetWidth();
    d.height = b.GetHeight();
    d.format = b.GetPixelFormat();
    d.palette = b.GetPaletteColors();
    d.pixels.resize(size_t(d.width) * size_t(d.height));
    for (int y = 0; y < d.height; ++y)
        std::memcpy(&d.pixels[size_t(y) * size_t(d.width)], b.ScanLine(y), size_t(d.width) * 4);
    if (d.format != pf32bit)
        for (auto& p : d.pixels) p |= 0xFF000000u;
    return d;
}
}  // namespace

namespace gfx {
cairo_surface_t* BitmapSurface(const TBitmap* b) { return b->GetImage()->surface; }
}  // namespace gfx

void TCanvas::AttachBitmap(TBitmap* bitmap, TPoint origin, const TRect* clip) {
    if (!bitmap || bitmap->GetEmpty()) {
        DetachPixels();
        return;
    }
    bool indexed = Indexed(bitmap->GetPixelFormat());
    gfx::AttachSurface(this, gfx::BitmapSurface(bitmap), indexed ? &bitmap->GetPaletteColors() : nullptr,
                       origin, clip, false);
}

DBV_IMPLEMENT_CLASS(TBitmap)

TBitmap::TBitmap() : img_(new Image) {}

TBitmap::~TBitmap() {
    delete canvas_;
    if (img_->surface) cairo_surface_destroy(img_->surface);
}

int TBitmap::GetWidth() const { return img_->w; }
int TBitmap::GetHeight() const { return img_->h; }
bool TBitmap::GetEmpty() const { return img_->w == 0 || img_->h == 0; }

void TBitmap::Resize(int w, int h) {
    w = std::max(0, w);
    h = std::max(0, h);
    if (w == img_->w && h == img_->h) return;
    if (int64_t(w) * h > (int64_t(1) << 28)) throw EOutOfResources("Out of system resources");
    cairo_surface_t* s = nullptr;
    if (w > 0 && h > 0) {
        s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            throw EOutOfResources("Out of system resources");
        }
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        if (img_->surface) {
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, img_->surface, 0, 0);
            cairo_rectangle(cr, 0, 0, std::min(w, img_->w), std::min(h, img_->h));
            cairo_fill(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(s);
    }
    if (canvas_) canvas_->DetachPixels();
    if (img_->surface) cairo_surface_destroy(img_->surface);
    img_->surface = s;
    img_->w = s ? w : 0;
    img_->h = s ? h : 0;
}

void TBitmap::SetWidth(int v) { SetSize(v, img_->h); }
void TBitmap::SetHeight(int v) { SetSize(img_->w, v); }
void TBitmap::SetSize(int w, int h) {
    if (w == img_->w && h == img_->h) return;
    Resize(w, h);
    Changed();
}

void TBitmap::Changed() { TGraphic::Changed(); }

int TBitmap::StrideBytes() const { return img_->surface ? cairo_image_surface_get_stride(img_->surface) : 0; }
uint32_t* TBitmap::ScanLine(int y) {
    if (!img_->surface || y < 0 || y >= img_->h) throw EInvalidGraphicOperation("Scan line index out of range");
    cairo_surface_flush(img_->surface);
    cairo_surface_mark_dirty(img_->surface);
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(img_->surface) + size_t(y) * size_t(StrideBytes()));
}
const uint32_t* TBitmap::ScanLine(int y) const {
    if (!img_->surface || y < 0 || y >= img_->h) throw EInvalidGraphicOperation("Scan line index out of range");
    cairo_surface_flush(img_->surface);
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(img_->surface) + size_t(y) * size_t(StrideBytes()));
}
TColor TBitmap::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= img_->w || y >= img_->h) return -1;
    return gfx::FromPixel(ScanLine(y)[x]);
}

void TBitmap::SetPixels32(int w, int h, const uint32_t* pixels, TPixelFormat pf) {
    if (img_->surface && (img_->w != w || img_->h != h)) Resize(0, 0);
    Resize(w, h);
    for (int y = 0; y < img_->h; ++y)
        std::memcpy(ScanLine(y), pixels + size_t(y) * size_t(w), size_t(w) * 4);
    format_ = pf;
    if (!Indexed(pf)) palette_.clear();
    else if (palette_.empty()) palette_ = DefaultPalette(pf);
    if (canvas_) canvas_->DetachPixels();
    Changed();
}

void TBitmap::Quantize() {
    if (GetEmpty()) return;
    if (Indexed(format_)) {
        std::unordered_map<uint32_t, uint32_t> cache;
        for (int y = 0; y < img_->h; ++y) {
            uint32_t* row = ScanLine(y);
            for (int x = 0; x < img_->w; ++x) {
                uint32_t p = row[x] & 0xFFFFFF;
                auto it = cache.find(p);
                if (it == cache.end()) {
                    uint32_t q = gfx::ToPixel(palette_[size_t(gfx::NearestIndex(palette_, p))]);
                    it = cache.emplace(p, q).first;
                }
                row[x] = 0xFF000000u | it->second;
            }
        }
    } else if (format_ == pf15bit || format_ == pf16bit) {
        for (int y = 0; y < img_->h; ++y) {
            uint32_t* row = ScanLine(y);
            for (int x = 0; x < img_->w; ++x) row[x] = Reduce16(row[x], format_ == pf16bit);
        }
    }
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
    if (pf == format_) return;
    format_ = pf;
    if (Indexed(pf)) {
        size_t maxColors = pf == pf1bit ? 2 : pf == pf4bit ? 16 : 256;
        if (palette_.empty() || palette_.size() > maxColors) palette_ = DefaultPalette(pf);
    } else {
        palette_.clear();
    }
    Quantize();
    if (canvas_) canvas_->DetachPixels();
    Changed();
}

void TBitmap::SetPaletteColors(const std::vector<TColor>& pal) {
    palette_ = pal;
    if (palette_.size() > 256) palette_.resize(256);
    if (Indexed(format_)) {
        if (palette_.empty()) palette_ = DefaultPalette(format_);
        Quantize();
    }
    if (canvas_) canvas_->DetachPixels();
    Changed();
}

uintptr_t TBitmap::GetPalette() const {
    return palette_.empty() ? 0 : reinterpret_cast<uintptr_t>(&palette_);
}

TCanvas* TBitmap::GetCanvas() {
    if (!canvas_) canvas_ = new TBitmapCanvas(this);
    return canvas_;
}

TColor TBitmap::GetTransparentColor() const {
    if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
    if (GetEmpty()) return clDefault;
    return GetPixel(0, img_->h - 1);
}
void TBitmap::SetTransparentColor(TColor c) {
    transparentColor_ = c;
    transparentMode_ = c == clDefault ? tmAuto : tmFixed;
    Changed();
}
void TBitmap::SetTransparentMode(TTransparentMode m) {
    if (m == transparentMode_) return;
    transparentMode_ = m;
    if (m == tmAuto) transparentColor_ = clDefault;
    else if (transparentColor_ == clDefault) transparentColor_ = GetTransparentColor();
    Changed();
}

void TBitmap::Assign(TPersistent* Source) {
    if (!Source) {
        Resize(0, 0);
        format_ = pfDevice;
        palette_.clear();
        Changed();
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(Source)) {
        if (b == this) return;
        Resize(0, 0);
        Resize(b->GetWidth(), b->GetHeight());
        for (int y = 0; y < img_->h; ++y)
            std::memcpy(ScanLine(y), b->ScanLine(y), size_t(img_->w) * 4);
        format_ = b->format_;
        palette_ = b->palette_;
        ignorePalette_ = b->ignorePalette_;
        transparentColor_ = b->transparentColor_;
        transparentMode_ = b->transparentMode_;
        transparent_ = b->transparent_;
        Changed();
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(Source)) {
        std::unique_ptr<TBitmap> tmp(g->ToBitmap());
        Assign(tmp.get());
        return;
    }
    inherited::Assign(Source);
}

TBitmap* TBitmap::ToBitmap() const {
    auto* b = new TBitmap;
    b->Assign(const_cast<TBitmap*>(this));
    return b;
}

void TBitmap::LoadFromBytes(const void* data, size_t size) {
    gfx::TDecodedImage d;
    gfx::DecodeBmp(static_cast<const uint8_t*>(data), size, d);
    palette_ = d.palette;
    SetPixels32(d.width, d.height, d.pixels.data(), d.format);
    if (Indexed(d.format) && d.palette.empty()) palette_ = DefaultPalette(d.format);
}

void TBitmap::LoadFromStream(TStream& s) {
    // The file header tells the size, so a bitmap embedded in a longer stream reads only itself.
    uint8_t head[14];
    int64_t got = s.Read(head, 14);
    if (got < 14) throw EInvalidGraphic("Bitmap image is not valid");
    uint32_t total = uint32_t(head[2]) | uint32_t(head[3]) << 8 | uint32_t(head[4]) << 16 | uint32_t(head[5]) << 24;
    std::string bytes(reinterpret_cast<char*>(head), 14);
    int64_t rest = s.GetSize() - s.GetPosition();
    if (head[0] == 'B' && head[1] == 'M' && total > 14 && int64_t(total) - 14 <= rest) {
        std::string more(size_t(total - 14), '\0');
        s.ReadBuffer(more.data(), int64_t(more.size()));
        bytes += more;
    } else {
        bytes += s.ReadAll();
    }
    LoadFromBytes(bytes.data(), bytes.size());
}

std::string TBitmap::SaveToBytes() const {
    gfx::TDecodedImage d = Snapshot(*this);
    if (d.format == pfDevice || d.format == pfCustom) d.format = pf24bit;
    return gfx::EncodeBmp(d);
}
void TBitmap::SaveToStream(TStream& s) {
    std::string b = SaveToBytes();
    s.WriteBuffer(b.data(), int64_t(b.size()));
}

std::string TBitmap::SaveToPngBytes() const {
    if (GetEmpty()) throw EInvalidGraphic("Cannot write an empty image");
    gfx::TDecodedImage d = Snapshot(*this);
    return gfx::EncodePng(d, false);
}
void TBitmap::SaveToPngStream(TStream& s) const {
    std::string b = SaveToPngBytes();
    s.WriteBuffer(b.data(), int64_t(b.size()));
}
void TBitmap::SaveToPngFile(const std::string& fileName) const {
    TFileStream s(fileName, fmCreate);
    SaveToPngStream(s);
}

void TBitmap::LoadFromResourceName(HMODULE module, const std::string& name) {
    const TResourceEntry* e = FindResourceEntry(module, name);
    if (!e) throw EResNotFound("Resource " + name + " not found");
    LoadFromBytes(e->Data, e->Size);
}

namespace gfx {
// An ARGB32 copy of a bitmap with the pixels of one colour cleared.
cairo_surface_t* MaskedSurface(const TBitmap& b, uint32_t transparentPixel, bool useAlpha) {
    int w = b.GetWidth(), h = b.GetHeight();
    cairo_surface_t* t = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_surface_flush(t);
    unsigned char* data = cairo_image_surface_get_data(t);
    int st = cairo_image_surface_get_stride(t);
    for (int y = 0; y < h; ++y) {
        const uint32_t* src = b.ScanLine(y);
        auto* dst = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(st));
        for (int x = 0; x < w; ++x) {
            uint32_t p = src[x];
            if (useAlpha) {
                uint32_t a = p >> 24;
                uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, bl = (p & 0xFF) * a / 255;
                dst[x] = a << 24 | r << 16 | g << 8 | bl;
            } else {
                dst[x] = (p & 0xFFFFFF) == transparentPixel ? 0 : (0xFF000000u | (p & 0xFFFFFF));
            }
        }
    }
    cairo_surface_mark_dirty(t);
    return t;
}

void DrawBitmap(TCanvas* canvas, const TBitmap& b, const TRect& r, bool transparent,
                bool useAlpha) {
    if (b.GetEmpty() || IsRectEmpty(r) || !canvas->BeginOp()) return;
    cairo_surface_t* src = BitmapSurface(&b);
    if (transparent || useAlpha) {
        cairo_surface_t* m = MaskedSurface(b, ToPixel(b.GetTransparentColor()), useAlpha);
        PaintSurface(canvas, m, r);
        cairo_surface_destroy(m);
        return;
    }
    bool same = r.Width() == b.GetWidth() && r.Height() == b.GetHeight();
    if (same) {
        PaintSurface(canvas, src, r);
        return;
    }
    bool shrink = r.Width() < b.GetWidth() || r.Height() < b.GetHeight();
    cairo_surface_t* t = CopySurfaceRect(src, TRect{0, 0, b.GetWidth(), b.GetHeight()}, r.Width(), r.Height(), shrink);
    PaintSurface(canvas, t, r);
    cairo_surface_destroy(t);
}
}  // namespace gfx

void TBitmap::Draw(TCanvas* canvas, const TRect& r) {
    gfx::DrawBitmap(canvas, *this, r, GetTransparent(), false);
}

// ---- PNG and JPEG pictures ----

DBV_IMPLEMENT_CLASS(TRasterImage)

TRasterImage::TRasterImage() : bmp_(new TBitmap) {}
TRasterImage::~TRasterImage() { delete bmp_; }
void TRasterImage::Assign(TPersistent* Source) {
    auto* g = dynamic_cast<TGraphic*>(Source);
    if (!g) {
        inherited::Assign(Source);
        return;
    }
    if (&g->ClassType() == &ClassType()) {
        bmp_->Assign(static_cast<TRasterImage*>(g)->bmp_);
    } else {
        std::unique_ptr<TBitmap> b(g->ToBitmap());
        bmp_->Assign(b.get());
    }
    Changed();
}
int TRasterImage::GetWidth() const { return bmp_->GetWidth(); }
int TRasterImage::GetHeight() const { return bmp_->GetHeight(); }
void TRasterImage::SetWidth(int v) { bmp_->SetWidth(v); Changed(); }
void TRasterImage::SetHeight(int v) { bmp_->SetHeight(v); Changed(); }
bool TRasterImage::GetEmpty() const { return bmp_->GetEmpty(); }

DBV_IMPLEMENT_CLASS(TPngImage)

void TPngImage::LoadFromStream(TStream& s) {
    std::string bytes = s.ReadAll();
    gfx::TDecodedImage d;
    gfx::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), d);
    bmp_->SetPixels32(d.width, d.height, d.pixels.data(), pf32bit);
    Changed();
}
void TPngImage::SaveToStream(TStream& s) {
    if (GetEmpty()) throw EInvalidGraphic("Cannot write an empty image");
    gfx::TDecodedImage d = Snapshot(*bmp_);
    std::string b = gfx::EncodePng(d, true);
    s.WriteBuffer(b.data(), int64_t(b.size()));
}
void TPngImage::Draw(TCanvas* canvas, const TRect& r) { gfx::DrawBitmap(canvas, *bmp_, r, false, true); }
TBitmap* TPngImage::ToBitmap() const {
    // Composited over white, as the picture shows on a window.
    auto* b = new TBitmap;
    b->SetSize(GetWidth(), GetHeight());
    if (!GetEmpty()) {
        b->GetCanvas()->GetBrush()->SetColor(clWhite);
        b->GetCanvas()->FillRect({0, 0, GetWidth(), GetHeight()});
        gfx::DrawBitmap(b->GetCanvas(), *bmp_, {0, 0, GetWidth(), GetHeight()}, false, true);
        b->SetPixelFormat(pf24bit);
    }
    return b;
}

DBV_IMPLEMENT_CLASS(TJPEGImage)

void TJPEGImage::Assign(TPersistent* Source) {
    if (auto* j = dynamic_cast<TJPEGImage*>(Source)) Quality = j->Quality;
    inherited::Assign(Source);
}
void TJPEGImage::LoadFromStream(TStream& s) {
    std::string bytes = s.ReadAll();
    gfx::TDecodedImage d;
    gfx::DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), d);
    bmp_->SetPixels32(d.width, d.height, d.pixels.data(), pf24bit);
    Changed();
}
void TJPEGImage::SaveToStream(TStream& s) {
    if (GetEmpty()) throw EInvalidGraphic("Cannot write an empty image");
    std::string b = gfx::EncodeJpeg(Snapshot(*bmp_), Quality);
    s.WriteBuffer(b.data(), int64_t(b.size()));
}
void TJPEGImage::Draw(TCanvas* canvas, const TRect& r) { gfx::DrawBitmap(canvas, *bmp_, r, false, false); }
TBitmap* TJPEGImage::ToBitmap() const {
    auto* b = new TBitmap;
    b->Assign(bmp_);
    return b;
}

// ---- loading by signature ----

TGraphic* LoadGraphicFromBytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    std::unique_ptr<TGraphic> g;
    if (size >= 2 && p[0] == 'B' && p[1] == 'M') g.reset(new TBitmap);
    else if (size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) g.reset(new TPngImage);
    else if (size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) g.reset(new TJPEGImage);
    else throw EInvalidGraphic("Unknown picture format");
    TMemoryStream ms;
    ms.WriteBuffer(data, int64_t(size));
    ms.SetPosition(0);
    g->LoadFromStream(ms);
    g->SetModified(false);
    return g.release();
}

TGraphic* LoadGraphicFromStream(TStream& s) {
    std::string bytes = s.ReadAll();
    return LoadGraphicFromBytes(bytes.data(), bytes.size());
}

// ---- TPicture ----

namespace {
std::vector<TPicture::TAssignHook>& FromHooks() {
    static std::vector<TPicture::TAssignHook> v;
    return v;
}
std::vector<TPicture::TAssignHook>& ToHooks() {
    static std::vector<TPicture::TAssignHook> v;
    return v;
}
}  // namespace

DBV_IMPLEMENT_CLASS(TPicture)

TPicture::TPicture() = default;
TPicture::~TPicture() { delete graphic_; }

void TPicture::RegisterAssignFrom(TAssignHook hook) { FromHooks().push_back(std::move(hook)); }
void TPicture::RegisterAssignTo(TAssignHook hook) { ToHooks().push_back(std::move(hook)); }

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

void TPicture::Adopt(TGraphic* g) {
    if (g == graphic_) return;
    delete graphic_;
    graphic_ = g;
    if (g) g->OnChange = [this](TObject*) { Changed(); };
    Changed();
}

void TPicture::SetGraphic(TGraphic* g) {
    if (!g) { Adopt(nullptr); return; }
    TGraphic* copy = static_cast<TGraphic*>(g->ClassType().CreateInstance());
    try {
        copy->Assign(g);
    } catch (...) {
        copy->Free();
        throw;
    }
    Adopt(copy);
}

TBitmap* TPicture::GetBitmap() {
    if (auto* b = dynamic_cast<TBitmap*>(graphic_)) return b;
    Adopt(new TBitmap);
    return static_cast<TBitmap*>(graphic_);
}

int TPicture::GetWidth() const { return graphic_ ? graphic_->GetWidth() : 0; }
int TPicture::GetHeight() const { return graphic_ ? graphic_->GetHeight() : 0; }

void TPicture::Assign(TPersistent* Source) {
    if (!Source) { Adopt(nullptr); return; }
    if (auto* p = dynamic_cast<TPicture*>(Source)) {
        if (p != this) SetGraphic(p->graphic_);
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(Source)) {
        SetGraphic(g);
        return;
    }
    for (auto& h : FromHooks())
        if (h(this, Source)) return;
    inherited::Assign(Source);
}

void TPicture::AssignTo(TPersistent* Dest) {
    if (auto* g = dynamic_cast<TGraphic*>(Dest)) {
        g->Assign(graphic_);
        return;
    }
    for (auto& h : ToHooks())
        if (h(this, Dest)) return;
    inherited::AssignTo(Dest);
}

void TPicture::LoadFromBytes(const void* data, size_t size) { Adopt(LoadGraphicFromBytes(data, size)); }
void TPicture::LoadFromStream(TStream& s) { Adopt(LoadGraphicFromStream(s)); }

void TPicture::LoadFromFile(const std::string& fileName) {
    std::string bytes = ReadFileBytes(fileName);
    try {
        LoadFromBytes(bytes.data(), bytes.size());
    } catch (const EInvalidGraphic& e) {
        if (std::string(e.what()) != "Unknown picture format") throw;
        std::string ext = LowerCase(ExtractFileExt(fileName));
        if (ext == ".bmp" || ext == ".dib") throw EInvalidGraphic("Bitmap image is not valid");
        if (ext == ".png") throw EInvalidGraphic("PNG image is not valid");
        if (ext == ".jpg" || ext == ".jpeg") throw EInvalidGraphic("JPEG image is not valid");
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    }
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (graphic_) graphic_->SaveToFile(fileName);
}

}  // namespace vcl
