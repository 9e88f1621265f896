// Graphics timings: text measuring and drawing (what grid painting does per cell), BMP decoding
// and encoding, and a full-cell fill.
#include <benchmark/benchmark.h>

#include "graphics/graphics.h"

using namespace vcl;

static void BM_TextWidth(benchmark::State& st) {
    TCanvas c;
    for (auto _ : st) benchmark::DoNotOptimize(c.TextWidth("Customer number 10024"));
}
BENCHMARK(BM_TextWidth);

static void BM_DrawTextCell(benchmark::State& st) {
    TBitmap b;
    b.SetSize(200, 20);
    TCanvas* c = b.GetCanvas();
    for (auto _ : st) {
        TRect r{0, 0, 200, 20};
        c->FillRect(r);
        c->DrawText("Customer number 10024", r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    }
}
BENCHMARK(BM_DrawTextCell);

static void BM_BmpDecode24(benchmark::State& st) {
    TBitmap b;
    b.SetSize(640, 480);
    b.SetPixelFormat(pf24bit);
    std::string bytes = b.SaveToBytes();
    for (auto _ : st) {
        TBitmap d;
        d.LoadFromBytes(bytes.data(), bytes.size());
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_BmpDecode24);

static void BM_BmpEncode8(benchmark::State& st) {
    TBitmap b;
    b.SetSize(640, 480);
    b.SetPixelFormat(pf8bit);
    for (auto _ : st) benchmark::DoNotOptimize(b.SaveToBytes());
}
BENCHMARK(BM_BmpEncode8);

BENCHMARK_MAIN();
