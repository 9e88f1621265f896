// Colours, fonts, pens, brushes, the canvas, graphics, bitmaps and pictures.
// Drawing goes through Cairo and text through FreeType; neither appears in this header.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "classes/object.h"
#include "classes/rtti.h"
#include "graphics/types.h"
#include "rtl/events.h"
#include "rtl/tset.h"

namespace vcl {

class TStream;
class TCanvas;
class TBitmap;
class TGraphic;

// ---------------------------------------------------------------------------------------------
// Colours: 0x00BBGGRR. A system colour is 0x80000000 | index and resolves through GetSysColor.

using TColor = int32_t;

constexpr TColor RGB(int r, int g, int b) {
    return TColor((uint32_t(r) & 0xFF) | ((uint32_t(g) & 0xFF) << 8) | ((uint32_t(b) & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return int(uint32_t(c) & 0xFF); }
constexpr int GetGValue(TColor c) { return int((uint32_t(c) >> 8) & 0xFF); }
constexpr int GetBValue(TColor c) { return int((uint32_t(c) >> 16) & 0xFF); }

// System colour indexes.
enum : int {
    COLOR_SCROLLBAR, COLOR_BACKGROUND, COLOR_ACTIVECAPTION, COLOR_INACTIVECAPTION, COLOR_MENU,
    COLOR_WINDOW, COLOR_WINDOWFRAME, COLOR_MENUTEXT, COLOR_WINDOWTEXT, COLOR_CAPTIONTEXT,
    COLOR_ACTIVEBORDER, COLOR_INACTIVEBORDER, COLOR_APPWORKSPACE, COLOR_HIGHLIGHT,
    COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE, COLOR_BTNSHADOW, COLOR_GRAYTEXT, COLOR_BTNTEXT,
    COLOR_INACTIVECAPTIONTEXT, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT,
    COLOR_INFOTEXT, COLOR_INFOBK, COLOR_ENDCOLORS
};
constexpr TColor SysColor(int index) { return TColor(0x80000000u | uint32_t(index)); }

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000,
                 clOlive = 0x008080, clNavy = 0x800000, clPurple = 0x800080,
                 clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0,
                 clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                 clWhite = 0xFFFFFF, clLtGray = 0xC0C0C0, clDkGray = 0x808080,
                 clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF,
                 clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR), clBackground = SysColor(COLOR_BACKGROUND),
    clActiveCaption = SysColor(COLOR_ACTIVECAPTION), clInactiveCaption = SysColor(COLOR_INACTIVECAPTION),
    clMenu = SysColor(COLOR_MENU), clWindow = SysColor(COLOR_WINDOW),
    clWindowFrame = SysColor(COLOR_WINDOWFRAME), clMenuText = SysColor(COLOR_MENUTEXT),
    clWindowText = SysColor(COLOR_WINDOWTEXT), clCaptionText = SysColor(COLOR_CAPTIONTEXT),
    clActiveBorder = SysColor(COLOR_ACTIVEBORDER), clInactiveBorder = SysColor(COLOR_INACTIVEBORDER),
    clAppWorkSpace = SysColor(COLOR_APPWORKSPACE), clHighlight = SysColor(COLOR_HIGHLIGHT),
    clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT), clBtnFace = SysColor(COLOR_BTNFACE),
    clBtnShadow = SysColor(COLOR_BTNSHADOW), clGrayText = SysColor(COLOR_GRAYTEXT),
    clBtnText = SysColor(COLOR_BTNTEXT), clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT),
    clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = SysColor(COLOR_3DDKSHADOW),
    cl3DLight = SysColor(COLOR_3DLIGHT), clInfoText = SysColor(COLOR_INFOTEXT),
    clInfoBk = SysColor(COLOR_INFOBK);

// The RGB value of a system colour index (classic defaults until changed).
TColor GetSysColor(int index);
void SetSysColor(int index, TColor rgb);
void ResetSysColors();
// A system colour resolved to RGB; clNone and clDefault resolve to black and white as the
// platform's defaults for a window; plain RGB values pass through.
TColor ColorToRGB(TColor c);
// "clBtnFace" / "$00FF8000" and back; IdentToColor/ColorToIdent for the named ones only.
std::string ColorToString(TColor c);
TColor StringToColor(std::string_view s);  // EConvertError "'x' is not a valid integer value"
bool ColorToIdent(TColor c, std::string& ident);
bool IdentToColor(std::string_view ident, TColor& c);
// The colour names for published TColor properties, and the builder step that declares one.
const TIdentMap& ColorIdents();
template <class T, class G, class S>
TPropInfo& ColorProp(TPropBuilder<T>& b, const char* name, G get, S set, TColor def) {
    return b.IntIdent(name, "TColor", ColorIdents(), get, set, def);
}
// The colour the canvas' device shows for c: c itself on a true-colour target, the nearest
// palette entry on a palette bitmap. A colour is "pure" when this returns it unchanged.
TColor GetNearestColor(TCanvas* canvas, TColor c);

// ---------------------------------------------------------------------------------------------
// Graphics objects

class TGraphicsObject : public TPersistent {
    DBV_CLASS(TGraphicsObject, TPersistent)
public:
    TNotifyEvent OnChange;

protected:
    virtual void Changed();
};

DBV_ENUM(TFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut);
using TFontStyles = TSet<TFontStyle>;
DBV_ENUM(TFontPitch, fpDefault, fpVariable, fpFixed);

constexpr int DEFAULT_CHARSET = 1;
constexpr int FW_NORMAL = 400, FW_BOLD = 700;

// The platform's logical font, as the font-create call takes it.
struct TLogFont {
    int Height = 0;
    int Width = 0;
    int Escapement = 0;   // tenths of a degree, counter-clockwise
    int Orientation = 0;
    int Weight = FW_NORMAL;
    bool Italic = false, Underline = false, StrikeOut = false;
    int CharSet = DEFAULT_CHARSET;
    TFontPitch Pitch = fpDefault;
    std::string FaceName;
    bool operator==(const TLogFont&) const = default;
};
// A font handle: an id of a logical font (0 is no font). Same attributes, same handle.
using HFONT = uint32_t;
HFONT CreateFontIndirect(const TLogFont& lf);
bool GetLogFont(HFONT h, TLogFont& lf);

struct TTextMetric {
    int tmHeight = 0, tmAscent = 0, tmDescent = 0, tmInternalLeading = 0,
        tmExternalLeading = 0, tmAveCharWidth = 0, tmMaxCharWidth = 0, tmWeight = 0;
    bool tmItalic = false, tmUnderlined = false, tmStruckOut = false;
    // TMPF_FIXED_PITCH (1) is set for variable pitch, as on the platform; TMPF_TRUETYPE (4).
    uint8_t tmPitchAndFamily = 0;
};
constexpr uint8_t TMPF_FIXED_PITCH = 1, TMPF_TRUETYPE = 4;

class TFont : public TGraphicsObject {
    DBV_CLASS(TFont, TGraphicsObject)
public:
    TFont();
    void Assign(TPersistent* Source) override;

