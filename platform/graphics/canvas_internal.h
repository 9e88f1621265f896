// Canvas internals shared by the canvas, text, frame and image sources.
#pragma once
#include <algorithm>

#include "graphics/gfx_internal.h"

namespace vcl::gfx {

// The bitwise result of a pen mode for pen colour p over destination d (RGB bits).
uint32_t Rop2(TPenMode m, uint32_t p, uint32_t d);

// keepClip: the canvas' own clip survives (a bitmap canvas attaching lazily).
void AttachSurface(TCanvas* c, cairo_surface_t* s, const std::vector<TColor>* palette,
                   TPoint origin, const TRect* clip, bool keepClip);
void UpdateClip(TCanvas::Impl& m);
// Clip applied, canvas coordinates, no antialiasing, operator OVER, empty path.
void PrepareCairo(TCanvas::Impl& m);

// Direct access to the target's pixels (flush on entry, mark dirty on exit). Coordinates are
// device pixels.
struct PixelScope {
    explicit PixelScope(TCanvas::Impl& m);
    ~PixelScope();
    PixelScope(const PixelScope&) = delete;
    bool Visible(int dx, int dy) const;
    uint32_t& At(int dx, int dy) { return data[size_t(dy) * size_t(stride) + size_t(dx)]; }
    TCanvas::Impl& m;
    uint32_t* data;
    int stride;
};

// A new RGB24 surface of dw x dh holding rectangle r of src, scaled (nearest, or smooth).
cairo_surface_t* CopySurfaceRect(cairo_surface_t* src, const TRect& r, int dw, int dh, bool smooth);
// Paints img (any format) scaled into dest (canvas coordinates) with OVER.
void PaintSurface(TCanvas* c, cairo_surface_t* img, const TRect& dest);
// The current path of the canvas' cairo context with a raster operation.
void RopPath(TCanvas& c, TColor color, TPenMode mode, bool stroke);
void FillPath(TCanvas& c);
void RopRect(TCanvas::Impl& m, const TRect& logical, uint32_t pc, TPenMode mode);

}  // namespace vcl::gfx
