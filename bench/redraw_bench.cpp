// The cost of a redraw: Repaint of each page against the generated replay of the same calls
// (replay.h), on a surface that only keeps the GDI state and on the emulator's raster surface.
#include <memory>
#include <string>

#include "benchmarks.h"
#include "counting.h"
#include "replay.h"
#include "sim/drawing/raster_surface.h"
#include "trace.h"

namespace bench {

namespace {

enum class Surface { Recording, Raster };

std::unique_ptr<HDC__> makeSurface(Surface kind) {
    if (kind == Surface::Recording) return std::make_unique<sim::RecordingSurface>(kCellWidth, false);
    return std::make_unique<sim::RasterSurface>(kDisplaySize, kDisplaySize);
}

// Before measuring: the replay of the page must still make the page's calls, and the raster
// surface must draw text with the same advance as the recording.
bool replayMatches(benchmark::State& state, PageScene& scene, const PageReplay& replay, HDC surface) {
    if (surface->charAdvance != kCellWidth) {
        state.SkipWithError("the surface's cell width differs from the recorded one");
        return false;
    }
    if (auto* raster = dynamic_cast<sim::RasterSurface*>(surface); raster && !raster->font()) {
        state.SkipWithError(("no font: " + raster->fontError()).c_str());
        return false;
    }
    const ReplayContext context = replayContext(scene);
    const Trace page = recordTrace(scene, [&](HDC d) { scene.mfd().Repaint(d); });
    for (const Replay kind : kReplays) {
        // What the replay of this kind must make: the page's calls less those it leaves out.
        Trace expected;
        for (const TraceItem& item : page) {
            if (item.host && (kind == Replay::Gdi || (kind == Replay::Host && robustnessCheck(item.call))))
                continue;
            expected.push_back(item);
        }
        const Trace replayed =
            recordTrace(scene, [&](HDC d) { replay.function[static_cast<size_t>(kind)](d, context); });
        const std::string difference = compareTraces(expected, replayed);
        if (!difference.empty()) {
            state.SkipWithError(
                ("replay (" + std::string(replayName(kind)) + ") out of date, rebuild: " + difference)
                    .c_str());
            return false;
        }
    }
    return true;
}

void finish(benchmark::State& state, PageScene& scene, int64_t liveBrushes) {
    if (scene.sim.calls.badCalls) state.SkipWithError("bad host calls");
    if (!scene.stateUnchanged()) state.SkipWithError("drawing changed the transfer state");
    if (sim::GdiObjects::live() != liveBrushes) state.SkipWithError("brushes left undeleted");
}

// variant < 0: the module's Repaint; else the replay of that kind.
void redraw(benchmark::State& state, Page page, Surface kind, int variant) {
    PageScene scene(page);
    const PageReplay& replay = kPageReplays[static_cast<size_t>(page)];
    const std::unique_ptr<HDC__> surface = makeSurface(kind);
    const int64_t liveBrushes = sim::GdiObjects::live();
    if (!replayMatches(state, scene, replay, surface.get())) return;
    HDC d = surface.get();
    if (variant < 0) {
        PumpMFD& mfd = scene.mfd();
        countPerOperation(
            state, scene.sim, [&] { mfd.Repaint(d); }, 100);
        for (auto _ : state) mfd.Repaint(d);
    } else {
        const ReplayFunction f = replay.function[static_cast<size_t>(variant)];
        const ReplayContext context = replayContext(scene);
        countPerOperation(
            state, scene.sim, [&] { f(d, context); }, 100);
        for (auto _ : state) f(d, context);
    }
    finish(state, scene, liveBrushes);
}

}  // namespace

void registerRedrawBenchmarks() {
    for (const Surface kind : {Surface::Recording, Surface::Raster}) {
        const std::string s = kind == Surface::Recording ? "recording" : "raster";
        for (const Page page : kPages) {
            const std::string p = pageName(page);
            auto* b = benchmark::RegisterBenchmark(("redraw/" + s + "/module/" + p).c_str(), redraw, page,
                                                   kind, -1);
            if (kind == Surface::Raster) b->Unit(benchmark::kMicrosecond);
            for (const Replay r : kReplays) {
                auto* rb =
                    benchmark::RegisterBenchmark(("redraw/" + s + "/" + replayName(r) + "/" + p).c_str(),
                                                 redraw, page, kind, static_cast<int>(r));
                if (kind == Surface::Raster) rb->Unit(benchmark::kMicrosecond);
            }
        }
    }
}

}  // namespace bench
