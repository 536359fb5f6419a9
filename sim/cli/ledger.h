// Book-keeping of every tank over a run: what each held before and after, what was moved in
// and out by the pump, what was vented, and whether the total is conserved apart from that.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/world/simulation.h"

namespace cli {

struct TankAccount {
    std::string vessel;
    int index = 0;  // 0-based; shown 1-based, as the display counts tanks
    double capacity = 0.0;
    double before = 0.0;
    double after = 0.0;
    double in = 0.0, out = 0.0, vented = 0.0;
    double removed = 0.0;  // left the simulation with its vessel
    bool present = true;
    bool fromLoad = false;  // appeared when a scenario was loaded: no "before" of its own
    std::string note;
};

struct ConservationCheck {
    double before = 0.0, after = 0.0, vented = 0.0, removed = 0.0, loaded = 0.0;
    double difference = 0.0;  // before + loaded - removed - vented - after
    double tolerance = 0.0;
    long long steps = 0, transferSteps = 0, ventSteps = 0;
    long long oddSteps = 0;         // more than one tank gave or received, or a tank gained from nowhere
    long long unbalancedSteps = 0;  // what left one tank is not what arrived in the other
    long long outsideChanges = 0;   // masses that changed between time steps
    double worstImbalance = 0.0;    // kg, over the transfer steps
    double rounding = 0.0;          // kg that rounding the masses of the steps can account for
    bool ok() const {
        return difference <= tolerance && difference >= -tolerance && oddSteps == 0 && unbalancedSteps == 0 &&
               outsideChanges == 0;
    }
};

class TankLedger {
public:
    // Every tank of the simulation as it is now: the "before" of the run.
    void begin(sim::Simulation& simulation);
    // Around one time step of the simulation.
    void beforeStep();
    void afterStep();
    // Before the simulation removes a vessel: its tanks leave with it.
    void removing(const sim::VesselRecord& vessel, double time);
    // Before the simulation is replaced: the old one is about to go.
    void leaving();
    // After a scenario has been loaded into a new simulation: tanks of the same vessel and index
    // carry on, what differs counts as changed by the load.
    void loaded(sim::Simulation& simulation, const std::string& file, double time);
    // Takes the final masses.
    void finish();

    // Why the pump switched itself off on the last step, when it did: "Tanker tank 2 ran dry",
    // "Tanker tank 3 is full", "Depot and Tanker undocked", "Depot was removed"; else empty.
    // Seen from the host: a step that emptied the giving tank or filled the receiving one, or a
    // transfer between two vessels that moved nothing after they separated.
    const std::string& pumpStop() const { return pumpStop_; }

    // What the last step moved, as booked: the giving and the receiving tank (indices into
    // accounts(); no receiver for a vent) and how much; no giver when it moved nothing.
    struct Step {
        std::optional<size_t> giver, receiver;
        bool vent = false;
        double moved = 0.0;  // kg
    };
    const Step& lastStep() const { return lastStep_; }

    const std::vector<TankAccount>& accounts() const { return accounts_; }
    ConservationCheck check() const;

private:
    struct Live {
        const sim::Tank* tank;
        const sim::VesselRecord* vessel;
        size_t account;
    };
    void track(sim::Simulation& simulation, bool atStart, const std::string& file);

    std::vector<TankAccount> accounts_;
    std::vector<Live> live_;
    std::vector<double> last_;  // masses after the last step (or at the start)
    // The tanks the last moving step took from and gave to (no receiver for a vent), while that
    // transfer may still be running.
    struct TankOf {
        const sim::VesselRecord* vessel = nullptr;
        size_t index = 0;
        const sim::Tank& tank() const { return vessel->tanks[index]; }
        std::string name() const { return vessel->name + " tank " + std::to_string(index + 1); }
    };
    std::optional<TankOf> giver_, receiver_;
    std::string pumpStop_;
    TankOf tankOf(size_t live) const;
    void watchPump(bool moved);
    double loadedChange_ = 0.0;
    double lastMoved_ = 0.0, movedBefore_ = 0.0;  // kg moved by the last moving step, and the one before
    ConservationCheck counts_;
    Step lastStep_;
};

// The table of every tank, one line each, and a line of totals.
std::string formatTankTable(const std::vector<TankAccount>& accounts);
// One line: what the check compared and whether it held.
std::string formatCheck(const ConservationCheck& check);

}  // namespace cli
