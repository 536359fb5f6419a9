// The emulator's raster surface: a page's worth of GDI drawing (about the text and gauges of a
// status page) on the default 512 x 512 display, with and without clearing the picture first.
#include <benchmark/benchmark.h>

#include "host/gdi.h"
#include "sim/raster_surface.h"

namespace {

void line(HDC surface, int x, int y, COLORREF colour, const char* text) {
    MoveToEx(surface, x, y, nullptr);
    SetBkMode(surface, TRANSPARENT);
    SetTextColor(surface, colour);
    TextOutA(surface, 0, 0, text, lstrlenA(text));
}

void gauge(sim::RasterSurface& s, int row, int fillWidth) {
    HDC d = &s;
    const int cw = s.cellWidth(), ch = s.cellHeight(), x = cw / 2;
    const int top = row * ch + ch / 2, bottom = row * ch + 2 * ch;
    Rectangle(d, x, top, s.width() - x, bottom);
    HBRUSH brush = CreateSolidBrush(0x8080);
    HGDIOBJ previous = SelectObject(d, brush);
    Rectangle(d, x, top, x + fillWidth, bottom);
    SelectObject(d, previous);
    DeleteObject(brush);
    line(d, cw + x, top, 0xffffff, "250.0 kg");
    line(d, 15 * cw + x, top, 0xffffff, "25.00%");
    line(d, 27 * cw + x, top, 0xffffff, "  1000 kg");
}

void page(sim::RasterSurface& s) {
    HDC d = &s;
    const int x = s.cellWidth() / 2, ch = s.cellHeight();
    SetTextAlign(d, TA_UPDATECP);
    line(d, x, 0, 0xffffff, "Fuel Mgt");
    line(d, x + 8 * s.cellWidth(), 0, 0xc0c0c0, " Ship-1 (Tanker)");
    line(d, x, 3 * ch, 0xc000, "Pump Mode: Unload (TGT => SRC)");
    line(d, x, 6 * ch, 0xc000, "Pump Rate: Medium");
    line(d, x, 13 * ch, 0xc000, "Target Tank 1 (of 3)");
    gauge(s, 14, 125);
    line(d, x, 17 * ch, 0xc000, "Source Tank 2 (of 3)");
    gauge(s, 18, 400);
    MoveToEx(d, x, 20 * ch, nullptr);
    SetBkMode(d, OPAQUE);
    SetBkColor(d, 0xc0);
    SetTextColor(d, 0xffffff);
    TextOutA(d, 0, 0, " NO DOCKING PORTS ", 18);
}

void rasterPage(benchmark::State& state) {
    sim::RasterSurface s(512, 512);
    for (auto _ : state) {
        if (state.range(0)) s.clear();
        page(s);
        benchmark::DoNotOptimize(s.image().rgb.data());
    }
}
BENCHMARK(rasterPage)->Arg(0)->Arg(1)->ArgName("clear")->Unit(benchmark::kMicrosecond);

}  // namespace
