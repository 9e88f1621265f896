// Image lists, the library's named bitmaps and the clipboard.
#include "dbv_resources.h"
#include "gfx_test_util.h"
#include "graphics/clipbrd.h"
#include "graphics/imglist.h"

using namespace vcl;
using gfxtest::Surface;

namespace {
// A strip of n cells of w x h: each cell a coloured square on a fuchsia background.
std::unique_ptr<TBitmap> Strip(int n, int w, int h) {
    auto b = Surface(n * w, h, clFuchsia);
    const TColor colours[] = {clRed, clGreen, clBlue, clBlack};
    for (int i = 0; i < n; ++i) {
        b->GetCanvas()->GetBrush()->SetColor(colours[i % 4]);
        b->GetCanvas()->FillRect({i * w + 2, 2, i * w + w - 2, h - 2});
    }
    return b;
}
}  // namespace

TEST(ImageList, AddMaskedSplitsStripsAndDrawsTransparently) {
    auto il = MakeOwned<TImageList>(nullptr, 8, 8);
    auto strip = Strip(3, 8, 8);
    EXPECT_EQ(il->AddMasked(strip.get(), clFuchsia), 0);
    EXPECT_EQ(il->GetCount(), 3);
    EXPECT_EQ(il->AddMasked(strip.get(), clDefault), 3);  // the bottom-left pixel's colour
    EXPECT_EQ(il->GetCount(), 6);
    // "Transparent with background colour 0": the black background must not show.
    il->SetBkColor(0);
    il->SetDrawingStyle(dsTransparent);
    auto dst = Surface(20, 10, clYellow);
    il->Draw(dst->GetCanvas(), 1, 1, 2);
    EXPECT_EQ(dst->GetPixel(1, 1), clYellow);
    EXPECT_EQ(dst->GetPixel(4, 4), clBlue);
    // Normal style with a background colour fills the masked pixels with it.
    il->SetDrawingStyle(dsNormal);
    il->SetBkColor(clAqua);
    il->Draw(dst->GetCanvas(), 10, 1, 0);
    EXPECT_EQ(dst->GetPixel(10, 1), clAqua);
    EXPECT_EQ(dst->GetPixel(13, 4), clRed);
    // With clNone nothing behind the image is touched.
    il->SetBkColor(clNone);
    auto d2 = Surface(10, 10, clYellow);
    il->Draw(d2->GetCanvas(), 0, 0, 1);
    EXPECT_EQ(d2->GetPixel(0, 0), clYellow);
    // Disabled: embossed in the button colours, never the image's own colour.
    auto d3 = Surface(10, 10, clYellow);
    il->Draw(d3->GetCanvas(), 0, 0, 0, false);
    EXPECT_EQ(d3->GetPixel(3, 3), ColorToRGB(clBtnShadow));
    EXPECT_EQ(d3->GetPixel(6, 6), clWhite);
    EXPECT_EQ(d3->GetPixel(0, 0), clYellow);
    // Out-of-range indexes draw nothing; the size change clears; too narrow a bitmap fails.
    il->Draw(d3->GetCanvas(), 0, 0, 99);
    auto narrow = Surface(4, 8);
    EXPECT_THROW(il->AddMasked(narrow.get(), clWhite), EInvalidOperation);
    il->SetWidth(4);
    EXPECT_EQ(il->GetCount(), 0);
    TBitmap out;
    il->AddMasked(narrow.get(), clNone);
    il->GetBitmap(0, &out);
    EXPECT_EQ(out.GetWidth(), 4);
}

