// The canvas: target management, clipping, pens and brushes, shapes, pixels and copies.
// Shapes are drawn without antialiasing (pixel-exact like the platform); one-pixel lines and
// raster-operation modes are drawn pixel by pixel so that XOR drawing is exactly reversible.
#include <cmath>
#include <cstring>

#include "graphics/canvas_internal.h"

namespace vcl {

DBV_IMPLEMENT_CLASS(TCanvas)

namespace {
TCanvasLog*& DefaultLogRef() {
    static TCanvasLog* log = nullptr;
    return log;
}

void SetSourceColor(cairo_t* cr, TColor c) {
    TColor rgb = ColorToRGB(c);
    cairo_set_source_rgb(cr, GetRValue(rgb) / 255.0, GetGValue(rgb) / 255.0, GetBValue(rgb) / 255.0);
}

cairo_region_t* RegionOf(const TRect& r) {
    cairo_rectangle_int_t ri{r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height())};
    return cairo_region_create_rectangle(&ri);
}
}  // namespace

// ---- internal helpers shared by the canvas sources ----
namespace gfx {

uint32_t Rop2(TPenMode m, uint32_t p, uint32_t d) {
    uint32_t r;
    switch (m) {
        case pmBlack: r = 0; break;
        case pmWhite: r = 0xFFFFFF; break;
        case pmNop: r = d; break;
        case pmNot: r = ~d; break;
        case pmCopy: r = p; break;
        case pmNotCopy: r = ~p; break;
        case pmMergePenNot: r = p | ~d; break;
        case pmMaskPenNot: r = p & ~d; break;
        case pmMergeNotPen: r = ~p | d; break;
        case pmMaskNotPen: r = ~p & d; break;
        case pmMerge: r = p | d; break;
        case pmNotMerge: r = ~(p | d); break;
        case pmMask: r = p & d; break;
        case pmNotMask: r = ~(p & d); break;
        case pmXor: r = p ^ d; break;
        case pmNotXor: r = ~(p ^ d); break;
        default: r = p; break;
    }
    return (d & 0xFF000000u) | (r & 0xFFFFFFu);
}

void AttachSurface(TCanvas* c, cairo_surface_t* s, const std::vector<TColor>* palette,
                   TPoint origin, const TRect* clip, bool keepClip) {
    TCanvas::Impl& m = *c->GetImpl();
    if (m.cr) cairo_destroy(m.cr);
    if (m.surface) cairo_surface_destroy(m.surface);
    m.cr = nullptr;
    m.surface = nullptr;
    if (m.baseClip) cairo_region_destroy(m.baseClip);
    m.baseClip = nullptr;
    if (!keepClip && m.userClip) {
        cairo_region_destroy(m.userClip);
        m.userClip = nullptr;
    }
    m.clipDirty = true;
    m.palette = palette ? *palette : std::vector<TColor>{};
    m.origin = origin;
    m.w = m.h = 0;
    if (!s) return;
    m.surface = cairo_surface_reference(s);
    m.cr = cairo_create(s);
    m.w = cairo_image_surface_get_width(s);
    m.h = cairo_image_surface_get_height(s);
    if (clip) m.baseClip = RegionOf(*clip);
}

void UpdateClip(TCanvas::Impl& m) {
    if (!m.clipDirty) return;
    if (m.effClip) cairo_region_destroy(m.effClip);
    m.effClip = RegionOf(TRect{0, 0, m.w, m.h});
    if (m.baseClip) cairo_region_intersect(m.effClip, m.baseClip);
    if (m.userClip) cairo_region_intersect(m.effClip, m.userClip);
    m.clipDirty = false;
    if (!m.cr) return;
    cairo_reset_clip(m.cr);
    cairo_identity_matrix(m.cr);
    int n = cairo_region_num_rectangles(m.effClip);
    if (n == 0) {
        cairo_rectangle(m.cr, 0, 0, 0, 0);
    } else {
        for (int i = 0; i < n; ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(m.effClip, i, &r);
            cairo_rectangle(m.cr, r.x, r.y, r.width, r.height);
        }
    }
    cairo_clip(m.cr);
}

void PrepareCairo(TCanvas::Impl& m) {
    UpdateClip(m);
    cairo_t* cr = m.cr;
    cairo_new_path(cr);
    cairo_identity_matrix(cr);
    cairo_translate(cr, m.origin.X, m.origin.Y);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_line_width(cr, 1);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

PixelScope::PixelScope(TCanvas::Impl& im) : m(im) {
    UpdateClip(m);
    cairo_surface_flush(m.surface);
    data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(m.surface));
    stride = cairo_image_surface_get_stride(m.surface) / 4;
}
PixelScope::~PixelScope() { cairo_surface_mark_dirty(m.surface); }

bool PixelScope::Visible(int dx, int dy) const {
    return dx >= 0 && dy >= 0 && dx < m.w && dy < m.h &&
           cairo_region_contains_point(m.effClip, dx, dy);
}

cairo_surface_t* CopySurfaceRect(cairo_surface_t* src, const TRect& r, int dw, int dh,
                                 bool smooth) {
    cairo_surface_t* t = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(dw, 0), std::max(dh, 0));
    if (dw <= 0 || dh <= 0 || r.Width() == 0 || r.Height() == 0) return t;
    cairo_t* cr = cairo_create(t);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_scale(cr, double(dw) / r.Width(), double(dh) / r.Height());
    cairo_set_source_surface(cr, src, -r.Left, -r.Top);
    cairo_pattern_set_filter(cairo_get_source(cr),
                             smooth && (dw != r.Width() || dh != r.Height()) ? CAIRO_FILTER_GOOD
                                                                             : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(t);
    return t;
}

void PaintSurface(TCanvas* c, cairo_surface_t* img, const TRect& dest) {
    TCanvas::Impl& m = *c->GetImpl();
    PrepareCairo(m);
    cairo_t* cr = m.cr;
    int iw = cairo_image_surface_get_width(img), ih = cairo_image_surface_get_height(img);
    if (iw == 0 || ih == 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, dest.Left, dest.Top, dest.Width(), dest.Height());
    cairo_clip(cr);
    cairo_translate(cr, dest.Left, dest.Top);
    cairo_scale(cr, double(dest.Width()) / iw, double(dest.Height()) / ih);
    cairo_set_source_surface(cr, img, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace gfx

using gfx::PixelScope;

// ---- construction and target ----

TCanvas::TCanvas() : impl_(new Impl), log_(DefaultLogRef()) {
    font_ = new TFont;
    pen_ = new TPen;
    brush_ = new TBrush;
}

TCanvas::~TCanvas() {
    gfx::AttachSurface(this, nullptr, nullptr, {}, nullptr, false);
    if (impl_->effClip) cairo_region_destroy(impl_->effClip);
    for (auto& s : impl_->saved)
        if (s.userClip) cairo_region_destroy(s.userClip);
    delete font_;
    delete pen_;
    delete brush_;
}

void TCanvas::SetDefaultLog(TCanvasLog* log) { DefaultLogRef() = log; }
TCanvasLog* TCanvas::DefaultLog() { return DefaultLogRef(); }

void TCanvas::SetFont(TFont* v) { font_->Assign(v); }
void TCanvas::SetPen(TPen* v) { pen_->Assign(v); }
void TCanvas::SetBrush(TBrush* v) { brush_->Assign(v); }

void TCanvas::AttachPixels(uint32_t* pixels, int width, int height, int strideBytes,
                           TPoint origin, const TRect* clip) {
    if (!pixels || width <= 0 || height <= 0 || strideBytes < width * 4 || strideBytes % 4)
        throw EInvalidOperation("Invalid drawing target");
    cairo_surface_t* s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width, height, strideBytes);
    gfx::AttachSurface(this, s, nullptr, origin, clip, false);
    cairo_surface_destroy(s);
}
void TCanvas::DetachPixels() { gfx::AttachSurface(this, nullptr, nullptr, {}, nullptr, false); }
bool TCanvas::HandleAllocated() const { return impl_->surface != nullptr; }
TPoint TCanvas::DeviceOrigin() const { return impl_->origin; }
TSize TCanvas::TargetSize() const { return {impl_->w, impl_->h}; }

bool TCanvas::BeginOp() {
    if (!impl_->surface) CreateHandle();
    if (!impl_->surface) {
        if (log_) return false;
        throw EInvalidOperation("Canvas does not allow drawing");
    }
    gfx::PrepareCairo(*impl_);
    return true;
}

TCanvasOp TCanvas::MakeOp(TCanvasOpKind k) const {
    TCanvasOp op;
    op.Kind = k;
    op.PenColor = pen_->GetColor();
    op.PenMode = pen_->GetMode();
    op.BrushColor = brush_->GetColor();
    op.BrushStyle = brush_->GetStyle();
    op.FontColor = font_->GetColor();
    op.FontName = font_->GetName();
    op.FontHeight = font_->GetHeight();
    op.FontStyle = font_->GetStyle();
    op.FontOrientation = font_->GetOrientation();
    return op;
}
void TCanvas::Record(const TCanvasOp& op) {
    if (log_ && nest_ == 0) log_->push_back(op);
}

// ---- clipping ----

TRect TCanvas::GetClipRect() const {
    const_cast<TCanvas*>(this)->HandleNeeded();
    Impl& m = *impl_;
    if (!m.surface) {
        if (m.userClip) {
            cairo_rectangle_int_t e;
            cairo_region_get_extents(m.userClip, &e);
            return {e.x - m.origin.X, e.y - m.origin.Y, e.x + e.width - m.origin.X, e.y + e.height - m.origin.Y};
        }
        return {0, 0, 0, 0};
    }
    gfx::UpdateClip(m);
    cairo_rectangle_int_t e;
    cairo_region_get_extents(m.effClip, &e);
    return {e.x - m.origin.X, e.y - m.origin.Y, e.x + e.width - m.origin.X, e.y + e.height - m.origin.Y};
}

static TRect ToDevice(const TCanvas::Impl& m, TRect r) {
    OffsetRect(r, m.origin.X, m.origin.Y);
    return r;
}

void TCanvas::SetClipRect(const TRect& r) {
    if (impl_->userClip) cairo_region_destroy(impl_->userClip);
    impl_->userClip = RegionOf(ToDevice(*impl_, r));
    impl_->clipDirty = true;
}
void TCanvas::IntersectClipRect(const TRect& r) {
    if (!impl_->userClip) { SetClipRect(r); return; }
    cairo_region_t* x = RegionOf(ToDevice(*impl_, r));
    cairo_region_intersect(impl_->userClip, x);
    cairo_region_destroy(x);
    impl_->clipDirty = true;
}
void TCanvas::ExcludeClipRect(const TRect& r) {
    if (!impl_->userClip) impl_->userClip = RegionOf(TRect{-32768, -32768, 32767, 32767});
    cairo_region_t* x = RegionOf(ToDevice(*impl_, r));
    cairo_region_subtract(impl_->userClip, x);
    cairo_region_destroy(x);
    impl_->clipDirty = true;
}
void TCanvas::ResetClipRect() {
    if (impl_->userClip) cairo_region_destroy(impl_->userClip);
    impl_->userClip = nullptr;
    impl_->clipDirty = true;
}
bool TCanvas::PtVisible(int x, int y) const {
    const_cast<TCanvas*>(this)->HandleNeeded();
    Impl& m = *impl_;
    if (!m.surface) return false;
    gfx::UpdateClip(m);
    return cairo_region_contains_point(m.effClip, x + m.origin.X, y + m.origin.Y);
}

int TCanvas::SaveState() {
    Impl::Saved s;
    s.userClip = impl_->userClip ? cairo_region_copy(impl_->userClip) : nullptr;
    s.penPos = penPos_;
    s.lf = font_->LogFont();
    s.fs = font_->GetStyle();
    s.fontColor = font_->GetColor();
    s.penColor = pen_->GetColor();
    s.penWidth = pen_->GetWidth();
    s.penStyle = pen_->GetStyle();
    s.penMode = pen_->GetMode();
    s.brushColor = brush_->GetColor();
    s.brushStyle = brush_->GetStyle();
    impl_->saved.push_back(s);
    return int(impl_->saved.size());
}
void TCanvas::RestoreState(int level) {
    auto& st = impl_->saved;
    if (st.empty()) return;
    size_t keep = level < 0 ? st.size() - 1 : size_t(std::max(0, level - 1));
    if (keep >= st.size()) return;
    while (st.size() > keep + 1) {
        if (st.back().userClip) cairo_region_destroy(st.back().userClip);
        st.pop_back();
    }
    Impl::Saved s = st.back();
    st.pop_back();
    if (impl_->userClip) cairo_region_destroy(impl_->userClip);
    impl_->userClip = s.userClip;
    impl_->clipDirty = true;
    penPos_ = s.penPos;
    TLogFont lf = s.lf;
    lf.Weight = FW_NORMAL;
    lf.Italic = lf.Underline = lf.StrikeOut = false;
    font_->SetHandle(CreateFontIndirect(lf));
    font_->SetStyle(s.fs);
    font_->SetColor(s.fontColor);
    pen_->SetColor(s.penColor);
    pen_->SetWidth(s.penWidth);
    pen_->SetStyle(s.penStyle);
    pen_->SetMode(s.penMode);
    brush_->SetColor(s.brushColor);
    brush_->SetStyle(s.brushStyle);
}

// ---- pixels ----

TColor TCanvas::GetPixels(int x, int y) const {
    Impl& m = *impl_;
    if (!m.surface) const_cast<TCanvas*>(this)->CreateHandle();
    if (!m.surface) return -1;
    int dx = x + m.origin.X, dy = y + m.origin.Y;
    if (dx < 0 || dy < 0 || dx >= m.w || dy >= m.h) return -1;
    cairo_surface_flush(m.surface);
    const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(m.surface) +
                                                        size_t(dy) * cairo_image_surface_get_stride(m.surface));
    return gfx::FromPixel(row[dx]);
}

void TCanvas::SetPixels(int x, int y, TColor c) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckPixel);
        op.Pt = {x, y};
        op.Rect = Bounds(x, y, 1, 1);
        op.PenColor = c;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp()) return;
    PixelScope px(*impl_);
    int dx = x + impl_->origin.X, dy = y + impl_->origin.Y;
    if (px.Visible(dx, dy)) px.At(dx, dy) = gfx::ToPixel(c);
}

