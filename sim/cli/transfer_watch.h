// The transfer running now, as a pilot follows it in `play`: read off the ledger's booking of
// each time step, so that it shows what the pump did, not what the page promises.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/cli/ledger.h"

namespace cli {

class TransferWatch {
public:
    // After a time step of `dt` simulated seconds that the ledger has booked.
    void afterStep(const TankLedger& ledger, double dt);

    bool running() const { return giver_.has_value(); }
    double rate() const { return rate_; }    // kg/s over the last step
    double moved() const { return moved_; }  // kg since this transfer began
    // Simulated seconds until the giving tank runs dry or the receiving one is full, whichever
    // comes first at the last step's rate.
    double timeLeft() const { return timeLeft_; }

    // For the pilot, a line each: "10 kg/s, Depot tank 1 => Tanker tank 3", "123.456 kg moved
    // so far", "Tanker tank 3 is full in 41.9 s", and when `accel` is not 1 "4.2 s of real time
    // at x10"; or "none running" alone when no propellant moved in the last step.
    std::vector<std::string> status(double accel) const;

private:
    std::optional<size_t> giver_, receiver_;  // indices into the ledger's accounts
    bool vent_ = false;
    double rate_ = 0.0, moved_ = 0.0, timeLeft_ = 0.0;
    std::string giverName_, receiverName_, limit_;
};

// A span of seconds as a pilot reads it, rounded: "41.9 s", "12 min 05 s", "3 h 20 min".
std::string duration(double seconds);

}  // namespace cli
