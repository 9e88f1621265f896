// The BMP codec against independent readers (stb_image; ImageMagick for RLE), damaged files,
// format-keeping writes, PNG/JPEG pictures and loading by signature.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>

#include "classes/streams.h"
#include "gfx_test_util.h"

using namespace vcl;
using gfxtest::Surface;

namespace {

// A picture with every kind of content: gradients, hard edges and a few named colours.
std::unique_ptr<TBitmap> TestPicture(int w, int h) {
    auto b = Surface(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b->GetCanvas()->SetPixels(x, y, RGB(x * 255 / w, y * 255 / h, (x ^ y) & 0xFF));
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(clRed);
    c->FillRect({1, 1, w / 3, h / 3});
    c->GetBrush()->SetColor(clNavy);
    c->FillRect({w / 2, h / 2, w - 1, h - 1});
    c->SetPixels(0, 0, clBlack);
    c->SetPixels(w - 1, h - 1, clWhite);
    return b;
}

struct Decoded {
    int w = 0, h = 0;
    std::vector<uint32_t> rgb;  // 0x00RRGGBB
};

Decoded Stb(const std::string& bytes) {
    Decoded d;
    int n = 0;
    unsigned char* p = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()),
                                             &d.w, &d.h, &n, 3);
    if (!p) return d;
    for (int i = 0; i < d.w * d.h; ++i)
        d.rgb.push_back(uint32_t(p[3 * i]) << 16 | uint32_t(p[3 * i + 1]) << 8 | p[3 * i + 2]);
    stbi_image_free(p);
    return d;
}

Decoded Pixels(TBitmap& b) {
    Decoded d{b.GetWidth(), b.GetHeight(), {}};
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) d.rgb.push_back(b.ScanLine(y)[x] & 0xFFFFFF);
    return d;
}

// ImageMagick's reading of a file, as 0x00RRGGBB.
Decoded Magick(const std::string& path, int w, int h) {
    Decoded d;
    std::string raw = path + ".rgb";
    std::string cmd = "/usr/bin/convert '" + path + "' -depth 8 rgb:'" + raw + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return d;
    std::ifstream f(raw, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(f)), {});
    if (s.size() != size_t(w) * size_t(h) * 3) return d;
    d.w = w;
    d.h = h;
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
        d.rgb.push_back(uint32_t(uint8_t(s[3 * i])) << 16 | uint32_t(uint8_t(s[3 * i + 1])) << 8 | uint8_t(s[3 * i + 2]));
    return d;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

void Put16(std::string& s, uint16_t v) { s.push_back(char(v & 0xFF)); s.push_back(char(v >> 8)); }
void Put32(std::string& s, uint32_t v) { for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF)); }

// A BMP file with a 40-byte header, the given palette and raw pixel data.
std::string MakeBmp(int w, int h, int bpp, uint32_t comp, const std::vector<TColor>& pal, const std::string& data) {
    std::string s = "BM";
    uint32_t off = uint32_t(14 + 40 + pal.size() * 4);
    Put32(s, uint32_t(off + data.size()));
    Put32(s, 0);
    Put32(s, off);
    Put32(s, 40);
    Put32(s, uint32_t(w));
    Put32(s, uint32_t(h));
    Put16(s, 1);
    Put16(s, uint16_t(bpp));
    Put32(s, comp);
    Put32(s, uint32_t(data.size()));
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, uint32_t(pal.size()));
    Put32(s, 0);
    for (TColor c : pal) {
        s.push_back(char(GetBValue(c))); s.push_back(char(GetGValue(c))); s.push_back(char(GetRValue(c))); s.push_back(0);
    }
    return s + data;
}

}  // namespace

