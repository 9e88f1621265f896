// links: dbv_graphics
// Fuzzes the BMP reader (and the picture formats found by signature): malformed input must
// raise EInvalidGraphic and nothing else; whatever loads must save and load again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "graphics/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vcl::TBitmap b;
    try {
        b.LoadFromBytes(data, size);
    } catch (const vcl::EInvalidGraphic&) {
        b.Assign(nullptr);
    }
    if (!b.GetEmpty()) {
        std::string out = b.SaveToBytes();
        vcl::TBitmap again;
        again.LoadFromBytes(out.data(), out.size());
        if (again.GetWidth() != b.GetWidth() || again.GetHeight() != b.GetHeight() ||
            again.SaveToBytes() != out)
            std::abort();
    }
    try {
        vcl::TPicture p;
        p.LoadFromBytes(data, size);
    } catch (const vcl::EInvalidGraphic&) {
    }
    return 0;
}
