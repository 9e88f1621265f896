// Frame helpers: Frame3D, DrawEdge and DrawFrameControl in the classic three-dimensional look.
#include "graphics/canvas_internal.h"

namespace vcl {

void TCanvas::Frame3D(TRect& r, TColor topLeft, TColor bottomRight, int width) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckFrame3D);
        op.Rect = r;
        op.PenColor = topLeft;
        op.BrushColor = bottomRight;
        op.Flags = uint32_t(width);
        Record(op);
    }
    Nest n(this);
    pen_->SetWidth(1);
    r.Bottom--;
    r.Right--;
    while (width-- > 0) {
        // Top-left colour up the left edge and along the top; the other colour down the right
        // edge and back along the bottom, owning the two far corners.
        pen_->SetColor(topLeft);
        Polyline({{r.Left, r.Bottom}, {r.Left, r.Top}, {r.Right, r.Top}});
        pen_->SetColor(bottomRight);
        Polyline({{r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left - 1, r.Bottom}});
        InflateRect(r, -1, -1);
    }
    r.Bottom++;
    r.Right++;
}

void Frame3D(TCanvas* canvas, TRect& r, TColor topLeft, TColor bottomRight, int width) {
    canvas->Frame3D(r, topLeft, bottomRight, width);
}

namespace {
void HLine(TCanvas* c, int x1, int x2, int y, TColor col) {
    if (x2 <= x1) return;
    c->GetBrush()->SetColor(col);
    c->FillRect({x1, y, x2, y + 1});
}
void VLine(TCanvas* c, int x, int y1, int y2, TColor col) {
    if (y2 <= y1) return;
    c->GetBrush()->SetColor(col);
    c->FillRect({x, y1, x + 1, y2});
}
}  // namespace

bool TCanvas::DrawEdge(TRect& r, uint32_t edge, uint32_t flags) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckDrawEdge);
        op.Rect = r;
        op.Flags = (edge << 24) | (flags & 0xFFFFFF);
        Record(op);
    }
    Nest n(this);
    TColor keepColor = brush_->GetColor();
    TBrushStyle keepStyle = brush_->GetStyle();
    TRect x = r;
    auto pass = [&](TColor tl, TColor br) {
        if (flags & BF_TOP) HLine(this, x.Left, x.Right, x.Top, tl);
        if (flags & BF_LEFT) VLine(this, x.Left, x.Top, x.Bottom, tl);
        if (flags & BF_BOTTOM) HLine(this, x.Left, x.Right, x.Bottom - 1, br);
        if (flags & BF_RIGHT) VLine(this, x.Right - 1, x.Top, x.Bottom, br);
        if (flags & BF_LEFT) x.Left++;
        if (flags & BF_TOP) x.Top++;
        if (flags & BF_RIGHT) x.Right--;
        if (flags & BF_BOTTOM) x.Bottom--;
    };
    uint32_t outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
    if (flags & BF_MONO) {
        if (outer) pass(clWindowFrame, clWindowFrame);
        if (inner) pass(clWindow, clWindow);
    } else if (flags & BF_FLAT) {
        if (outer) pass(clBtnShadow, clBtnShadow);
        if (inner) pass(clBtnFace, clBtnFace);
    } else {
        if (outer == BDR_RAISEDOUTER) pass((flags & BF_SOFT) ? clBtnHighlight : cl3DLight, cl3DDkShadow);
        else if (outer == BDR_SUNKENOUTER) pass(clBtnShadow, clBtnHighlight);
        if (inner == BDR_RAISEDINNER) pass((flags & BF_SOFT) ? cl3DLight : clBtnHighlight, clBtnShadow);
        else if (inner == BDR_SUNKENINNER) pass(cl3DDkShadow, cl3DLight);
    }
    if ((flags & BF_MIDDLE) && !IsRectEmpty(x)) {
        brush_->SetColor((flags & BF_MONO) ? clWindow : clBtnFace);
        FillRect(x);
    }
    brush_->SetColor(keepColor);
    brush_->SetStyle(keepStyle);
    if (flags & BF_ADJUST) r = x;
    return true;
}

bool DrawEdge(TCanvas* canvas, TRect& r, uint32_t edge, uint32_t flags) {
    return canvas->DrawEdge(r, edge, flags);
}

// A filled arrow (0 up, 1 down, 2 left, 3 right) centred in r.
static void Arrow(TCanvas* c, const TRect& r, int dir, TColor col) {
    int m = std::min(r.Width(), r.Height());
    int n = std::max(2, (m + 1) / 4);  // rows of the triangle: widths 2n-1 ... 1
    bool vertical = dir <= 1;
    int cx = r.Left + r.Width() / 2, cy = r.Top + r.Height() / 2;
    c->GetBrush()->SetColor(col);
    for (int i = 0; i < n; ++i) {
        int len = 2 * (n - i) - 1;  // longest row first
        if (vertical) {
            int y0 = cy - n / 2;
            int y = dir == 1 ? y0 + i : y0 + (n - 1 - i);
            c->FillRect({cx - len / 2, y, cx - len / 2 + len, y + 1});
        } else {
            int x0 = cx - n / 2;
            int x = dir == 3 ? x0 + i : x0 + (n - 1 - i);
            c->FillRect({x, cy - len / 2, x + 1, cy - len / 2 + len});
        }
    }
}