    const std::string& GetName() const { return lf_.FaceName; }
    void SetName(const std::string& v);
    // Negative: character height in pixels (em size); positive: cell height (with leading).
    int GetHeight() const { return lf_.Height; }
    void SetHeight(int v);
    // Points at 96 pixels per inch.
    int GetSize() const;
    void SetSize(int points);
    TFontStyles GetStyle() const { return style_; }
    void SetStyle(TFontStyles v);
    TColor GetColor() const { return color_; }
    void SetColor(TColor v);
    TFontPitch GetPitch() const { return lf_.Pitch; }
    void SetPitch(TFontPitch v);
    // Text angle in tenths of a degree, counter-clockwise.
    int GetOrientation() const { return lf_.Escapement; }
    void SetOrientation(int v);
    int GetCharset() const { return lf_.CharSet; }
    void SetCharset(int v);
    int PixelsPerInch() const { return 96; }
    // The logical font; setting a handle takes every attribute of that logical font.
    HFONT GetHandle() const;
    void SetHandle(HFONT h);
    TLogFont LogFont() const;

    // The font file this font is rendered with (face mapping plus style).
    std::string FontFile() const;
    TTextMetric Metrics() const;

private:
    TLogFont lf_;
    TFontStyles style_;
    TColor color_;
};

// The stock system font (the platform's "System" font) and its metrics.
TFont* SystemFont();
TTextMetric GetSystemFontMetrics();
// The font file a face name and style map to (Liberation, DejaVu as fallback). Face names are
// compared without case; unknown names follow the pitch (fixed: mono, otherwise sans).
std::string MapFontFile(std::string_view faceName, bool bold, bool italic, TFontPitch pitch);

DBV_ENUM(TPenStyle, psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame);
DBV_ENUM(TPenMode, pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot,
         pmMaskPenNot, pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask,
         pmXor, pmNotXor);
DBV_ENUM(TBrushStyle, bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal,
         bsCross, bsDiagCross);

class TPen : public TGraphicsObject {
    DBV_CLASS(TPen, TGraphicsObject)
public:
    TPen() = default;
    void Assign(TPersistent* Source) override;
    TColor GetColor() const { return color_; }
    void SetColor(TColor v);
    int GetWidth() const { return width_; }
    void SetWidth(int v);
    TPenStyle GetStyle() const { return style_; }
    void SetStyle(TPenStyle v);
    TPenMode GetMode() const { return mode_; }
    void SetMode(TPenMode v);

private:
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = psSolid;
    TPenMode mode_ = pmCopy;
};

class TBrush : public TGraphicsObject {
    DBV_CLASS(TBrush, TGraphicsObject)
public:
    TBrush() = default;
    void Assign(TPersistent* Source) override;
    TColor GetColor() const { return color_; }
    // Setting a colour on a clear brush makes it solid, as on the platform.
    void SetColor(TColor v);
    TBrushStyle GetStyle() const { return style_; }
    void SetStyle(TBrushStyle v);

private:
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
};

// ---------------------------------------------------------------------------------------------
// Text drawing flags and edge / frame-control constants, with the platform's values.

constexpr uint32_t DT_TOP = 0, DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4,
                   DT_BOTTOM = 8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20,
                   DT_EXPANDTABS = 0x40, DT_TABSTOP = 0x80, DT_NOCLIP = 0x100,
                   DT_EXTERNALLEADING = 0x200, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800,
                   DT_INTERNAL = 0x1000, DT_EDITCONTROL = 0x2000, DT_PATH_ELLIPSIS = 0x4000,
                   DT_END_ELLIPSIS = 0x8000, DT_MODIFYSTRING = 0x10000,
                   DT_RTLREADING = 0x20000, DT_WORD_ELLIPSIS = 0x40000,
                   DT_HIDEPREFIX = 0x100000, DT_PREFIXONLY = 0x200000;

constexpr uint32_t BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4,
                   BDR_SUNKENINNER = 8, BDR_OUTER = 3, BDR_INNER = 12,
                   EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
                   EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
                   EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
                   EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr uint32_t BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_TOPLEFT = 3,
                   BF_TOPRIGHT = 6, BF_BOTTOMLEFT = 9, BF_BOTTOMRIGHT = 12, BF_RECT = 15,
                   BF_MIDDLE = 0x800, BF_SOFT = 0x1000, BF_ADJUST = 0x2000, BF_FLAT = 0x4000,
                   BF_MONO = 0x8000;

constexpr uint32_t DFC_CAPTION = 1, DFC_MENU = 2, DFC_SCROLL = 3, DFC_BUTTON = 4;
constexpr uint32_t DFCS_SCROLLUP = 0, DFCS_SCROLLDOWN = 1, DFCS_SCROLLLEFT = 2,
                   DFCS_SCROLLRIGHT = 3, DFCS_SCROLLCOMBOBOX = 5, DFCS_SCROLLSIZEGRIP = 8,
                   DFCS_BUTTONCHECK = 0, DFCS_BUTTONRADIO = 4, DFCS_BUTTON3STATE = 8,
                   DFCS_BUTTONPUSH = 0x10, DFCS_INACTIVE = 0x100, DFCS_PUSHED = 0x200,
                   DFCS_CHECKED = 0x400, DFCS_TRANSPARENT = 0x800, DFCS_HOT = 0x1000,
                   DFCS_ADJUSTRECT = 0x2000, DFCS_FLAT = 0x4000, DFCS_MONO = 0x8000;

// Raster operations for CopyRect (CopyMode).
using TCopyMode = uint32_t;
constexpr TCopyMode cmBlackness = 0x00000042, cmDstInvert = 0x00550009,
                    cmMergePaint = 0x00BB0226, cmNotSrcCopy = 0x00330008,
                    cmNotSrcErase = 0x001100A6, cmSrcAnd = 0x008800C6,
                    cmSrcCopy = 0x00CC0020, cmSrcErase = 0x00440328,
                    cmSrcInvert = 0x00660046, cmSrcPaint = 0x00EE0086,
                    cmWhiteness = 0x00FF0062;

// ---------------------------------------------------------------------------------------------
// The operation log: what a canvas drew, for tests.

DBV_ENUM(TCanvasOpKind, ckLine, ckPolyline, ckPolygon, ckRectangle, ckRoundRect, ckFillRect,
         ckFrameRect, ckFocusRect, ckEllipse, ckPixel, ckTextOut, ckTextRect, ckDrawText,
         ckDraw, ckStretchDraw, ckCopyRect, ckBrushCopy, ckFrame3D, ckDrawEdge,
         ckFrameControl, ckImageList);

struct TCanvasOp {
    TCanvasOpKind Kind = ckLine;
    TRect Rect;                // the bounds, in the canvas' coordinates
    TPoint Pt;                 // text origin / line start
    std::vector<TPoint> Points;
    std::string Text;
    uint32_t Flags = 0;        // DrawText flags, edge flags, frame-control state, image index
    TColor PenColor = 0, BrushColor = 0, FontColor = 0;
    TBrushStyle BrushStyle = bsSolid;
    TPenMode PenMode = pmCopy;
    std::string FontName;
    int FontHeight = 0;
    TFontStyles FontStyle;
    int FontOrientation = 0;
};
using TCanvasLog = std::vector<TCanvasOp>;

// ---------------------------------------------------------------------------------------------
// The canvas

class TCanvas : public TPersistent {
    DBV_CLASS(TCanvas, TPersistent)
public:
    TCanvas();
    ~TCanvas() override;

