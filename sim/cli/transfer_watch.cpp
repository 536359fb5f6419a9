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
    const std::vector<TankAccount>& now = ledger.accounts();
    std::optional<size_t> giver, receiver;
    bool vent = false;
    double gave = 0.0, got = 0.0;
    // Accounts only grow, by loads, and each starts with nothing moved in or out.
    static const TankAccount kFresh;
    for (size_t i = 0; i < now.size(); ++i) {
        const TankAccount& was = i < last_.size() ? last_[i] : kFresh;
        const double out = now[i].out - was.out, vented = now[i].vented - was.vented;
        if (out > 0.0 || vented > 0.0) {
            giver = i;
            vent = vented > 0.0;
            gave = out + vented;
        }
        if (now[i].in - was.in > 0.0) {
            receiver = i;
            got = now[i].in - was.in;
        }
    }
    last_ = now;
    // A step too small to change one tank's mass shows on the other alone: the same transfer.
    if (giver && !receiver && !vent && giver == giver_ && !vent_) receiver = receiver_;
    if (receiver && !giver && receiver == receiver_) giver = giver_;
    const double step = std::max(gave, got);
    if (!giver || step <= 0.0 || !(dt > 0.0)) {
        giver_.reset();
        receiver_.reset();
        rate_ = moved_ = timeLeft_ = 0.0;
        limit_.clear();
        return;
    }
    const bool same = giver == giver_ && receiver == receiver_ && vent == vent_;
    moved_ = same ? moved_ + step : step;
    giver_ = giver;
    receiver_ = receiver;
    vent_ = vent;
    rate_ = step / dt;
    const TankAccount& g = now[*giver];
    timeLeft_ = g.after / rate_;
    limit_ = tankName(g) + " runs dry";
    if (receiver) {
        const TankAccount& r = now[*receiver];
        if (const double untilFull = std::max(r.capacity - r.after, 0.0) / rate_; untilFull < timeLeft_) {
            timeLeft_ = untilFull;
            limit_ = tankName(r) + " is full";
        }
    }
}

std::vector<std::string> TransferWatch::status(double accel) const {
    if (!running()) return {"none running"};
    char text[96];
    std::snprintf(text, sizeof text, "%.4g kg/s", rate_);
    std::string what = text;
    what += vent_ ? " vented from " + tankName(last_[*giver_]) : ", " + tankName(last_[*giver_]);
    if (receiver_) what += " => " + tankName(last_[*receiver_]);
    std::snprintf(text, sizeof text, "%.3f kg %s so far", moved_, vent_ ? "vented" : "moved");
    const std::string moved = text;
    std::string until = limit_ + " in " + duration(timeLeft_);
    if (accel != 1.0) {
        std::snprintf(text, sizeof text, " at x%g)", accel);
        until += " (" + duration(timeLeft_ / accel) + text;
    }
    return {what, moved, until};
}

std::string duration(double seconds) {
    char text[64];
    if (!(seconds < 60.0)) {
        const double whole = std::floor(std::min(seconds, 1e15));
        const long long minutes = static_cast<long long>(whole / 60.0);
        if (minutes < 60)
            std::snprintf(text, sizeof text, "%lld min %02lld s", minutes,
                          static_cast<long long>(whole) - 60 * minutes);
        else
            std::snprintf(text, sizeof text, "%lld h %02lld min", minutes / 60, minutes % 60);
    } else {
        // Counted down as the minutes are: 6.99 s left is 6.9 s.
        std::snprintf(text, sizeof text, "%.1f s", std::floor(std::max(seconds, 0.0) * 10.0) / 10.0);
    }
    return text;
}

}  // namespace cli
