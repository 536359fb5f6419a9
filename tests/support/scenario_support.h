// What a test needs to save a simulation it built itself and load it again.
#pragma once

#include <string>

#include "sim/formats/vessel_catalogue.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/simulation.h"

namespace test {

// The classes of the vessels, so that the saved ships load with the same tanks and ports:
// each class with the capacities and ports of its (last) vessel.
inline sim::VesselCatalogue classesOf(sim::Simulation& simulation) {
    sim::VesselCatalogue classes;
    for (sim::VesselRecord* v : simulation.vessels()) {
        sim::VesselClass c{
            v->className.empty() ? v->name : v->className, {}, static_cast<unsigned>(v->ports.size())};
        for (const sim::Tank& t : v->tanks) c.tanks.push_back(t.capacity);
        classes.add(std::move(c));
    }
    return classes;
}

// What a save and a load make of the masses: the file holds each tank's level to six
// decimals, and loading sets the mass to that level times the capacity.
inline void setSavedLevels(sim::Simulation& simulation) {
    for (sim::VesselRecord* v : simulation.vessels()) {
        for (sim::Tank& t : v->tanks) {
            if (t.mass > 0.0) t.mass = std::stod(sim::formatLevel(t.mass, t.capacity)) * t.capacity;
        }
    }
}

}  // namespace test
