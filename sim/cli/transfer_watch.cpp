#include "sim/cli/transfer_watch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/formats/text.h"

namespace cli {

namespace {

std::string tankName(const TankAccount& a) {
    return sim::printable(a.vessel) + " tank " + std::to_string(a.index + 1);
}

}  // namespace

void TransferWatch::afterStep(const TankLedger& ledger, double dt) {
    const TankLedger::Step& step = ledger.lastStep();
    if (!step.giver || !(step.moved > 0.0) || !(dt > 0.0)) {
        giver_.reset();
        receiver_.reset();
        rate_ = moved_ = timeLeft_ = 0.0;
        limit_.clear();
        return;
    }
    const bool same = step.giver == giver_ && step.receiver == receiver_ && step.vent == vent_;
    moved_ = same ? moved_ + step.moved : step.moved;
    giver_ = step.giver;
    receiver_ = step.receiver;
    vent_ = step.vent;
    rate_ = step.moved / dt;
    const TankAccount& g = ledger.accounts()[*giver_];
    giverName_ = tankName(g);
    timeLeft_ = g.after / rate_;
    limit_ = giverName_ + " runs dry";
    receiverName_.clear();
    if (receiver_) {
        const TankAccount& r = ledger.accounts()[*receiver_];
        receiverName_ = tankName(r);
        if (const double untilFull = std::max(r.capacity - r.after, 0.0) / rate_; untilFull < timeLeft_) {
            timeLeft_ = untilFull;
            limit_ = receiverName_ + " is full";
        }
    }
}

std::vector<std::string> TransferWatch::status(double accel) const {
    if (!running()) return {"none running"};
    char text[96];
    std::snprintf(text, sizeof text, "%.4g kg/s", rate_);
    std::string what = text;
    what += (vent_ ? " vented from " : ", ") + giverName_;
    if (receiver_) what += " => " + receiverName_;
    std::snprintf(text, sizeof text, "%.3f kg %s so far", moved_, vent_ ? "vented" : "moved");
    const std::string moved = text;
    const std::string until = limit_ + " in " + duration(timeLeft_);
    if (accel == 1.0) return {what, moved, until};
    // A line of its own: beside the simulated time it would not fit the panel's width.
    std::snprintf(text, sizeof text, " of real time at x%g", accel);
    return {what, moved, until, duration(timeLeft_ / accel) + text};
}

std::string duration(double seconds) {
    char text[64];
    // Rounded as every other figure on screen; each unit is rounded first, so that 59.96 s
    // carries over to "1 min 00 s" rather than showing "60.0 s".
    const double s = seconds > 0.0 ? std::min(seconds, 1e15) : 0.0;
    if (std::round(s * 10.0) < 600.0) {
        std::snprintf(text, sizeof text, "%.1f s", std::round(s * 10.0) / 10.0);
    } else if (const long long whole = std::llround(s); whole < 3600) {
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        const long long minutes = std::llround(s / 60.0);
        std::snprintf(text, sizeof text, "%lld h %02lld min", minutes / 60, minutes % 60);
    }
    return text;
}

}  // namespace cli
