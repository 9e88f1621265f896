// Image lists: equal-sized images with masks, drawn normally, transparently, or disabled.
#pragma once
#include <cstdint>
#include <vector>

#include "classes/component.h"
#include "graphics/graphics.h"

namespace vcl {

DBV_ENUM(TDrawingStyle, dsFocus, dsSelected, dsNormal, dsTransparent);
DBV_ENUM(TImageType, itImage, itMask);

class TCustomImageList : public TComponent {
    DBV_CLASS(TCustomImageList, TComponent)
public:
    explicit TCustomImageList(TComponent* AOwner);
    // The platform's CreateSize.
    TCustomImageList(TComponent* AOwner, int width, int height);

    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    // Changing the size clears the list.
    void SetWidth(int v) { SetSize(v, height_); }
    void SetHeight(int v) { SetSize(width_, v); }
    void SetSize(int w, int h);
    int GetCount() const { return int(images_.size()); }
    TColor GetBkColor() const { return bkColor_; }
    void SetBkColor(TColor c);
    TColor GetBlendColor() const { return blendColor_; }
    void SetBlendColor(TColor c) { blendColor_ = c; }
    TDrawingStyle GetDrawingStyle() const { return drawingStyle_; }
    void SetDrawingStyle(TDrawingStyle s);
    TImageType GetImageType() const { return imageType_; }
    void SetImageType(TImageType t) { imageType_ = t; }
    bool GetMasked() const { return masked_; }
    void SetMasked(bool v) { masked_ = v; }

    // A strip as wide as n images adds n images. The mask's white pixels are transparent.
    // Returns the index of the first image added. EInvalidOperation "Invalid image size"
    // when the bitmap is narrower than one image.
    int Add(TBitmap* image, TBitmap* mask);
    // Pixels of maskColor (clDefault: the bitmap's transparent colour) are transparent.
    int AddMasked(TBitmap* image, TColor maskColor);
    void Replace(int index, TBitmap* image, TBitmap* mask);
    void Delete(int index);
    void Clear();
    // dsTransparent, or a BkColor of clNone, leaves masked pixels untouched; otherwise they
    // are painted in BkColor. Disabled images are drawn embossed in the button colours.
    void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
    void Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
              bool enabled);
    // The image on a bitmap of the list's size, masked pixels in BkColor (white for clNone).
    void GetBitmap(int index, TBitmap* image);

    TNotifyEvent OnChange;

protected:
    void Change();

private:
    struct Img {
        std::vector<uint32_t> px;   // 0x00RRGGBB
        std::vector<uint8_t> mask;  // 1 = transparent
    };
    void AddFrom(TBitmap* image, const std::vector<uint8_t>& mask, int cells, int at);
    void CheckIndex(int index) const;

    int width_ = 16, height_ = 16;
    TColor bkColor_ = clNone;
    TColor blendColor_ = clNone;
    TDrawingStyle drawingStyle_ = dsNormal;
    TImageType imageType_ = itImage;
    bool masked_ = true;
    std::vector<Img> images_;
};

class TImageList : public TCustomImageList {
    DBV_CLASS(TImageList, TCustomImageList)
public:
    using TCustomImageList::TCustomImageList;
};

}  // namespace vcl