    TFont* GetFont() const { return font_; }
    void SetFont(TFont* v);  // copies
    TPen* GetPen() const { return pen_; }
    void SetPen(TPen* v);
    TBrush* GetBrush() const { return brush_; }
    void SetBrush(TBrush* v);
    TCopyMode GetCopyMode() const { return copyMode_; }
    void SetCopyMode(TCopyMode v) { copyMode_ = v; }
    TPoint GetPenPos() const { return penPos_; }
    void SetPenPos(TPoint p) { penPos_ = p; }

    // Lines exclude their end point; shapes cover [Left, Right) x [Top, Bottom).
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<TPoint>& pts);
    void Polygon(const std::vector<TPoint>& pts);  // alternate fill
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void RoundRect(int x1, int y1, int x2, int y2, int cx, int cy);
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    void FillRect(const TRect& r);
    void FrameRect(const TRect& r);
    // Inverts every other border pixel; a second call removes it.
    void DrawFocusRect(const TRect& r);
    // -1 outside the target.
    TColor GetPixels(int x, int y) const;
    void SetPixels(int x, int y, TColor c);

    // Text: (x, y) is the top-left of the text cell. Opaque (brush colour behind the text)
    // unless the brush is clear. A font orientation rotates the text about (x, y).
    void TextOut(int x, int y, std::string_view text);
    // Clipped to r; r is filled with the brush unless the brush is clear.
    void TextRect(const TRect& r, int x, int y, std::string_view text);
    int TextWidth(std::string_view text) const;
    int TextHeight(std::string_view text) const;
    TSize TextExtent(std::string_view text) const;
    TTextMetric GetTextMetrics() const;
    // The platform's formatted text call. Returns the text height (with DT_VCENTER/DT_BOTTOM,
    // the offset from r.Top to the bottom of the text). DT_CALCRECT only measures and sets
    // r.Right/r.Bottom. With DT_MODIFYSTRING the fitted text (ellipsis) goes to *fitted.
    int DrawText(std::string_view text, TRect& r, uint32_t flags, std::string* fitted = nullptr);

