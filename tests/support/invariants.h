// What must hold after every call into the module, whatever came before: shared by the fuzz
// targets and the randomized invariant test. Each check returns what is wrong, or "".
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "sim/drawing/surface.h"
#include "sim/world/simulation.h"
#include "transfer/transfer_state.h"

namespace invariants {

inline std::string describeTank(const sim::VesselRecord& v, size_t tank) {
    return v.name + " tank " + std::to_string(tank);
}

// Every tank of every present vessel holds between 0 and its capacity (NaN fails too).
inline std::string tanksWithinCapacity(sim::Simulation& s) {
    for (sim::VesselRecord* v : s.vessels()) {
        for (size_t i = 0; i < v->tanks.size(); ++i) {
            const sim::Tank& t = v->tanks[i];
            if (!(t.mass >= 0.0 && t.mass <= t.capacity)) {
                return describeTank(*v, i) + " holds " + std::to_string(t.mass) + " of " +
                       std::to_string(t.capacity);
            }
        }
    }
    return "";
}

inline std::string stateInRange() {
    const TransferState& st = transferState;
    if (!validMode(st.pumpMode)) return "pumpMode " + std::to_string(st.pumpMode);
    if (!validRate(st.pumpRate)) return "pumpRate " + std::to_string(st.pumpRate);
    return "";
}

// No call about a null or removed vessel or another vessel's tank or port; every status list
// the module was given has been released.
inline std::string hostCallsClean(sim::Simulation& s) {
    if (s.calls.badCalls != 0) {
        return "bad host call: " +
               (s.calls.badCallNotes.empty() ? std::string("?") : s.calls.badCallNotes.front());
    }
    if (s.calls.liveStatusLists() != 0)
        return std::to_string(s.calls.liveStatusLists()) + " status lists not released";
    return "";
}

// Brushes the module created and did not delete; `before` is GdiObjects::live() before the call.
inline std::string brushesDeleted(int64_t before) {
    const int64_t live = sim::GdiObjects::live();
    return live == before ? "" : std::to_string(live - before) + " brushes left behind";
}

inline std::string all(sim::Simulation& s) {
    for (const std::string& v : {tanksWithinCapacity(s), stateInRange(), hostCallsClean(s)}) {
        if (!v.empty()) return v;
    }
    return "";
}

// The masses of the present vessels' tanks, to compare what one action changed.
struct TankMass {
    const sim::VesselRecord* vessel;
    size_t tank;
    double mass;
};
using Masses = std::vector<TankMass>;

inline Masses snapshot(sim::Simulation& s) {
    Masses out;
    for (sim::VesselRecord* v : s.vessels()) {
        for (size_t i = 0; i < v->tanks.size(); ++i) out.push_back({v, i, v->tanks[i].mass});
    }
    return out;
}

inline double total(const Masses& masses) {
    double sum = 0.0;
    for (const TankMass& m : masses) sum += m.mass;
    return sum;
}

// Two snapshots of the same vessels; vessels removed in between count as unchanged.
struct Change {
    const TankMass* before;
    double after;
};
inline std::vector<Change> changes(const Masses& before) {
    std::vector<Change> out;
    for (const TankMass& m : before) {
        if (m.vessel->removed) continue;
        const double after = m.vessel->tanks[m.tank].mass;
        // Bitwise: a NaN, or 0 turned into -0, is a change as well.
        if (!(after == m.mass) || std::signbit(after) != std::signbit(m.mass)) out.push_back({&m, after});
    }
    return out;
}

// An action other than a time step moves no propellant at all.
inline std::string nothingMoved(const Masses& before) {
    const std::vector<Change> c = changes(before);
    if (c.empty()) return "";
    return describeTank(*c[0].before->vessel, c[0].before->tank) + " changed from " +
           std::to_string(c[0].before->mass) + " to " + std::to_string(c[0].after) + " outside a time step";
}

inline bool docked(const sim::VesselRecord& a, const sim::VesselRecord& b) {
    for (const sim::DockPort& p : a.ports) {
        if (p.docked == &b) return true;
    }
    return false;
}

// A few ulps of the masses involved: what the two writes of one step may round away.
inline double stepTolerance(double a, double b) {
    return 4.0 * std::numeric_limits<double>::epsilon() * std::max({std::fabs(a), std::fabs(b), 1.0});
}

// One time step, against the snapshot taken before it: in Vent only the target tank may lose
// mass (added to `vented`); in the other modes at most two tanks change, of one vessel or of two
// docked to each other, and what one loses the other gains, to a few ulps. `target` is the target tank's
// vessel as the step began.
inline std::string stepConserved(const Masses& before, int32_t mode, const sim::VesselRecord* target,
                                 int32_t targetTank, double& vented) {
    const std::vector<Change> c = changes(before);
    if (c.empty()) return "";
    if (mode == Vent) {
        if (c.size() != 1) return std::to_string(c.size()) + " tanks changed in one vent step";
        const Change& v = c[0];
        if (v.before->vessel != target || static_cast<int64_t>(v.before->tank) != targetTank) {
            return "vent changed " + describeTank(*v.before->vessel, v.before->tank) +
                   ", not the target tank";
        }
        if (!(v.after <= v.before->mass))
            return "vent added propellant to " + describeTank(*v.before->vessel, v.before->tank);
        vented += v.before->mass - v.after;
        return "";
    }
    if (c.size() > 2) return std::to_string(c.size()) + " tanks changed in one step";
    if (c.size() == 2 && c[0].before->vessel != c[1].before->vessel &&
        !docked(*c[0].before->vessel, *c[1].before->vessel)) {
        return "propellant moved between " + c[0].before->vessel->name + " and " + c[1].before->vessel->name +
               ", which are not docked";
    }
    double delta = 0.0;
    for (const Change& x : c) delta += x.after - x.before->mass;
    // An amount too small to change the larger tank is rounded away there: the ulps are those
    // of the largest mass around, not only of the tanks that changed.
    double scale = 0.0;
    for (const TankMass& m : before) scale = std::max(scale, std::fabs(m.mass));
    for (const Change& x : c) scale = std::max(scale, std::fabs(x.after));
    if (!(std::fabs(delta) <= stepTolerance(scale, 0.0))) {
        return "a step " + std::string(delta > 0 ? "created " : "lost ") + std::to_string(std::fabs(delta)) +
               " kg";
    }
    return "";
}

}  // namespace invariants