TEST(Resources, EveryLibraryBitmapLoadsByNameAtItsSize) {
    vcl::HMODULE h = dbv::RegisterRuntimeResources();
    ASSERT_NE(h, 0u);
    const struct { const char* name; int w, h; TPixelFormat pf; } table[] = {
        {"KR_LEDGREENON", 20, 20, pf4bit}, {"KR_LEDREDON", 20, 20, pf4bit},
        {"KR_LEDGREENOFF", 20, 20, pf4bit}, {"KR_LEDREDOFF", 20, 20, pf4bit},
        {"KR_CHECKON", 20, 20, pf4bit}, {"KR_CHECKOFF", 20, 20, pf4bit},
        {"KR_CHECKGRAY", 20, 20, pf4bit}, {"KR_LEDYELON", 20, 20, pf4bit},
        {"KR_LEDGRAY", 20, 20, pf4bit}, {"KR_UP", 16, 16, pf4bit}, {"KR_DOWN", 16, 16, pf4bit},
        {"KR_UPARROW", 11, 8, pf4bit}, {"KR_DOWNARROW", 11, 8, pf4bit},
        {"KR_CREDITCARDS", 493, 67, pf8bit}, {"KR_IMGBEFORE", 20, 20, pf4bit},
        {"KR_IMGAFTER", 20, 20, pf4bit}, {"KR_IMGDURING", 80, 20, pf4bit},
        {"KR_FANCYBUTTON", 120, 27, pf8bit}};
    for (auto t : table) {
        SCOPED_TRACE(t.name);
        TBitmap b;
        b.LoadFromResourceName(t.name);
        EXPECT_EQ(b.GetWidth(), t.w);
        EXPECT_EQ(b.GetHeight(), t.h);
        EXPECT_EQ(b.GetPixelFormat(), t.pf);
    }
    for (const char* w : {"FIRST", "PRIOR", "PAGEUP", "PAGEDN", "NEXT", "LAST", "INSERT", "DELETE", "EDIT",
                          "POST", "CANCEL", "REFRESH", "BOOKMARK", "EDITDIALOG", "PACK", "ZAP",
                          "REINDEX", "DUPEREC", "TABLEOPEN"}) {
        SCOPED_TRACE(w);
        TBitmap b;
        b.LoadFromResourceName(h, std::string("KRDBN_") + w);
        int cells = std::string(w) == "TABLEOPEN" ? 4 : 2;
        EXPECT_EQ(b.GetWidth(), cells * b.GetHeight());
        // The disabled cell differs from the normal one.
        bool differs = false;
        for (int y = 0; y < b.GetHeight(); ++y)
            for (int x = 0; x < b.GetHeight(); ++x) differs |= b.GetPixel(x, y) != b.GetPixel(x + b.GetHeight(), y);
        EXPECT_TRUE(differs);
    }
    // The grid's check list: seven masked images in index order, sized to the first.
    TBitmap first;
    first.LoadFromResourceName("kr_ledgreenon");  // names are found without case
    auto il = MakeOwned<TImageList>(nullptr, first.GetWidth(), first.GetHeight());
    for (const char* n : {"KR_LEDGREENON", "KR_LEDREDON", "KR_LEDGREENOFF", "KR_LEDREDOFF", "KR_CHECKON", "KR_CHECKOFF", "KR_CHECKGRAY"}) {
        TBitmap b;
        b.LoadFromResourceName(n);
        il->AddMasked(&b, b.GetTransparentColor());
    }
    EXPECT_EQ(il->GetCount(), 7);
    try {
        TBitmap b;
        b.LoadFromResourceName("KR_X");
        FAIL();
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource KR_X not found");
    }
}

TEST(Clipboard, TextAndPicturesWithFormats) {
    TClipboard* cb = Clipboard();
    cb->Clear();
    EXPECT_FALSE(cb->HasFormat(CF_TEXT));
    cb->SetAsText("hello");
    EXPECT_TRUE(cb->HasFormat(CF_TEXT));
    EXPECT_EQ(cb->GetAsText(), "hello");
    auto bmp = Surface(3, 2, clRed);
    TPicture pic;
    pic.SetGraphic(bmp.get());
    cb->Assign(&pic);
    EXPECT_TRUE(cb->HasFormat(CF_BITMAP));
    EXPECT_TRUE(cb->HasFormat(CF_PICTURE));
    EXPECT_FALSE(cb->HasFormat(CF_TEXT));  // setting data replaces the contents
    TBitmap back;
    back.Assign(cb);
    EXPECT_EQ(back.GetWidth(), 3);
    EXPECT_EQ(back.GetPixel(0, 0), clRed);
    TPicture p2;
    p2.Assign(cb);
    EXPECT_TRUE(p2.GetGraphic()->Is<TBitmap>());
    // Several formats at once between Open and Close.
    cb->Clear();
    cb->Open();
    cb->SetAsText("both");
    cb->Assign(bmp.get());
    cb->Close();
    EXPECT_EQ(cb->FormatCount(), 3);
    cb->Clear();
    TBitmap none;
    EXPECT_THROW(none.Assign(cb), EInvalidGraphic);
    // A window backend takes over the text format.
    std::string system;
    SetClipboardBackend({[&](std::string& t) { t = system; return !system.empty(); },
                         [&](const std::string& t) { system = t; }, [&] { system.clear(); }});
    cb->SetAsText("to the system");
    EXPECT_EQ(system, "to the system");
    system = "from elsewhere";
    EXPECT_EQ(cb->GetAsText(), "from elsewhere");
    ResetClipboardBackend();
    cb->Clear();
}