    // Graphics and copies.
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const TRect& r, TGraphic* graphic);
    void CopyRect(const TRect& dest, TCanvas* source, const TRect& src);
    // Copies src of the bitmap to dest with the pixels of colour `transparent` replaced by the
    // brush colour.
    void BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& src, TColor transparent);

    // Clipping (in canvas coordinates). ClipRect is the bounding box of what can be painted.
    TRect GetClipRect() const;
    void SetClipRect(const TRect& r);
    void IntersectClipRect(const TRect& r);
    void ExcludeClipRect(const TRect& r);
    void ResetClipRect();
    bool PtVisible(int x, int y) const;
    // Save and restore the clip region, pen, brush, font and pen position. Restore(-1) pops one.
    int SaveState();
    void RestoreState(int level = -1);

    // Frame helpers.
    // Top and left edges in topLeft, bottom and right in bottomRight, width times; shrinks r.
    void Frame3D(TRect& r, TColor topLeft, TColor bottomRight, int width);
    bool DrawEdge(TRect& r, uint32_t edge, uint32_t flags);
    bool DrawFrameControl(TRect r, uint32_t type, uint32_t state);

    // Re-selects pen, brush and font (nothing to do here; kept for callers that expect it).
    void Refresh() {}

    // The operation log. A canvas takes the default log when created.
    void SetLog(TCanvasLog* log) { log_ = log; }
    TCanvasLog* GetLog() const { return log_; }
    static void SetDefaultLog(TCanvasLog* log);
    static TCanvasLog* DefaultLog();

    // Drawing target: 32-bit pixels, 0x00RRGGBB in native byte order (B, G, R, x in memory),
    // stride in bytes. origin maps canvas (0,0) to that device pixel; clip (device
    // coordinates, optional) bounds everything drawn. The caller keeps the buffer alive.
    void AttachPixels(uint32_t* pixels, int width, int height, int strideBytes,
                      TPoint origin = {}, const TRect* clip = nullptr);
    // Draws into a bitmap (the canvas holds the bitmap's pixels until detached or re-attached,
    // so a later resize of the bitmap leaves this canvas on the old pixels).
    void AttachBitmap(TBitmap* bitmap, TPoint origin = {}, const TRect* clip = nullptr);
    void DetachPixels();
    bool HandleAllocated() const;
    // Attaches the target now when a subclass provides one (CreateHandle).
    void HandleNeeded() { if (!HandleAllocated()) CreateHandle(); }
    TPoint DeviceOrigin() const;
    // Width and height of the target (0 when there is none).
    TSize TargetSize() const;

    struct Impl;
    Impl* GetImpl() const { return impl_.get(); }

    // ---- for the graphics classes (image lists, graphics drawing themselves) ----
    // Prepares the target; false when there is none and the canvas only records.
    bool BeginOp();
    // Whether an operation started now is the outermost one (only those are logged).
    bool Logging() const { return log_ && nest_ == 0; }
    void Record(const TCanvasOp& op);
    TCanvasOp MakeOp(TCanvasOpKind k) const;
    struct Nest {
        explicit Nest(TCanvas* c) : c_(c) { ++c_->nest_; }
        ~Nest() { --c_->nest_; }
        TCanvas* c_;
    };

