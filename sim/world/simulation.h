// The emulated simulation: vessels with tanks and docking ports, registered display modes,
// and the record of host calls. The host functions act on the current simulation.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/host.h"
#include "sim/world/call_record.h"
#include "sim/world/modes.h"
#include "sim/world/vessel.h"

namespace sim {

class Display;

// A simulation is where modules register their display modes: a display sees only those.
class Simulation : public ModeRegistry {
public:
    Simulation();  // becomes the current simulation
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    static Simulation* current();

    // Vessels. Names are single words and unique among the vessels present.
    VesselRecord& addVessel(const VesselSpec& wanted);
    bool removeVessel(VesselRecord& vessel);  // undocks it first
    VesselRecord* findVessel(const std::string& name);
    VesselRecord* record(OBJHANDLE handle);  // any record ever made, removed ones included
    std::vector<VesselRecord*> vessels();    // present ones, in the order they were added

    // Docking is mutual: port a of one vessel holds port b of the other.
    bool dock(VesselRecord& a, unsigned portA, VesselRecord& b, unsigned portB);
    bool undock(VesselRecord& a, unsigned portA);

    double totalPropellant();  // kg, over the present vessels

    // Displays of the cockpit. Removing a vessel closes its displays first, as the simulator
    // destroys a vessel's instruments with it.
    Display& addDisplay(const std::string& name, VesselRecord& vessel, unsigned width, unsigned height);
    bool removeDisplay(Display& display);
    Display* findDisplay(const std::string& name);
    std::vector<Display*> displays();
    void closeAllDisplays();  // before a module is unloaded: instruments are its code

    // Time: each step calls every registered time-step callback with the step length.
    void addTimestepCallback(OPC_TIMESTEP callback);
    void removeTimestepCallback(OPC_TIMESTEP callback);
    // Told of each vessel about to be removed, while it is still a vessel.
    void addDeleteVesselCallback(OPC_DELETEVESSEL callback);
    void removeDeleteVesselCallback(OPC_DELETEVESSEL callback);
    void step(double dt);

    // Sessions, in the simulator's order. A session starts with its vessels made, then
    // startSession tells the plug-ins, then its displays open and read their blocks. At its end,
    // after the save, endSession destroys the displays, deletes every vessel without telling
    // the plug-ins (they hear of deletions only while a session runs), and then tells them. The
    // next session's vessels take the deleted ones' records, handles and interfaces, as the
    // simulator may hand a deleted vessel's memory to the next.
    void addSessionCallbacks(OPC_OPENRENDERVIEWPORT start, OPC_CLOSERENDERVIEWPORT end);
    void removeSessionCallbacks(OPC_OPENRENDERVIEWPORT start, OPC_CLOSERENDERVIEWPORT end);
    void startSession();
    void endSession();

    CallRecord calls;
    double simTime = 0.0;  // s

private:
    std::deque<VesselRecord> records_;  // deque: records never move
    std::unordered_set<OBJHANDLE> handles_;
    std::vector<std::unique_ptr<Display>> displays_;
    std::vector<OPC_TIMESTEP> timestepCallbacks_;
    std::vector<OPC_DELETEVESSEL> deleteVesselCallbacks_;
    std::vector<OPC_OPENRENDERVIEWPORT> sessionStartCallbacks_;
    std::vector<OPC_CLOSERENDERVIEWPORT> sessionEndCallbacks_;
    std::deque<VesselRecord*> reusable_;  // deleted at a session's end, in the order they were made
};

}  // namespace sim