// ---- lines ----

namespace {
// Dash patterns of one-pixel pens: on, off, on, off ...
const std::vector<int>& DashPattern(TPenStyle s) {
    static const std::vector<int> solid{}, dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6},
        dashDotDot{9, 3, 3, 3, 3, 3};
    switch (s) {
        case psDash: return dash;
        case psDot: return dot;
        case psDashDot: return dashDot;
        case psDashDotDot: return dashDotDot;
        default: return solid;
    }
}
bool DashOn(const std::vector<int>& pat, int pos) {
    if (pat.empty()) return true;
    int total = 0;
    for (int v : pat) total += v;
    pos %= total;
    for (size_t i = 0; i < pat.size(); ++i) {
        if (pos < pat[i]) return i % 2 == 0;
        pos -= pat[i];
    }
    return true;
}
}  // namespace

void TCanvas::LinePixels(int x0, int y0, int x1, int y1, int& dashPos) {
    Impl& m = *impl_;
    if (pen_->GetWidth() > 1) {
        // Wide pens: a round-capped stroke.
        TColor c = pen_->GetColor();
        cairo_t* cr = m.cr;
        gfx::PrepareCairo(m);
        cairo_set_line_width(cr, pen_->GetWidth());
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
        cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
        if (pen_->GetMode() == pmCopy) {
            SetSourceColor(cr, c);
            cairo_stroke(cr);
        } else {
            gfx::RopPath(*this, c, pen_->GetMode(), /*stroke=*/true);
        }
        return;
    }
    const auto& pat = DashPattern(pen_->GetStyle());
    uint32_t pc = gfx::ToPixel(pen_->GetColor());
    TPenMode mode = pen_->GetMode();
    PixelScope px(m);
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int x = x0, y = y0;
    while (!(x == x1 && y == y1)) {
        if (DashOn(pat, dashPos)) {
            int ddx = x + m.origin.X, ddy = y + m.origin.Y;
            if (px.Visible(ddx, ddy)) {
                uint32_t& d = px.At(ddx, ddy);
                d = gfx::Rop2(mode, pc, d);
            }
        }
        ++dashPos;
        int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
}

void TCanvas::PolyLinePixels(const std::vector<TPoint>& pts, bool closed) {
    if (pen_->GetStyle() == psClear || pts.empty()) return;
    int dash = 0;
    if (pen_->GetWidth() > 1) {
        Impl& m = *impl_;
        gfx::PrepareCairo(m);
        cairo_t* cr = m.cr;
        cairo_set_line_width(cr, pen_->GetWidth());
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, pts[0].X + 0.5, pts[0].Y + 0.5);
        for (size_t i = 1; i < pts.size(); ++i) cairo_line_to(cr, pts[i].X + 0.5, pts[i].Y + 0.5);
        if (closed) cairo_close_path(cr);
        if (pen_->GetMode() == pmCopy) {
            SetSourceColor(cr, pen_->GetColor());
            cairo_stroke(cr);
        } else {
            gfx::RopPath(*this, pen_->GetColor(), pen_->GetMode(), true);
        }
        return;
    }
    for (size_t i = 1; i < pts.size(); ++i)
        LinePixels(pts[i - 1].X, pts[i - 1].Y, pts[i].X, pts[i].Y, dash);
    if (closed && pts.size() > 1)
        LinePixels(pts.back().X, pts.back().Y, pts[0].X, pts[0].Y, dash);
}

