// Vessels and state for tests that run the module's code over the emulator.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "sim/simulation.h"
#include "transfer/transfer_state.h"

namespace test {

inline sim::VesselRecord& addVessel(sim::Simulation& s, const std::string& name,
                                    std::initializer_list<sim::Tank> tanks, unsigned ports = 0,
                                    const std::string& className = "Tanker") {
    return s.addVessel({name, className, std::vector<sim::Tank>(tanks), ports});
}

inline VESSEL* iface(sim::VesselRecord& r) { return r.vessel.get(); }

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
