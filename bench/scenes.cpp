#include "scenes.h"

namespace bench {

const char* pageName(Page page) {
    switch (page) {
        case Page::CrossFeed:
            return "crossfeed";
        case Page::Load:
            return "load";
        case Page::Unload:
            return "unload";
        case Page::Vent:
            return "vent";
        case Page::Help:
            return "help";
    }
    return "?";
}

PageScene::PageScene(Page page) {
    sim.calls.logging = false;
    records_[kOwn] = &sim.addVessel({"Kestrel-7", "ShuttleA", {{1000, 250}, {500, 500}, {200, 40}}, 2});
    records_[kDepot] = &sim.addVessel({"Depot", "FuelDepot", {{20000, 17960}, {5000, 1200}}, 1});
    sim.dock(*records_[kOwn], 0, *records_[kDepot], 0);

    clearTransferState();
    mfd_ = new PumpMFD(sim::kDefaultDisplaySize, sim::kDefaultDisplaySize, vessel(kOwn));
    TransferState& s = transferState;
    s.targetTank = 2;
    s.pumpRate = 2;
    switch (page) {
        case Page::CrossFeed:
            s.pumpMode = CrossFeed;
            s.sourceTank = 1;
            break;
        case Page::Load:
        case Page::Help:
            s.pumpMode = Load;
            s.setSource(vessel(kDepot), handle(kDepot));
            break;
        case Page::Unload:
            s.pumpMode = Unload;
            s.setSource(vessel(kDepot), handle(kDepot));
            break;
        case Page::Vent:
            s.pumpMode = Vent;
            s.setSource(nullptr, nullptr);
            break;
    }
    if (page == Page::Help) mfd_->ConsumeKeyBuffered(kKeyHelp);  // the status page's state kept behind it
    expected_ = s;
}

PageScene::~PageScene() {
    delete mfd_;
    clearTransferState();
}

int PageScene::slotOf(OBJHANDLE handle) const {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (records_[slot]->handle() == handle) return slot;
    }
    return -1;
}

bool PageScene::stateUnchanged() const {
    const TransferState& s = transferState;
    const TransferState& e = expected_;
    return s.targetVessel == e.targetVessel && s.targetTank == e.targetTank &&
           s.sourceVessel == e.sourceVessel && s.sourceTank == e.sourceTank && s.dockPort == e.dockPort &&
           s.pumpMode == e.pumpMode && s.pumpRate == e.pumpRate && s.targetHandle == e.targetHandle &&
           s.sourceHandle == e.sourceHandle;
}

}  // namespace bench