void TCanvas::MoveTo(int x, int y) { penPos_ = {x, y}; }

void TCanvas::LineTo(int x, int y) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckLine);
        op.Pt = penPos_;
        op.Points = {penPos_, {x, y}};
        op.Rect = {std::min(penPos_.X, x), std::min(penPos_.Y, y), std::max(penPos_.X, x) + 1,
                   std::max(penPos_.Y, y) + 1};
        Record(op);
    }
    Nest n(this);
    TPoint from = penPos_;
    penPos_ = {x, y};
    if (!BeginOp() || pen_->GetStyle() == psClear) return;
    int dash = 0;
    LinePixels(from.X, from.Y, x, y, dash);
}

static TRect BoundsOf(const std::vector<TPoint>& pts) {
    if (pts.empty()) return {};
    TRect r{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
    for (auto p : pts) {
        r.Left = std::min(r.Left, p.X); r.Top = std::min(r.Top, p.Y);
        r.Right = std::max(r.Right, p.X); r.Bottom = std::max(r.Bottom, p.Y);
    }
    r.Right++; r.Bottom++;
    return r;
}

void TCanvas::Polyline(const std::vector<TPoint>& pts) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckPolyline);
        op.Points = pts;
        op.Rect = BoundsOf(pts);
        Record(op);
    }
    Nest n(this);
    if (!pts.empty()) penPos_ = pts.back();
    if (!BeginOp()) return;
    PolyLinePixels(pts, false);
}