protected:
    // Called before drawing when no target is attached; a subclass attaches one here.
    virtual void CreateHandle() {}

private:
    void LinePixels(int x0, int y0, int x1, int y1, int& dashPos);
    void PolyLinePixels(const std::vector<TPoint>& pts, bool closed);
    void TextCore(int x, int y, std::string_view text, const TRect* clip, bool opaque,
                  const TRect* opaqueRect, const std::vector<std::pair<int, int>>* underlines);

    std::unique_ptr<Impl> impl_;
    TFont* font_;
    TPen* pen_;
    TBrush* brush_;
    TCopyMode copyMode_ = cmSrcCopy;
    TPoint penPos_;
    TCanvasLog* log_;
    int nest_ = 0;
};

// Free-function forms of the frame and text helpers, as callers spell them.
void Frame3D(TCanvas* canvas, TRect& r, TColor topLeft, TColor bottomRight, int width);
bool DrawEdge(TCanvas* canvas, TRect& r, uint32_t edge, uint32_t flags);
bool DrawFrameControl(TCanvas* canvas, TRect r, uint32_t type, uint32_t state);
// With DT_MODIFYSTRING the text is replaced by the fitted text.
int DrawText(TCanvas* canvas, std::string& text, TRect& r, uint32_t flags);

// ---------------------------------------------------------------------------------------------
// Graphics

