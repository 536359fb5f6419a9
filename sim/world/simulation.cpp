#include "sim/world/simulation.h"

#include <algorithm>

#include "sim/world/display.h"

namespace sim {

namespace {
Simulation* currentSimulation = nullptr;
}

Simulation::Simulation() { currentSimulation = this; }

Simulation::~Simulation() {
    closeAllDisplays();
    if (currentSimulation == this) currentSimulation = nullptr;
}

Simulation* Simulation::current() { return currentSimulation; }

VesselRecord& Simulation::addVessel(const VesselSpec& wanted) {
    VesselRecord* reused = nullptr;
    if (!reusable_.empty()) {
        reused = reusable_.front();
        reusable_.pop_front();
    }
    VesselRecord& r = reused ? *reused : records_.emplace_back();
    r.removed = false;
    r.name = wanted.name;
    r.className = wanted.className;
    r.tanks = wanted.tanks;
    r.ports.assign(wanted.ports, DockPort{});
    for (DockPort& p : r.ports) p.owner = &r;
    if (!r.vessel) r.vessel = std::make_unique<VESSEL>(r.handle());
    handles_.insert(r.handle());
    return r;
}

bool Simulation::removeVessel(VesselRecord& vessel) {
    if (vessel.removed) return false;
    for (OPC_DELETEVESSEL callback : std::vector(deleteVesselCallbacks_)) callback(vessel.handle());
    for (Display* d : displays()) {
        if (&d->vessel() == &vessel) removeDisplay(*d);
    }
    for (unsigned i = 0; i < vessel.ports.size(); ++i) undock(vessel, i);
    vessel.vessel.reset();
    vessel.removed = true;
    return true;
}

VesselRecord* Simulation::findVessel(const std::string& name) {
    for (VesselRecord& r : records_) {
        if (!r.removed && r.name == name) return &r;
    }
    return nullptr;
}

VesselRecord* Simulation::record(OBJHANDLE handle) {
    return handles_.count(handle) ? static_cast<VesselRecord*>(handle) : nullptr;
}

std::vector<VesselRecord*> Simulation::vessels() {
    std::vector<VesselRecord*> out;
    for (VesselRecord& r : records_) {
        if (!r.removed) out.push_back(&r);
    }
    return out;
}

bool Simulation::dock(VesselRecord& a, unsigned portA, VesselRecord& b, unsigned portB) {
    if (&a == &b || a.removed || b.removed) return false;
    if (portA >= a.ports.size() || portB >= b.ports.size()) return false;
    if (a.ports[portA].docked || b.ports[portB].docked) return false;
    a.ports[portA].docked = &b;
    a.ports[portA].dockedPort = portB;
    b.ports[portB].docked = &a;
    b.ports[portB].dockedPort = portA;
    return true;
}

bool Simulation::undock(VesselRecord& a, unsigned portA) {
    if (portA >= a.ports.size() || !a.ports[portA].docked) return false;
    DockPort& mine = a.ports[portA];
    DockPort& theirs = mine.docked->ports[mine.dockedPort];
    theirs.docked = nullptr;
    theirs.dockedPort = 0;
    mine.docked = nullptr;
    mine.dockedPort = 0;
    return true;
}

double Simulation::totalPropellant() {
    double total = 0.0;
    for (VesselRecord& r : records_) {
        if (r.removed) continue;
        for (const Tank& t : r.tanks) total += t.mass;
    }
    return total;
}

Display& Simulation::addDisplay(const std::string& name, VesselRecord& vessel, unsigned width,
                                unsigned height) {
    displays_.push_back(std::make_unique<Display>(*this, name, vessel, width, height));
    return *displays_.back();
}

bool Simulation::removeDisplay(Display& display) {
    const auto it =
        std::find_if(displays_.begin(), displays_.end(),
                     [&display](const std::unique_ptr<Display>& d) { return d.get() == &display; });
    if (it == displays_.end()) return false;
    displays_.erase(it);
    return true;
}

Display* Simulation::findDisplay(const std::string& name) {
    for (auto& d : displays_) {
        if (d->name() == name) return d.get();
    }
    return nullptr;
}

std::vector<Display*> Simulation::displays() {
    std::vector<Display*> out;
    for (auto& d : displays_) out.push_back(d.get());
    return out;
}

void Simulation::closeAllDisplays() { displays_.clear(); }

void Simulation::addTimestepCallback(OPC_TIMESTEP callback) { timestepCallbacks_.push_back(callback); }

void Simulation::addDeleteVesselCallback(OPC_DELETEVESSEL callback) {
    deleteVesselCallbacks_.push_back(callback);
}

void Simulation::removeDeleteVesselCallback(OPC_DELETEVESSEL callback) {
    std::erase(deleteVesselCallbacks_, callback);
}

void Simulation::removeTimestepCallback(OPC_TIMESTEP callback) { std::erase(timestepCallbacks_, callback); }

void Simulation::addSessionCallbacks(OPC_OPENRENDERVIEWPORT start, OPC_CLOSERENDERVIEWPORT end) {
    if (start) sessionStartCallbacks_.push_back(start);
    if (end) sessionEndCallbacks_.push_back(end);
}

void Simulation::removeSessionCallbacks(OPC_OPENRENDERVIEWPORT start, OPC_CLOSERENDERVIEWPORT end) {
    std::erase(sessionStartCallbacks_, start);
    std::erase(sessionEndCallbacks_, end);
}

void Simulation::startSession() {
    for (OPC_OPENRENDERVIEWPORT callback : std::vector(sessionStartCallbacks_)) callback(nullptr, 0, 0, 0);
}

void Simulation::endSession() {
    closeAllDisplays();
    for (VesselRecord* r : vessels()) {
        for (unsigned i = 0; i < r->ports.size(); ++i) undock(*r, i);
        r->removed = true;  // its interface stays, for the vessel that takes its place
        reusable_.push_back(r);
    }
    for (OPC_CLOSERENDERVIEWPORT callback : std::vector(sessionEndCallbacks_)) callback();
}

void Simulation::step(double dt) {
    simTime += dt;
    for (OPC_TIMESTEP callback : timestepCallbacks_) callback(simTime, dt, 0.0);
}

}  // namespace sim