// ---- fills ----

namespace gfx {

// An 8x8 hatch as an A8 mask, aligned to the device origin.
static cairo_pattern_t* HatchPattern(TBrushStyle s) {
    cairo_surface_t* m = cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8);
    cairo_surface_flush(m);
    unsigned char* d = cairo_image_surface_get_data(m);
    int st = cairo_image_surface_get_stride(m);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            bool on = false;
            switch (s) {
                case bsHorizontal: on = y == 7; break;
                case bsVertical: on = x == 7; break;
                case bsFDiagonal: on = x == y; break;
                case bsBDiagonal: on = x == 7 - y; break;
                case bsCross: on = x == 7 || y == 7; break;
                case bsDiagCross: on = x == y || x == 7 - y; break;
                default: on = true;
            }
            d[y * st + x] = on ? 255 : 0;
        }
    cairo_surface_mark_dirty(m);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(m);
    cairo_surface_destroy(m);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
    return p;
}

void RopPath(TCanvas& c, TColor color, TPenMode mode, bool stroke) {
    TCanvas::Impl& m = *c.GetImpl();
    cairo_t* cr = m.cr;
    cairo_path_t* path = cairo_copy_path(cr);
    double lw = cairo_get_line_width(cr);
    cairo_new_path(cr);
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, m.w, m.h);
    cairo_t* mc = cairo_create(mask);
    cairo_set_antialias(mc, CAIRO_ANTIALIAS_NONE);
    cairo_translate(mc, m.origin.X, m.origin.Y);
    cairo_append_path(mc, path);
    cairo_set_line_width(mc, lw);
    if (stroke) cairo_stroke(mc); else cairo_fill(mc);
    cairo_destroy(mc);
    cairo_path_destroy(path);
    cairo_surface_flush(mask);
    const unsigned char* md = cairo_image_surface_get_data(mask);
    int ms = cairo_image_surface_get_stride(mask);
    uint32_t pc = ToPixel(color);
    {
        PixelScope px(m);
        int n = cairo_region_num_rectangles(m.effClip);
        for (int i = 0; i < n; ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(m.effClip, i, &r);
            for (int y = r.y; y < r.y + r.height; ++y)
                for (int x = r.x; x < r.x + r.width; ++x)
                    if (md[y * ms + x] >= 128) px.At(x, y) = Rop2(mode, pc, px.At(x, y));
        }
    }
    cairo_surface_destroy(mask);
}

