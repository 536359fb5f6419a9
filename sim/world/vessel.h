// A vessel of the simulation: its tanks and docking ports.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "sim/formats/records.h"

namespace sim {

struct VesselRecord;

struct DockPort {
    VesselRecord* owner = nullptr;
    VesselRecord* docked = nullptr;  // the vessel docked here, or null
    unsigned dockedPort = 0;         // its port that holds this one
};

// One vessel. The record outlives the vessel's removal, so that within a session its handle
// is never reused and a stale handle can be recognised; a session's end frees it for the next.
struct VesselRecord {
    std::string name;
    std::string className;
    std::vector<Tank> tanks;         // fixed at creation: tank handles point into it
    std::vector<DockPort> ports;     // fixed at creation: dock handles point into it
    std::unique_ptr<VESSEL> vessel;  // null once removed
    bool removed = false;

    OBJHANDLE handle() { return this; }
};

struct VesselSpec {
    std::string name;
    std::string className;
    std::vector<Tank> tanks;
    unsigned ports = 0;
};

}  // namespace sim
