// Vessels and state for tests that run the module's code over the emulator.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

// A number from the environment (decimal, or hexadecimal with 0x), for runs that repeat or
// lengthen a randomised test; the fallback when the variable is unset or empty.
inline uint64_t envNumber(const char* name, uint64_t fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) return fallback;
    return std::strtoull(value, nullptr, 0);
}

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