// Fills the current path with the canvas brush (hatches included); raster-operation modes of
// the pen apply to the fill as on the platform.
void FillPath(TCanvas& c) {
    TCanvas::Impl& m = *c.GetImpl();
    TBrush* b = c.GetBrush();
    cairo_t* cr = m.cr;
    if (b->GetStyle() == bsClear) { cairo_new_path(cr); return; }
    TPenMode mode = c.GetPen()->GetMode();
    if (mode != pmCopy) { RopPath(c, b->GetColor(), mode, false); return; }
    SetSourceColor(cr, b->GetColor());
    if (b->GetStyle() == bsSolid) {
        cairo_fill(cr);
        return;
    }
    cairo_save(cr);
    cairo_clip(cr);
    cairo_pattern_t* p = HatchPattern(b->GetStyle());
    cairo_matrix_t pm;
    cairo_matrix_init_translate(&pm, m.origin.X, m.origin.Y);
    cairo_pattern_set_matrix(p, &pm);
    cairo_mask(cr, p);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

// A rectangle of pixels with a raster operation (device clip applies).
void RopRect(TCanvas::Impl& m, const TRect& logical, uint32_t pc, TPenMode mode) {
    TRect d = ToDevice(m, logical);
    PixelScope px(m);
    int n = cairo_region_num_rectangles(m.effClip);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(m.effClip, i, &r);
        TRect cr{r.x, r.y, r.x + r.width, r.y + r.height}, x;
        if (!IntersectRect(x, cr, d)) continue;
        for (int y = x.Top; y < x.Bottom; ++y)
            for (int xx = x.Left; xx < x.Right; ++xx) px.At(xx, y) = Rop2(mode, pc, px.At(xx, y));
    }
}

}  // namespace gfx

