// Baselines for the redraw benchmarks: for each page, straight-line code that makes exactly the
// calls one Repaint of the page makes, with every text already formatted and every value
// already known. They are generated at build time from a recorded Repaint
// (generate_replays.cpp), and the benchmark checks before measuring that each still makes the
// same calls as the page.
#pragma once

#include <array>
#include <cstddef>

#include "host/host.h"
#include "scenes.h"

namespace bench {

// The vessels a replay asks, by slot, and the docking port it looks at.
struct ReplayContext {
    std::array<VESSEL*, kSlots> vessel{};
    std::array<OBJHANDLE, kSlots> handle{};
    UINT dockPort = 0;
};

using ReplayFunction = void (*)(HDC surface, const ReplayContext& context);

// What a replay makes besides the GDI calls.
enum class Replay {
    Gdi,      // the GDI calls alone
    Host,     // and the host calls the page needs: names, counts, dock queries, masses
    Checked,  // and the checks for removed vessels too: every call the page makes
};
inline constexpr std::array<Replay, 3> kReplays = {Replay::Gdi, Replay::Host, Replay::Checked};
constexpr const char* replayName(Replay replay) {
    return replay == Replay::Gdi ? "gdi" : replay == Replay::Host ? "host" : "checked";
}

struct PageReplay {
    Page page;
    std::array<ReplayFunction, kReplays.size()> function;  // indexed by Replay
    std::array<size_t, kReplays.size()> calls;             // how many calls each makes
};

// One per page, in the order of kPages.
extern const std::array<PageReplay, kPages.size()> kPageReplays;

inline ReplayContext replayContext(const PageScene& scene) {
    ReplayContext c;
    for (int slot = 0; slot < kSlots; ++slot) {
        c.vessel[slot] = scene.vessel(slot);
        c.handle[slot] = scene.handle(slot);
    }
    c.dockPort = static_cast<UINT>(transferState.dockPort);
    return c;
}

}  // namespace bench