TEST(BmpCodec, EveryDepthReadsBackIdenticallyInStbImage) {
    const struct { TPixelFormat pf; int bpp; } cases[] = {{pf1bit, 1}, {pf4bit, 4}, {pf8bit, 8},
        {pf15bit, 16}, {pf16bit, 16}, {pf24bit, 24}, {pf32bit, 32}};
    for (auto c : cases) {
        for (int w : {1, 7, 33}) {
            SCOPED_TRACE(std::string(EnumToIdent(c.pf)) + " width " + std::to_string(w));
            auto b = TestPicture(w, 5);
            b->SetPixelFormat(c.pf);
            std::string bytes = b->SaveToBytes();
            EXPECT_EQ(uint16_t(uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8), c.bpp);
            Decoded oracle = Stb(bytes);
            ASSERT_EQ(oracle.w, w);
            ASSERT_EQ(oracle.h, 5);
            Decoded ours = Pixels(*b);
            EXPECT_EQ(oracle.rgb, ours.rgb);
            // And our reader gives the same pixels, format and palette back.
            TBitmap back;
            back.LoadFromBytes(bytes.data(), bytes.size());
            EXPECT_EQ(back.GetPixelFormat(), c.pf);
            EXPECT_EQ(back.GetPaletteColors(), b->GetPaletteColors());
            EXPECT_EQ(Pixels(back).rgb, ours.rgb);
            EXPECT_EQ(back.SaveToBytes(), bytes);
        }
    }
}

TEST(BmpCodec, TopDownAndCoreHeaderFilesMatchTheBottomUpOriginal) {
    auto b = TestPicture(9, 6);
    b->SetPixelFormat(pf24bit);
    Decoded want = Pixels(*b);
    std::string bottomUp = b->SaveToBytes();
    // Top-down: negative height and the rows reversed.
    std::string td = bottomUp;
    int32_t negH = -6;
    std::memcpy(&td[22], &negH, 4);
    size_t off = 54, stride = (9 * 3 + 3) & ~size_t(3);
    for (int r = 0; r < 6; ++r) td.replace(off + r * stride, stride, bottomUp.substr(off + (5 - r) * stride, stride));
    TBitmap t;
    t.LoadFromBytes(td.data(), td.size());
    EXPECT_EQ(Pixels(t).rgb, want.rgb);
    EXPECT_EQ(Stb(td).rgb, want.rgb);
    // The old core header: 12 bytes, 16-bit sizes, three-byte palette entries.
    b->SetPixelFormat(pf8bit);
    Decoded want8 = Pixels(*b);
    std::string v3 = b->SaveToBytes();
    std::string core = "BM";
    const auto& pal = b->GetPaletteColors();
    uint32_t coff = uint32_t(14 + 12 + pal.size() * 3);
    std::string pixels = v3.substr(14 + 40 + pal.size() * 4);
    Put32(core, uint32_t(coff + pixels.size()));
    Put32(core, 0);
    Put32(core, coff);
    Put32(core, 12);
    Put16(core, 9);
    Put16(core, 6);
    Put16(core, 1);
    Put16(core, 8);
    for (TColor c : pal) { core.push_back(char(GetBValue(c))); core.push_back(char(GetGValue(c))); core.push_back(char(GetRValue(c))); }
    core += pixels;
    TBitmap cb;
    cb.LoadFromBytes(core.data(), core.size());
    EXPECT_EQ(Pixels(cb).rgb, want8.rgb);
    EXPECT_EQ(Stb(core).rgb, want8.rgb);
}

TEST(BmpCodec, V5HeaderWithBitFields) {
    // 2 x 2, 32 bit, BI_BITFIELDS with the masks in a 124-byte header (alpha in the low byte).
    std::string s = "BM";
    Put32(s, 14 + 124 + 16);
    Put32(s, 0);
    Put32(s, 14 + 124);
    Put32(s, 124);
    Put32(s, 2); Put32(s, 2); Put16(s, 1); Put16(s, 32); Put32(s, 3); Put32(s, 16);
    Put32(s, 0); Put32(s, 0); Put32(s, 0); Put32(s, 0);
    Put32(s, 0xFF000000); Put32(s, 0x00FF0000); Put32(s, 0x0000FF00); Put32(s, 0x000000FF);
    s.resize(14 + 124, '\0');
    for (uint32_t px : {0xFF0000FFu, 0x00FF00FFu, 0x0000FFFFu, 0x808080FFu}) Put32(s, px);
    TBitmap b;
    b.LoadFromBytes(s.data(), s.size());
    // Bottom-up: the first file row is the lower one.
    EXPECT_EQ(b.GetPixel(0, 1), clRed);
    EXPECT_EQ(b.GetPixel(1, 1), clLime);
    EXPECT_EQ(b.GetPixel(0, 0), clBlue);
    EXPECT_EQ(b.GetPixel(1, 0), RGB(128, 128, 128));
    EXPECT_EQ(Stb(s).rgb, Pixels(b).rgb);
}