static TRect Normalized(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

void TCanvas::FillRect(const TRect& r) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckFillRect);
        op.Rect = r;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || IsRectEmpty(r) || brush_->GetStyle() == bsClear) return;
    cairo_rectangle(impl_->cr, r.Left, r.Top, r.Width(), r.Height());
    // FillRect ignores the pen's mode.
    TPenMode keep = pen_->GetMode();
    if (keep != pmCopy) {
        cairo_new_path(impl_->cr);
        gfx::RopRect(*impl_, r, gfx::ToPixel(brush_->GetColor()), pmCopy);
        return;
    }
    gfx::FillPath(*this);
}

void TCanvas::FrameRect(const TRect& r) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckFrameRect);
        op.Rect = r;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || IsRectEmpty(r)) return;
    uint32_t c = gfx::ToPixel(brush_->GetColor());
    gfx::RopRect(*impl_, {r.Left, r.Top, r.Right, r.Top + 1}, c, pmCopy);
    gfx::RopRect(*impl_, {r.Left, r.Bottom - 1, r.Right, r.Bottom}, c, pmCopy);
    gfx::RopRect(*impl_, {r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1}, c, pmCopy);
    gfx::RopRect(*impl_, {r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1}, c, pmCopy);
}

void TCanvas::DrawFocusRect(const TRect& r) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckFocusRect);
        op.Rect = r;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || IsRectEmpty(r)) return;
    Impl& m = *impl_;
    PixelScope px(m);
    auto flip = [&](int x, int y) {
        int dx = x + m.origin.X, dy = y + m.origin.Y;
        if (((dx + dy) & 1) == 0 && px.Visible(dx, dy)) px.At(dx, dy) ^= 0xFFFFFF;
    };
    for (int x = r.Left; x < r.Right; ++x) {
        flip(x, r.Top);
        if (r.Bottom - 1 > r.Top) flip(x, r.Bottom - 1);
    }
    for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
        flip(r.Left, y);
        if (r.Right - 1 > r.Left) flip(r.Right - 1, y);
    }
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    TRect r = Normalized(x1, y1, x2, y2);
    if (Logging()) {
        TCanvasOp op = MakeOp(ckRectangle);
        op.Rect = r;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || IsRectEmpty(r)) return;
    bool pen = pen_->GetStyle() != psClear;
    if (brush_->GetStyle() != bsClear) {
        TRect f = pen ? TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}
                      : TRect{r.Left, r.Top, r.Right - 1, r.Bottom - 1};
        if (!IsRectEmpty(f)) {
            cairo_rectangle(impl_->cr, f.Left, f.Top, f.Width(), f.Height());
            gfx::FillPath(*this);
        }
    }
    if (!pen) return;
    int w = pen_->GetWidth();
    if (w <= 1) {
        PolyLinePixels({{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1},
                        {r.Left, r.Bottom - 1}}, true);
        return;
    }
    // Wide pens stay inside the rectangle.
    uint32_t pc = gfx::ToPixel(pen_->GetColor());
    TPenMode mode = pen_->GetMode();
    w = std::min(w, std::min(r.Width(), r.Height()) / 2 + 1);
    gfx::RopRect(*impl_, {r.Left, r.Top, r.Right, r.Top + w}, pc, mode);
    gfx::RopRect(*impl_, {r.Left, r.Bottom - w, r.Right, r.Bottom}, pc, mode);
    gfx::RopRect(*impl_, {r.Left, r.Top + w, r.Left + w, r.Bottom - w}, pc, mode);
    gfx::RopRect(*impl_, {r.Right - w, r.Top + w, r.Right, r.Bottom - w}, pc, mode);
}

