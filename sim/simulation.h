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
#include "sim/call_record.h"

namespace sim {

struct Tank {
    double capacity = 0.0;  // kg
    double mass = 0.0;      // kg
};

struct VesselRecord;
class Display;

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

struct RegisteredMode {
    int id;
    std::string name;
    DWORD key;
    MFD_MSGPROC msgproc;
};

class Simulation {
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

    // Display modes registered by modules.
    int registerMode(const MFDMODESPEC& mode);
    bool unregisterMode(int id);
    const RegisteredMode* findMode(const std::string& name) const;
    const RegisteredMode* findMode(int id) const;
    // The mode a key selects on the mode selection page: the first registered with that key.
    const RegisteredMode* findModeByKey(DWORD key) const;
    const std::vector<RegisteredMode>& modes() const { return modes_; }
    // Told of each mode as it is registered, while the module is still inside its call (tests
    // use it to see what a module has done by the time it registers).
    std::function<void(const RegisteredMode&)> onModeRegistered;

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
    std::vector<RegisteredMode> modes_;
    int nextModeId_ = 1;
};

}  // namespace sim