class TGraphic : public TPersistent {
    DBV_CLASS(TGraphic, TPersistent)
public:
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual void SetWidth(int v) = 0;
    virtual void SetHeight(int v) = 0;
    virtual bool GetEmpty() const = 0;
    bool GetTransparent() const { return transparent_; }
    virtual void SetTransparent(bool v);
    bool GetModified() const { return modified_; }
    void SetModified(bool v);

    virtual void LoadFromStream(TStream& s) = 0;
    virtual void SaveToStream(TStream& s) = 0;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    // Draws the graphic into r (stretched when r has another size).
    virtual void Draw(TCanvas* canvas, const TRect& r) = 0;
    // The graphic as pixels (a new bitmap the caller frees).
    virtual TBitmap* ToBitmap() const = 0;
    virtual const char* DefaultExtension() const = 0;

    TNotifyEvent OnChange;

protected:
    virtual void Changed();
    bool transparent_ = false;
    bool modified_ = false;
};

DBV_ENUM(TPixelFormat, pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit,
         pfCustom);
DBV_ENUM(TTransparentMode, tmAuto, tmFixed);

// The default palettes of the palette formats (black/white, the 16 VGA colours, and a
// 256-colour palette of the 16 VGA colours, a 6x6x6 cube and a grey ramp).
std::vector<TColor> DefaultPalette(TPixelFormat pf);

// Resource module handle: 0 searches every registered module.
using HMODULE = uintptr_t;

class TBitmap : public TGraphic {
    DBV_CLASS(TBitmap, TGraphic)
public:
    TBitmap();
    ~TBitmap() override;
    void Assign(TPersistent* Source) override;

    int GetWidth() const override;
    int GetHeight() const override;
    // New area is filled with white, the old contents stay at the top-left.
    void SetWidth(int v) override;
    void SetHeight(int v) override;
    void SetSize(int w, int h);
    bool GetEmpty() const override;
    TPixelFormat GetPixelFormat() const { return format_; }
    // Palette formats take a default palette when they have none; the pixels are reduced to it.
    void SetPixelFormat(TPixelFormat pf);
    bool GetMonochrome() const { return format_ == pf1bit; }
    void SetMonochrome(bool v) { SetPixelFormat(v ? pf1bit : pf24bit); }
    // Palette of a palette format (TColor entries), empty otherwise.
    const std::vector<TColor>& GetPaletteColors() const { return palette_; }
    void SetPaletteColors(const std::vector<TColor>& pal);
    // Non-zero when the bitmap has a palette (what a control hands to palette handling).
    uintptr_t GetPalette() const;
    bool GetIgnorePalette() const { return ignorePalette_; }
    void SetIgnorePalette(bool v) { ignorePalette_ = v; }

    TCanvas* GetCanvas();
    // tmAuto: the bottom-left pixel; tmFixed: the colour set.
    TColor GetTransparentColor() const;
    void SetTransparentColor(TColor c);
    TTransparentMode GetTransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode m);

    // BMP files: every header version, 1/4/8/16/24/32 bit, RLE4/RLE8, both row orders.
    // Writes keep the pixel format and palette. EInvalidGraphic "Bitmap image is not valid".
    void LoadFromStream(TStream& s) override;
    void SaveToStream(TStream& s) override;
    void LoadFromBytes(const void* data, size_t size);
    std::string SaveToBytes() const;
    void SaveToPngStream(TStream& s) const;
    void SaveToPngFile(const std::string& fileName) const;
    std::string SaveToPngBytes() const;
    // Named bitmap resources; EResNotFound "Resource NAME not found".
    void LoadFromResourceName(const std::string& name) { LoadFromResourceName(0, name); }
    void LoadFromResourceName(HMODULE module, const std::string& name);

    void Draw(TCanvas* canvas, const TRect& r) override;
    TBitmap* ToBitmap() const override;
    const char* DefaultExtension() const override { return "bmp"; }

    // Direct pixel access: 0x00RRGGBB (alpha in the top byte for 32-bit images), top-down rows.
    TColor GetPixel(int x, int y) const;
    uint32_t* ScanLine(int y);
    const uint32_t* ScanLine(int y) const;
    int StrideBytes() const;
    // Takes decoded pixels (0x00RRGGBB, top-down) as the bitmap's contents.
    void SetPixels32(int w, int h, const uint32_t* pixels, TPixelFormat pf = pf24bit);

    struct Image;
    Image* GetImage() const { return img_.get(); }

