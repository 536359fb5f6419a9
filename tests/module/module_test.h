// The shared transfer state as the module's tests start from it, over a fresh emulated
// simulation.
#pragma once

#include <gtest/gtest.h>

#include "sim/world/simulation.h"
#include "tests/support/vessels.h"
#include "transfer/transfer_state.h"

namespace test {

// The state set up for a vessel, as an instrument's construction leaves it, without host calls
// being recorded.
inline void setUpFor(sim::VesselRecord& r) {
    clearTransferState();
    transferState.setTarget(r.vessel.get(), r.handle());
    transferState.setSource(r.vessel.get(), r.handle());
}

// Every test starts from a cleared state and a fresh simulation.
class SimTest : public ::testing::Test {
protected:
    SimTest() { clearTransferState(); }
    ~SimTest() override { clearTransferState(); }
    sim::Simulation sim;
};

}  // namespace test