namespace {
void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    if (rx <= 0 || ry <= 0) return;
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}
void RoundRectPath(cairo_t* cr, double x1, double y1, double x2, double y2, double rx, double ry) {
    rx = std::min(rx, (x2 - x1) / 2);
    ry = std::min(ry, (y2 - y1) / 2);
    if (rx <= 0 || ry <= 0) { cairo_rectangle(cr, x1, y1, x2 - x1, y2 - y1); return; }
    auto corner = [&](double cx, double cy, double a0) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, a0, a0 + M_PI / 2);
        cairo_restore(cr);
    };
    cairo_new_sub_path(cr);
    corner(x2 - rx, y1 + ry, -M_PI / 2);
    corner(x2 - rx, y2 - ry, 0);
    corner(x1 + rx, y2 - ry, M_PI / 2);
    corner(x1 + rx, y1 + ry, M_PI);
    cairo_close_path(cr);
}
}  // namespace

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    TRect r = Normalized(x1, y1, x2, y2);
    if (Logging()) {
        TCanvasOp op = MakeOp(ckEllipse);
        op.Rect = r;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || IsRectEmpty(r)) return;
    cairo_t* cr = impl_->cr;
    double cx = (r.Left + r.Right) / 2.0, cy = (r.Top + r.Bottom) / 2.0;
    EllipsePath(cr, cx, cy, r.Width() / 2.0, r.Height() / 2.0);
    gfx::FillPath(*this);
    if (pen_->GetStyle() == psClear) return;
    double w = std::max(1, pen_->GetWidth());
    EllipsePath(cr, cx, cy, (r.Width() - w) / 2.0, (r.Height() - w) / 2.0);
    cairo_set_line_width(cr, w);
    if (pen_->GetMode() == pmCopy) {
        SetSourceColor(cr, pen_->GetColor());
        cairo_stroke(cr);
    } else {
        gfx::RopPath(*this, pen_->GetColor(), pen_->GetMode(), true);
    }
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int cx, int cy) {
    TRect r = Normalized(x1, y1, x2, y2);
    if (Logging()) {
        TCanvasOp op = MakeOp(ckRoundRect);
        op.Rect = r;
        op.Pt = {cx, cy};
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || IsRectEmpty(r)) return;
    cairo_t* cr = impl_->cr;
    RoundRectPath(cr, r.Left, r.Top, r.Right, r.Bottom, cx / 2.0, cy / 2.0);
    gfx::FillPath(*this);
    if (pen_->GetStyle() == psClear) return;
    double w = std::max(1, pen_->GetWidth());
    RoundRectPath(cr, r.Left + w / 2, r.Top + w / 2, r.Right - w / 2, r.Bottom - w / 2,
                  (cx - w) / 2.0, (cy - w) / 2.0);
    cairo_set_line_width(cr, w);
    if (pen_->GetMode() == pmCopy) {
        SetSourceColor(cr, pen_->GetColor());
        cairo_stroke(cr);
    } else {
        gfx::RopPath(*this, pen_->GetColor(), pen_->GetMode(), true);
    }
}