protected:
    void Changed() override;

private:
    void Resize(int w, int h);
    void Quantize();
    std::unique_ptr<Image> img_;
    TPixelFormat format_ = pfDevice;
    std::vector<TColor> palette_;
    bool ignorePalette_ = false;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
    TCanvas* canvas_ = nullptr;
};

// A picture format held as a bitmap of its decoded pixels (PNG, JPEG).
class TRasterImage : public TGraphic {
    DBV_CLASS(TRasterImage, TGraphic)
public:
    TRasterImage();
    ~TRasterImage() override;
    // From the same format the pixels are copied; from any other graphic, its bitmap.
    void Assign(TPersistent* Source) override;
    int GetWidth() const override;
    int GetHeight() const override;
    void SetWidth(int v) override;
    void SetHeight(int v) override;
    bool GetEmpty() const override;
    TBitmap* Pixels() const { return bmp_; }

protected:
    TBitmap* bmp_;
};

// PNG pictures (libpng); alpha is kept.
class TPngImage : public TRasterImage {
    DBV_CLASS(TPngImage, TRasterImage)
public:
    void LoadFromStream(TStream& s) override;
    void SaveToStream(TStream& s) override;
    void Draw(TCanvas* canvas, const TRect& r) override;
    TBitmap* ToBitmap() const override;
    const char* DefaultExtension() const override { return "png"; }
};

// JPEG pictures (libjpeg).
class TJPEGImage : public TRasterImage {
    DBV_CLASS(TJPEGImage, TRasterImage)
public:
    void Assign(TPersistent* Source) override;
    void LoadFromStream(TStream& s) override;
    void SaveToStream(TStream& s) override;
    void Draw(TCanvas* canvas, const TRect& r) override;
    TBitmap* ToBitmap() const override;
    const char* DefaultExtension() const override { return "jpg"; }
    int Quality = 90;
};

// Builds the graphic a stream holds, chosen by its signature (BMP, PNG, JPEG). Raises
// EInvalidGraphic "Unknown picture format" when none matches. The caller frees the result.
TGraphic* LoadGraphicFromStream(TStream& s);
TGraphic* LoadGraphicFromBytes(const void* data, size_t size);

class TPicture : public TPersistent {
    DBV_CLASS(TPicture, TPersistent)
public:
    TPicture();
    ~TPicture() override;
    // From a picture, a graphic, null (clears), the clipboard, or any source a registered
    // hook knows (the data layer registers one for blob fields).
    void Assign(TPersistent* Source) override;

    TGraphic* GetGraphic() const { return graphic_; }
    void SetGraphic(TGraphic* g);  // copies
    // The bitmap; replaces another kind of graphic with an empty bitmap.
    TBitmap* GetBitmap();
    int GetWidth() const;
    int GetHeight() const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    void LoadFromStream(TStream& s);
    void LoadFromBytes(const void* data, size_t size);

    TNotifyEvent OnChange;

    // Hooks for other kinds of source and destination: return true when handled.
    using TAssignHook = std::function<bool(TPicture* picture, TPersistent* other)>;
    static void RegisterAssignFrom(TAssignHook hook);  // picture takes the other's contents
    static void RegisterAssignTo(TAssignHook hook);    // the other takes the picture

protected:
    void AssignTo(TPersistent* Dest) override;
    void Changed();

private:
    void Adopt(TGraphic* g);  // takes ownership
    TGraphic* graphic_ = nullptr;
};

}  // namespace vcl
