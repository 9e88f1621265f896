// Image lists.
#include "graphics/imglist.h"

#include "graphics/canvas_internal.h"

namespace vcl {

DBV_PUBLISHED(TCustomImageList) {
    ColorProp(b, "BkColor", &TCustomImageList::GetBkColor, &TCustomImageList::SetBkColor, clNone);
    b.Enum("DrawingStyle", &TCustomImageList::GetDrawingStyle, &TCustomImageList::SetDrawingStyle, dsNormal);
    b.Int("Height", &TCustomImageList::GetHeight, &TCustomImageList::SetHeight, 16);
    b.Enum("ImageType", &TCustomImageList::GetImageType, &TCustomImageList::SetImageType, itImage);
    b.Bool("Masked", &TCustomImageList::GetMasked, &TCustomImageList::SetMasked, true);
    b.Int("Width", &TCustomImageList::GetWidth, &TCustomImageList::SetWidth, 16);
}
DBV_IMPLEMENT_CLASS(TImageList)

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
TCustomImageList::TCustomImageList(TComponent* AOwner, int width, int height)
    : TComponent(AOwner), width_(std::max(1, width)), height_(std::max(1, height)) {}

void TCustomImageList::Change() {
    if (OnChange) OnChange(this);
}

void TCustomImageList::SetSize(int w, int h) {
    w = std::max(1, w);
    h = std::max(1, h);
    if (w == width_ && h == height_) return;
    width_ = w;
    height_ = h;
    images_.clear();
    Change();
}
void TCustomImageList::SetBkColor(TColor c) {
    if (c == bkColor_) return;
    bkColor_ = c;
    Change();
}
void TCustomImageList::SetDrawingStyle(TDrawingStyle s) {
    if (s == drawingStyle_) return;
    drawingStyle_ = s;
    Change();
}

void TCustomImageList::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount()) throw EInvalidOperation("Invalid ImageList Index");
}

