// Helpers for the graphics tests: bitmaps with a known background, ink bounds, temp files.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "graphics/graphics.h"

namespace gfxtest {

inline std::unique_ptr<vcl::TBitmap> Surface(int w, int h, vcl::TColor bg = vcl::clWhite) {
    auto b = std::make_unique<vcl::TBitmap>();
    b->SetSize(w, h);
    b->GetCanvas()->GetBrush()->SetColor(bg);
    b->GetCanvas()->FillRect({0, 0, w, h});
    return b;
}

// Bounding box of the pixels that differ from bg (empty when none).
inline vcl::TRect Ink(vcl::TBitmap& b, vcl::TColor bg = vcl::clWhite) {
    vcl::TRect r{b.GetWidth(), b.GetHeight(), 0, 0};
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x)
            if (b.GetPixel(x, y) != bg) {
                r.Left = std::min(r.Left, x); r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1); r.Bottom = std::max(r.Bottom, y + 1);
            }
    if (r.Right == 0) return {};
    return r;
}

inline std::string TempDir() {
    auto d = std::filesystem::temp_directory_path() /
             ("dbv_gfx_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(d);
    return d.string();
}

inline bool HaveMagick() { return std::filesystem::exists("/usr/bin/convert"); }

}  // namespace gfxtest
