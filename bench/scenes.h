// The situations the benchmarks measure: an own vessel with three tanks and two docking ports,
// a depot docked at its first port, and the shared transfer state set as a pilot would leave
// it for each page, the pump running.
#pragma once

#include <array>
#include <cstddef>

#include "display/pump_mfd.h"
#include "sim/world/display.h"
#include "sim/world/simulation.h"

namespace bench {

enum class Page { CrossFeed, Load, Unload, Vent, Help };
inline constexpr std::array<Page, 5> kPages = {Page::CrossFeed, Page::Load, Page::Unload, Page::Vent,
                                               Page::Help};
const char* pageName(Page page);  // one lower-case word, for benchmark names

// The display's size and the cell width both surfaces advance by.
inline constexpr int kDisplaySize = static_cast<int>(sim::kDefaultDisplaySize);
inline const int kCellWidth = sim::cellWidthFor(sim::kDefaultDisplaySize);

// Vessel slots, as the recorded calls name them.
inline constexpr int kOwn = 0;
inline constexpr int kDepot = 1;
inline constexpr int kSlots = 2;

// One scene at a time: the simulation becomes the current one and the transfer state is the
// module's single one. The call record does not log unless a recording switches it on.
class PageScene {
public:
    explicit PageScene(Page page);
    ~PageScene();
    PageScene(const PageScene&) = delete;
    PageScene& operator=(const PageScene&) = delete;

    // The slot of a vessel handle, or -1.
    int slotOf(OBJHANDLE handle) const;
    VESSEL* vessel(int slot) const { return records_[slot]->vessel.get(); }
    OBJHANDLE handle(int slot) const { return records_[slot]->handle(); }
    // Whether the state is as the constructor left it: a redraw must not change it.
    bool stateUnchanged() const;

    sim::Simulation sim;
    PumpMFD& mfd() { return *mfd_; }

private:
    std::array<sim::VesselRecord*, kSlots> records_{};
    PumpMFD* mfd_ = nullptr;
    TransferState expected_{};
};

}  // namespace bench