bool TCanvas::DrawFrameControl(TRect r, uint32_t type, uint32_t state) {
    if (Logging()) {
        TCanvasOp op = MakeOp(ckFrameControl);
        op.Rect = r;
        op.Flags = (type << 24) | (state & 0xFFFFFF);
        Record(op);
    }
    Nest n(this);
    TColor keepColor = brush_->GetColor();
    TBrushStyle keepStyle = brush_->GetStyle();
    bool pushed = state & (DFCS_PUSHED | DFCS_CHECKED);
    bool inactive = state & DFCS_INACTIVE;
    bool flat = state & DFCS_FLAT;
    auto face = [&](bool down) {
        TRect x = r;
        if (flat) DrawEdge(x, BDR_RAISEDOUTER, BF_RECT | BF_FLAT | BF_ADJUST | BF_MIDDLE);
        else if (down) DrawEdge(x, BDR_SUNKENOUTER, BF_RECT | BF_FLAT | BF_ADJUST | BF_MIDDLE);
        else DrawEdge(x, EDGE_RAISED, BF_RECT | BF_ADJUST | BF_MIDDLE);
        return x;
    };
    if (type == DFC_SCROLL) {
        uint32_t kind = state & 0xFF;
        TRect x = face(state & DFCS_PUSHED);
        if (state & DFCS_PUSHED) OffsetRect(x, 1, 1);
        int dir = kind == DFCS_SCROLLCOMBOBOX ? 1 : int(kind & 3);
        if (kind == DFCS_SCROLLSIZEGRIP) {
            for (int i = 0; i < 3; ++i) {
                int d = 3 + i * 4;
                pen_->SetColor(clBtnHighlight);
                MoveTo(r.Right - d - 1, r.Bottom - 1); LineTo(r.Right, r.Bottom - d - 2);
                pen_->SetColor(clBtnShadow);
                MoveTo(r.Right - d, r.Bottom - 1); LineTo(r.Right, r.Bottom - d - 1);
            }
        } else if (inactive) {
            TRect y = x;
            OffsetRect(y, 1, 1);
            Arrow(this, y, dir, clBtnHighlight);
            Arrow(this, x, dir, clBtnShadow);
        } else {
            Arrow(this, x, dir, clBtnText);
        }
    } else if (type == DFC_BUTTON && (state & DFCS_BUTTONPUSH)) {
        face(pushed);
    } else if (type == DFC_BUTTON) {
        // Check box or radio button: a 13 x 13 box centred vertically at the left of r.
        int sz = std::min(13, std::min(r.Width(), r.Height()));
        TRect b = Bounds(r.Left + (r.Width() - sz) / 2, r.Top + (r.Height() - sz) / 2, sz, sz);
        TColor fill = (inactive || (state & DFCS_PUSHED)) ? clBtnFace : clWindow;
        TColor mark = inactive ? clGrayText : clWindowText;
        if (state & DFCS_BUTTONRADIO) {
            pen_->SetColor(flat ? clBtnShadow : clBtnShadow);
            brush_->SetColor(fill);
            Ellipse(b);
            if (state & DFCS_CHECKED) {
                pen_->SetColor(mark);
                brush_->SetColor(mark);
                TRect d = b;
                InflateRect(d, -4, -4);
                Ellipse(d);
            }
        } else {
            TRect x = b;
            if (flat) DrawEdge(x, BDR_SUNKENOUTER, BF_RECT | BF_FLAT | BF_ADJUST);
            else DrawEdge(x, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
            brush_->SetColor(fill);
            FillRect(x);
            if (state & DFCS_CHECKED) {
                // A check mark of three-pixel strokes.
                brush_->SetColor((state & DFCS_BUTTON3STATE) ? clBtnShadow : mark);
                int x0 = x.Left + (x.Width() - 7) / 2, y0 = x.Top + (x.Height() - 7) / 2 + 2;
                for (int i = 0; i < 7; ++i) {
                    int y = i < 3 ? y0 + i : y0 + 4 - i;
                    FillRect({x0 + i, y, x0 + i + 1, y + 3});
                }
            }
        }
    } else {
        face(pushed);
    }
    brush_->SetColor(keepColor);
    brush_->SetStyle(keepStyle);
    return true;
}

bool DrawFrameControl(TCanvas* canvas, TRect r, uint32_t type, uint32_t state) {
    return canvas->DrawFrameControl(r, type, state);
}

}  // namespace vcl