void TCustomImageList::AddFrom(TBitmap* image, const std::vector<uint8_t>& mask, int cells, int at) {
    int bw = image->GetWidth(), bh = image->GetHeight();
    std::vector<Img> add(static_cast<size_t>(cells));
    for (int c = 0; c < cells; ++c) {
        Img& im = add[size_t(c)];
        im.px.assign(size_t(width_) * size_t(height_), 0);
        im.mask.assign(size_t(width_) * size_t(height_), 1);
        for (int y = 0; y < std::min(height_, bh); ++y) {
            const uint32_t* row = image->ScanLine(y);
            for (int x = 0; x < width_; ++x) {
                int sx = c * width_ + x;
                if (sx >= bw) break;
                size_t i = size_t(y) * size_t(width_) + size_t(x);
                bool transparent = masked_ && mask[size_t(y) * size_t(bw) + size_t(sx)];
                im.mask[i] = transparent ? 1 : 0;
                im.px[i] = transparent ? 0 : (row[sx] & 0xFFFFFF);
            }
        }
    }
    images_.insert(images_.begin() + at, add.begin(), add.end());
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
    if (!image || image->GetEmpty()) throw EInvalidOperation("Invalid image size");
    int cells = image->GetWidth() / width_;
    if (cells < 1) throw EInvalidOperation("Invalid image size");
    int bw = image->GetWidth(), bh = image->GetHeight();
    std::vector<uint8_t> m(size_t(bw) * size_t(bh), 0);
    if (mask && !mask->GetEmpty())
        for (int y = 0; y < bh && y < mask->GetHeight(); ++y)
            for (int x = 0; x < bw && x < mask->GetWidth(); ++x)
                m[size_t(y) * size_t(bw) + size_t(x)] = (mask->GetPixel(x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
    int first = GetCount();
    AddFrom(image, m, cells, first);
    Change();
    return first;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
    if (!image || image->GetEmpty()) throw EInvalidOperation("Invalid image size");
    int cells = image->GetWidth() / width_;
    if (cells < 1) throw EInvalidOperation("Invalid image size");
    if (maskColor == clDefault) maskColor = image->GetTransparentColor();
    uint32_t mp = gfx::ToPixel(maskColor) & 0xFFFFFF;
    int bw = image->GetWidth(), bh = image->GetHeight();
    std::vector<uint8_t> m(size_t(bw) * size_t(bh), 0);
    for (int y = 0; y < bh; ++y) {
        const uint32_t* row = image->ScanLine(y);
        for (int x = 0; x < bw; ++x) m[size_t(y) * size_t(bw) + size_t(x)] = (row[x] & 0xFFFFFF) == mp ? 1 : 0;
    }
    int first = GetCount();
    AddFrom(image, m, cells, first);
    Change();
    return first;
}

void TCustomImageList::Replace(int index, TBitmap* image, TBitmap* mask) {
    CheckIndex(index);
    auto tmp = MakeOwned<TCustomImageList>(nullptr, width_, height_);
    tmp->masked_ = masked_;
    tmp->Add(image, mask);
    images_[size_t(index)] = tmp->images_[0];
    Change();
}

void TCustomImageList::Delete(int index) {
    CheckIndex(index);
    images_.erase(images_.begin() + index);
    Change();
}
void TCustomImageList::Clear() {
    images_.clear();
    Change();
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
    Draw(canvas, x, y, index, drawingStyle_, imageType_, enabled);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style,
                            TImageType type, bool enabled) {
    if (!canvas || index < 0 || index >= GetCount()) return;
    if (canvas->Logging()) {
        TCanvasOp op = canvas->MakeOp(ckImageList);
        op.Rect = Bounds(x, y, width_, height_);
        op.Flags = uint32_t(index);
        op.BrushColor = bkColor_;
        op.Text = enabled ? "enabled" : "disabled";
        canvas->Record(op);
    }
    TCanvas::Nest nest(canvas);
    if (!canvas->BeginOp()) return;
    const Img& im = images_[size_t(index)];
    bool keepBackground = style == dsTransparent || bkColor_ == clNone || !masked_;
    uint32_t bk = gfx::ToPixel(bkColor_ == clNone ? clWhite : bkColor_);
    cairo_surface_t* t = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    cairo_surface_flush(t);
    auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(t));
    int st = cairo_image_surface_get_stride(t) / 4;
    auto set = [&](int xx, int yy, uint32_t rgb) { data[yy * st + xx] = 0xFF000000u | rgb; };
    for (int yy = 0; yy < height_; ++yy)
        for (int xx = 0; xx < width_; ++xx) data[yy * st + xx] = 0;
    if (type == itMask) {
        for (int yy = 0; yy < height_; ++yy)
            for (int xx = 0; xx < width_; ++xx)
                set(xx, yy, im.mask[size_t(yy * width_ + xx)] ? 0xFFFFFF : 0);
    } else if (!enabled) {
        // Embossed: the darker pixels of the image in the highlight colour one pixel down
        // and right, then in the shadow colour.
        uint32_t hi = gfx::ToPixel(clBtnHighlight), sh = gfx::ToPixel(clBtnShadow);
        if (!keepBackground)
            for (int yy = 0; yy < height_; ++yy)
                for (int xx = 0; xx < width_; ++xx) set(xx, yy, bk);
        auto dark = [&](int xx, int yy) {
            size_t i = size_t(yy * width_ + xx);
            if (im.mask[i]) return false;
            uint32_t p = im.px[i];
            int lum = (int((p >> 16) & 0xFF) * 30 + int((p >> 8) & 0xFF) * 59 + int(p & 0xFF) * 11) / 100;
            return lum < 192;
        };
        for (int yy = 0; yy < height_; ++yy)
            for (int xx = 0; xx < width_; ++xx)
                if (xx + 1 < width_ && yy + 1 < height_ && dark(xx, yy)) set(xx + 1, yy + 1, hi);
        for (int yy = 0; yy < height_; ++yy)
            for (int xx = 0; xx < width_; ++xx)
                if (dark(xx, yy)) set(xx, yy, sh);
    } else {
        TColor blend = blendColor_ == clNone ? clHighlight : blendColor_;
        uint32_t bl = gfx::ToPixel(blend);
        int pct = style == dsSelected ? 50 : style == dsFocus ? 25 : 0;
        for (int yy = 0; yy < height_; ++yy)
            for (int xx = 0; xx < width_; ++xx) {
                size_t i = size_t(yy * width_ + xx);
                if (im.mask[i]) {
                    if (!keepBackground) set(xx, yy, bk);
                    continue;
                }
                uint32_t p = im.px[i];
                if (pct) {
                    auto mix = [&](int sh) {
                        int a = int((p >> sh) & 0xFF), b = int((bl >> sh) & 0xFF);
                        return uint32_t((a * (100 - pct) + b * pct) / 100) << sh;
                    };
                    p = mix(16) | mix(8) | mix(0);
                }
                set(xx, yy, p);
            }
    }
    cairo_surface_mark_dirty(t);
    gfx::PaintSurface(canvas, t, Bounds(x, y, width_, height_));
    cairo_surface_destroy(t);
}

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
    CheckIndex(index);
    if (!image) return;
    image->SetSize(width_, height_);
    TCanvas* c = image->GetCanvas();
    c->GetBrush()->SetColor(bkColor_ == clNone ? clWhite : bkColor_);
    c->FillRect({0, 0, width_, height_});
    Draw(c, 0, 0, index, dsTransparent, itImage, true);
}

}  // namespace vcl