void TCanvas::Polygon(const std::vector<TPoint>& pts) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckPolygon);
        op.Points = pts;
        op.Rect = BoundsOf(pts);
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || pts.size() < 2) return;
    cairo_t* cr = impl_->cr;
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_move_to(cr, pts[0].X + 0.5, pts[0].Y + 0.5);
    for (size_t i = 1; i < pts.size(); ++i) cairo_line_to(cr, pts[i].X + 0.5, pts[i].Y + 0.5);
    cairo_close_path(cr);
    gfx::FillPath(*this);
    PolyLinePixels(pts, true);
}

// ---- copies ----

void TCanvas::CopyRect(const TRect& dest, TCanvas* source, const TRect& src) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckCopyRect);
        op.Rect = dest;
        op.Flags = copyMode_;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || !source || IsRectEmpty(dest)) return;
    if (!source->impl_->surface) source->CreateHandle();
    if (!source->impl_->surface) return;
    TRect s = src;
    OffsetRect(s, source->impl_->origin.X, source->impl_->origin.Y);
    cairo_surface_t* tmp = gfx::CopySurfaceRect(source->impl_->surface, s, dest.Width(), dest.Height(), false);
    if (copyMode_ == cmSrcCopy) {
        gfx::PaintSurface(this, tmp, dest);
    } else {
        Impl& m = *impl_;
        TRect d = ToDevice(m, dest);
        const auto* sd = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(tmp));
        int ss = cairo_image_surface_get_stride(tmp) / 4;
        PixelScope px(m);
        for (int y = d.Top; y < d.Bottom; ++y)
            for (int x = d.Left; x < d.Right; ++x) {
                if (!px.Visible(x, y)) continue;
                uint32_t S = sd[(y - d.Top) * ss + (x - d.Left)], D = px.At(x, y), R;
                switch (copyMode_) {
                    case cmSrcAnd: R = S & D; break;
                    case cmSrcPaint: R = S | D; break;
                    case cmSrcInvert: R = S ^ D; break;
                    case cmNotSrcCopy: R = ~S; break;
                    case cmDstInvert: R = ~D; break;
                    case cmBlackness: R = 0; break;
                    case cmWhiteness: R = 0xFFFFFF; break;
                    case cmMergePaint: R = ~S | D; break;
                    case cmNotSrcErase: R = ~(S | D); break;
                    case cmSrcErase: R = S & ~D; break;
                    default: R = S; break;
                }
                px.At(x, y) = (D & 0xFF000000u) | (R & 0xFFFFFF);
            }
    }
    cairo_surface_destroy(tmp);
}

void TCanvas::BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& src, TColor transparent) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckBrushCopy);
        op.Rect = dest;
        op.PenColor = transparent;
        Record(op);
    }
    Nest n(this);
    if (!BeginOp() || !bitmap || bitmap->GetEmpty() || IsRectEmpty(dest)) return;
    cairo_surface_t* tmp = gfx::CopySurfaceRect(gfx::BitmapSurface(bitmap), src, dest.Width(), dest.Height(), false);
    uint32_t tp = gfx::ToPixel(transparent), bp = gfx::ToPixel(brush_->GetColor());
    Impl& m = *impl_;
    TRect d = ToDevice(m, dest);
    const auto* sd = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(tmp));
    int ss = cairo_image_surface_get_stride(tmp) / 4;
    {
        PixelScope px(m);
        for (int y = d.Top; y < d.Bottom; ++y)
            for (int x = d.Left; x < d.Right; ++x) {
                if (!px.Visible(x, y)) continue;
                uint32_t S = sd[(y - d.Top) * ss + (x - d.Left)] & 0xFFFFFF;
                px.At(x, y) = 0xFF000000u | (S == tp ? bp : S);
            }
    }
    cairo_surface_destroy(tmp);
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || graphic->GetEmpty()) return;
    if (Logging()) {
        TCanvasOp op = MakeOp(ckDraw);
        op.Rect = Bounds(x, y, graphic->GetWidth(), graphic->GetHeight());
        op.Text = graphic->ClassName();
        Record(op);
    }
    Nest n(this);
    graphic->Draw(this, Bounds(x, y, graphic->GetWidth(), graphic->GetHeight()));
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
    if (!graphic || graphic->GetEmpty()) return;
    if (Logging()) {
        TCanvasOp op = MakeOp(ckStretchDraw);
        op.Rect = r;
        op.Text = graphic->ClassName();
        Record(op);
    }
    Nest n(this);
    graphic->Draw(this, r);
}

}  // namespace vcl