TEST(BmpCodec, RunLengthFilesMatchImageMagick) {
    if (!gfxtest::HaveMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    std::string dir = gfxtest::TempDir();
    const std::vector<TColor> pal = DefaultPalette(pf4bit);
    // RLE8, 8 x 4: runs, an absolute run (odd length, padded), a delta, early line ends.
    std::string r8;
    auto b8 = [&](std::initializer_list<int> v) { for (int x : v) r8.push_back(char(x)); };
    b8({3, 9, 2, 12, 0, 3, 1, 2, 4, 0, 0, 0});   // row 0: 9 9 9 12 12 1 2 4
    b8({8, 14, 0, 0});                          // row 1: eight 14s
    b8({2, 10, 0, 2, 3, 0, 1, 11, 0, 0});       // row 2: 10 10, a delta of 3 right, then 11
    b8({0, 4, 1, 2, 3, 4, 4, 5, 0, 1});         // row 3: 1 2 3 4 5 5 5 5, end of bitmap
    std::string f8 = MakeBmp(8, 4, 8, 1, pal, r8);
    // RLE4, 6 x 2: alternating nibbles and an absolute run of three.
    std::string r4;
    auto b4 = [&](std::initializer_list<int> v) { for (int x : v) r4.push_back(char(x)); };
    b4({5, 0x9C, 0, 0});                  // row 0: 9 12 9 12 9
    b4({0, 3, 0x1E, 0x20, 3, 0x77, 0, 1}); // row 1: 1 14 2, then 7 7 7
    std::string f4 = MakeBmp(6, 2, 4, 2, pal, r4);
    for (auto [name, bytes, w, h] : {std::tuple{"rle8.bmp", f8, 8, 4}, std::tuple{"rle4.bmp", f4, 6, 2}}) {
        SCOPED_TRACE(name);
        std::string path = dir + "/" + name;
        WriteFile(path, bytes);
        TBitmap b;
        b.LoadFromBytes(bytes.data(), bytes.size());
        Decoded m = Magick(path, w, h);
        ASSERT_EQ(m.w, w) << "ImageMagick could not read the file";
        EXPECT_EQ(Pixels(b).rgb, m.rgb);
    }
    // An RLE8 file ImageMagick writes itself reads back as the picture it came from.
    auto pic = TestPicture(23, 11);
    pic->SetPixelFormat(pf8bit);
    std::string src = dir + "/src.bmp", rle = dir + "/rle.bmp";
    WriteFile(src, pic->SaveToBytes());
    ASSERT_EQ(std::system(("/usr/bin/convert '" + src + "' -compress RLE BMP3:'" + rle + "' 2>/dev/null").c_str()), 0);
    TPicture p;
    p.LoadFromFile(rle);
    auto* b = dynamic_cast<TBitmap*>(p.GetGraphic());
    ASSERT_TRUE(b);
    EXPECT_EQ(Pixels(*b).rgb, Pixels(*pic).rgb);
    std::filesystem::remove_all(dir);
}

TEST(BmpCodec, FilesWrittenByImageMagickReadAsItReadsThem) {
    if (!gfxtest::HaveMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    std::string dir = gfxtest::TempDir();
    std::string src = dir + "/src.png";
    ASSERT_EQ(std::system(("/usr/bin/convert -size 23x11 gradient:red-blue -fill yellow -draw 'rectangle 2,2 8,6' '" +
                           src + "' 2>/dev/null").c_str()), 0);
    std::string noisy = dir + "/noisy.png";
    ASSERT_EQ(std::system(("/usr/bin/convert -size 23x11 xc:gray -seed 1 +noise Random '" + noisy + "' 2>/dev/null").c_str()), 0);
    const struct { const char* from; const char* options; int bpp; uint32_t header; } cases[] = {
        {"src", "-type bilevel BMP3:", 1, 40},
        {"src", "-colors 12 -type palette BMP3:", 4, 40},
        {"noisy", "-colors 200 -type palette BMP3:", 8, 40},
        {"src", "-define bmp:subtype=RGB565 BMP:", 16, 124},
        {"src", "-define bmp:subtype=RGB555 BMP:", 16, 124},
        {"src", "-type truecolor BMP3:", 24, 40},
        {"src", "-type truecolormatte BMP:", 32, 124},
    };
    int i = 0;
    for (const auto& c : cases) {
        std::string out = dir + "/out" + std::to_string(i++) + ".bmp";
        SCOPED_TRACE(c.options);
        std::string in = std::string(c.from) == "src" ? src : noisy;
        ASSERT_EQ(std::system(("/usr/bin/convert '" + in + "' " + c.options + "'" + out + "' 2>/dev/null").c_str()), 0);
        std::ifstream f(out, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(f)), {});
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(uint8_t(bytes[28]), c.bpp);
        EXPECT_EQ(uint8_t(bytes[14]), c.header);
        TBitmap b;
        b.LoadFromBytes(bytes.data(), bytes.size());
        Decoded m = Magick(out, 23, 11);
        ASSERT_EQ(m.w, 23);
        EXPECT_EQ(Pixels(b).rgb, m.rgb);
    }
    std::filesystem::remove_all(dir);
}

TEST(BmpCodec, DamagedFilesRaiseInvalidGraphicAndNeverOverrun) {
    auto b = TestPicture(13, 7);
    std::vector<std::string> files;
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
        b->SetPixelFormat(pf);
        files.push_back(b->SaveToBytes());
    }
    std::string rle = MakeBmp(4, 2, 8, 1, DefaultPalette(pf1bit), std::string("\x04\x01\x00\x00\x02\x00\x00\x01", 8));
    files.push_back(rle);
    for (const std::string& f : files) {
        TBitmap ok;
        ASSERT_NO_THROW(ok.LoadFromBytes(f.data(), f.size()));
        // Every truncation fails cleanly (ASan catches any read past the copy).
        // (A missing pad of the last row is harmless and accepted, so cuts stop 3 bytes short.)
        for (size_t n = 0; n + 3 < f.size(); n += (n < 80 ? 1 : 7)) {
            std::vector<uint8_t> cut(f.begin(), f.begin() + long(n));
            TBitmap t;
            EXPECT_THROW(t.LoadFromBytes(cut.data(), cut.size()), EInvalidGraphic) << n;
        }
    }
    // Corrupted header fields.
    std::string f = files[2];
    auto with = [&](size_t at, uint32_t v, int bytes) {
        std::string g = f;
        for (int i = 0; i < bytes; ++i) g[at + i] = char((v >> (8 * i)) & 0xFF);
        return g;
    };
    for (const std::string& g : {with(0, 'X', 1), with(14, 200, 4), with(18, 0, 4), with(18, 0x7FFFFFFF, 4),
                                 with(22, 0x80000000, 4), with(28, 7, 2), with(30, 9, 4), with(30, 2, 4),
                                 with(46, 1000, 4), with(10, 0xFFFFFF, 4), with(18, 40000, 4)}) {
        TBitmap t;
        EXPECT_THROW(t.LoadFromBytes(g.data(), g.size()), EInvalidGraphic);
    }
    try {
        TBitmap t;
        t.LoadFromBytes("BMxx", 4);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    // Random damage never crashes.
    std::mt19937 rng(7);
    for (int i = 0; i < 400; ++i) {
        std::string g = files[size_t(i) % files.size()];
        for (int k = 0; k < 4; ++k) g[rng() % g.size()] = char(rng());
        TBitmap t;
        try { t.LoadFromBytes(g.data(), g.size()); } catch (const EInvalidGraphic&) {}
    }
}

TEST(BmpCodec, RleIndexesOutsideTheImageAreClipped) {
    // Runs past the right edge and deltas below the last row write nothing outside.
    std::string data("\xFF\x03\x00\x00\x00\x02\x05\x09\x0A\x02\x00\x01", 12);
    std::string f = MakeBmp(3, 2, 8, 1, DefaultPalette(pf4bit), data);
    TBitmap b;
    ASSERT_NO_THROW(b.LoadFromBytes(f.data(), f.size()));
    EXPECT_EQ(b.GetPixel(0, 1), RGB(128, 128, 0));
}

TEST(BmpCodec, StreamsAndFilesKeepFormatAndPalette) {
    std::string dir = gfxtest::TempDir();
    auto b = TestPicture(10, 10);
    std::vector<TColor> pal;
    for (int i = 0; i < 16; ++i) pal.push_back(RGB(i * 16, 255 - i * 16, 100));
    b->SetPixelFormat(pf4bit);
    b->SetPaletteColors(pal);
    b->SaveToFile(dir + "/p.bmp");
    TBitmap c;
    c.LoadFromFile(dir + "/p.bmp");
    EXPECT_EQ(c.GetPixelFormat(), pf4bit);
    EXPECT_EQ(c.GetPaletteColors(), pal);
    EXPECT_EQ(Pixels(c).rgb, Pixels(*b).rgb);
    // A bitmap inside a longer stream reads only its own bytes.
    TMemoryStream ms;
    b->SaveToStream(ms);
    ms.WriteString("TRAILER");
    ms.SetPosition(0);
    TBitmap d;
    d.LoadFromStream(ms);
    EXPECT_EQ(ms.ReadAll(), "TRAILER");
    std::filesystem::remove_all(dir);
}

TEST(Pictures, PngSaveLoadAndSignatureDetection) {
    auto b = TestPicture(17, 9);
    std::string png = b->SaveToPngBytes();
    Decoded oracle = Stb(png);
    EXPECT_EQ(oracle.rgb, Pixels(*b).rgb);
    // By signature, whatever the extension says.
    std::string dir = gfxtest::TempDir();
    WriteFile(dir + "/pic.dat", png);
    TPicture p;
    p.LoadFromFile(dir + "/pic.dat");
    ASSERT_TRUE(p.GetGraphic() && p.GetGraphic()->Is<TPngImage>());
    EXPECT_EQ(p.GetWidth(), 17);
    TBitmap back;
    back.Assign(p.GetGraphic());
    EXPECT_EQ(Pixels(back).rgb, Pixels(*b).rgb);
    // JPEG: lossy, but close.
    TJPEGImage j;
    auto big = TestPicture(64, 48);
    j.Assign(big.get());
    TMemoryStream ms;
    j.SaveToStream(ms);
    ms.SetPosition(0);
    std::unique_ptr<TGraphic> g(LoadGraphicFromStream(ms));
    ASSERT_TRUE(g->Is<TJPEGImage>());
    std::unique_ptr<TBitmap> jb(g->ToBitmap());
    EXPECT_EQ(jb->GetWidth(), 64);
    EXPECT_NEAR(GetRValue(jb->GetPixel(8, 8)), 255, 24);
    EXPECT_NEAR(GetGValue(jb->GetPixel(8, 8)), 0, 24);
    // Not a picture.
    WriteFile(dir + "/x.txt", "hello");
    try {
        p.LoadFromFile(dir + "/x.txt");
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.txt)");
    }
    WriteFile(dir + "/x.bmp", "hello");
    EXPECT_THROW(p.LoadFromFile(dir + "/x.bmp"), EInvalidGraphic);
    EXPECT_THROW(LoadGraphicFromBytes("\x89PNG\r\n\x1a\nxx", 10), EInvalidGraphic);
    std::filesystem::remove_all(dir);
}

