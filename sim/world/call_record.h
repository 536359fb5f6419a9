// Which host calls the module made, in order, for tests that check the call rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/oapi.h"
#include "sim/world/call_list.h"

namespace sim {

// Every host call once: the enum and hostCallName are both made from this list.
#define KESTRANE_HOST_CALLS(X) \
    X(GetHandle)               \
    X(GetName)                 \
    X(GetClassName)            \
    X(DockCount)               \
    X(GetDockHandle)           \
    X(GetDockStatus)           \
    X(GetStatusEx)             \
    X(GetPropellantMass)       \
    X(GetPropellantMaxMass)    \
    X(SetPropellantMass)       \
    X(GetPropellantHandle)     \
    X(GetVesselInterface)      \
    X(GetVesselByName)         \
    X(IsVessel)                \
    X(ReleaseStatusList)       \
    X(RegisterMode)            \
    X(UnregisterMode)          \
    X(ReadScenarioLine)        \
    X(WriteScenarioInt)        \
    X(WriteScenarioString)     \
    X(InvalidateDisplay)       \
    X(Title)

enum class HostCall : uint8_t { KESTRANE_HOST_CALLS(KESTRANE_ENUMERATOR) };

const char* hostCallName(HostCall call);

struct CallEntry {
    HostCall call;
    OBJHANDLE vessel;  // the vessel asked, where the call concerns one
};

class CallRecord {
public:
    // Full logging is on by default; long runs switch it off and keep only the counters.
    bool logging = true;
    std::vector<CallEntry> calls;
    uint64_t callCount = 0;
    uint64_t statusListsAllocated = 0;
    uint64_t statusListsReleased = 0;
    // Calls that named no vessel, a removed vessel, or a tank or port of another vessel.
    uint64_t badCalls = 0;
    std::vector<std::string> badCallNotes;

    void add(HostCall call, OBJHANDLE vessel = nullptr) {
        ++callCount;
        if (logging) calls.push_back({call, vessel});
    }
    void bad(HostCall call, const char* what);
    void clear();
    size_t count(HostCall call) const;
    std::vector<HostCall> sequence() const;
    uint64_t liveStatusLists() const { return statusListsAllocated - statusListsReleased; }
};

}  // namespace sim
