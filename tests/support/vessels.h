// Vessels added to an emulated simulation by the tests that run code over it.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "sim/world/simulation.h"

namespace test {

inline sim::VesselRecord& addVessel(sim::Simulation& s, const std::string& name,
                                    std::initializer_list<sim::Tank> tanks, unsigned ports = 0,
                                    const std::string& className = "Tanker") {
    return s.addVessel({name, className, std::vector<sim::Tank>(tanks), ports});
}

inline VESSEL* iface(sim::VesselRecord& r) { return r.vessel.get(); }

}  // namespace test