TEST(Pictures, AssignHooksAndBitmapOnDemand) {
    // A source the picture does not know, handled by a registered hook (as the data layer's
    // blob fields are).
    struct TBlobLike : TPersistent { std::string bytes; };
    static bool registered = false;
    if (!registered) {
        registered = true;
        TPicture::RegisterAssignFrom([](TPicture* p, TPersistent* src) {
            auto* blob = dynamic_cast<TBlobLike*>(src);
            if (!blob) return false;
            p->LoadFromBytes(blob->bytes.data(), blob->bytes.size());
            return true;
        });
    }
    TBlobLike blob;
    blob.bytes = TestPicture(4, 3)->SaveToBytes();
    TPicture p;
    int changes = 0;
    p.OnChange = [&](TObject*) { ++changes; };
    p.Assign(&blob);
    EXPECT_EQ(p.GetWidth(), 4);
    EXPECT_GT(changes, 0);
    blob.bytes = "garbage";
    EXPECT_THROW(p.Assign(&blob), EInvalidGraphic);
    TPicture q;
    q.Assign(&p);
    EXPECT_EQ(q.GetHeight(), 3);
    EXPECT_NE(q.GetGraphic(), p.GetGraphic());
    q.Assign(nullptr);
    EXPECT_EQ(q.GetGraphic(), nullptr);
    EXPECT_TRUE(q.GetBitmap()->GetEmpty());
}
