#include "sim/cli/ledger.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "sim/formats/text.h"

namespace cli {

namespace {

double ulp(double x) {
    x = std::fabs(x);
    return std::nextafter(x, std::numeric_limits<double>::infinity()) - x;
}

// What one rounding of a mass can hide, taken for its value before and after a step: half an
// ulp of each.
double roundingOf(double before, double after) { return 0.5 * (ulp(before) + ulp(after)); }

// printf formatting into a string of whatever length the text needs: the messages and the
// numbers in them have no bound that a fixed buffer could keep.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    va_list args, again;
    va_start(args, pattern);
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    }
    va_end(again);
    return text;
}

}  // namespace

void TankLedger::begin(sim::Simulation& simulation) {
    accounts_.clear();
    live_.clear();
    loadedChange_ = 0.0;
    counts_ = {};
    giver_.reset();
    receiver_.reset();
    lastMoved_ = movedBefore_ = 0.0;
    track(simulation, true, "");
}

void TankLedger::track(sim::Simulation& simulation, bool atStart, const std::string& file) {
    live_.clear();
    for (sim::VesselRecord* vessel : simulation.vessels()) {
        for (size_t i = 0; i < vessel->tanks.size(); ++i) {
            const sim::Tank& tank = vessel->tanks[i];
            size_t account = accounts_.size();
            if (!atStart) {
                for (size_t a = 0; a < accounts_.size(); ++a) {
                    if (accounts_[a].present && accounts_[a].vessel == vessel->name &&
                        accounts_[a].index == static_cast<int>(i)) {
                        account = a;
                        break;
                    }
                }
            }
            if (account == accounts_.size()) {
                TankAccount fresh;
                fresh.vessel = vessel->name;
                fresh.index = static_cast<int>(i);
                fresh.before = atStart ? tank.mass : 0.0;
                fresh.after = fresh.before;
                fresh.fromLoad = !atStart;
                if (!atStart) {
                    fresh.note = "came with " + file;
                    loadedChange_ += tank.mass;
                }
                accounts_.push_back(fresh);
            } else {
                loadedChange_ += tank.mass - accounts_[account].after;
            }
            accounts_[account].capacity = tank.capacity;
            accounts_[account].after = tank.mass;
            accounts_[account].present = true;
            live_.push_back({&tank, vessel, account});
        }
    }
    last_.resize(live_.size());
    for (size_t i = 0; i < live_.size(); ++i) last_[i] = live_[i].tank->mass;
}

void TankLedger::beforeStep() {
    for (size_t i = 0; i < live_.size(); ++i) {
        if (live_[i].tank->mass != last_[i]) {
            ++counts_.outsideChanges;
            last_[i] = live_[i].tank->mass;
        }
    }
}

void TankLedger::afterStep() {
    ++counts_.steps;
    struct Moved {
        size_t live;
        double before, after;
    };
    std::vector<Moved> gains, losses;
    for (size_t i = 0; i < live_.size(); ++i) {
        const double now = live_[i].tank->mass;
        if (now > last_[i]) gains.push_back({i, last_[i], now});
        if (now < last_[i]) losses.push_back({i, last_[i], now});
    }
    pumpStop_.clear();
    lastStep_ = {};
    if (gains.empty() && losses.empty()) return watchPump(false);
    // A pump step whose amount is too small to change one of its two tanks' doubles: the other
    // tank alone shows it. The hidden side is the running transfer's tank when it can be, else
    // the largest unchanged tank, whose rounding hides the most.
    const auto is = [&](size_t i, const std::optional<TankOf>& tank) {
        return tank && tankOf(i).vessel == tank->vessel && tankOf(i).index == tank->index;
    };
    const auto hiddenPartner = [&](const Moved& seen,
                                   const std::optional<TankOf>& running) -> std::optional<size_t> {
        std::optional<size_t> best;
        for (size_t i = 0; i < live_.size(); ++i) {
            if (i == seen.live || live_[i].tank->mass != last_[i]) continue;
            if (is(i, running)) return i;
            if (!best || last_[i] > last_[*best]) best = i;
        }
        return best;
    };
    // What one tank showed is no more than one rounding of each of the two masses.
    const auto hides = [&](size_t partner, const Moved& seen) {
        return std::fabs(seen.after - seen.before) <=
               roundingOf(last_[partner], last_[partner]) + roundingOf(seen.before, seen.after);
    };
    if (gains.size() == 1 && losses.empty()) {
        // A gain from nowhere, unless a giving tank's rounding can hide what it gave.
        if (const auto i = hiddenPartner(gains[0], giver_); i && hides(*i, gains[0]))
            losses.push_back({*i, last_[*i], last_[*i]});
    } else if (losses.size() == 1 && gains.empty()) {
        // A vent, unless it is the last trace of the running transfer into a tank too large to
        // show it.
        if (const auto i = hiddenPartner(losses[0], receiver_);
            i && is(*i, receiver_) && hides(*i, losses[0]))
            gains.push_back({*i, last_[*i], last_[*i]});
    }
    // One tank giving and nothing receiving is a vent; one giving and one receiving a transfer.
    const bool vent = gains.empty() && losses.size() == 1;
    const bool transfer = gains.size() == 1 && losses.size() == 1;
    if (vent) ++counts_.ventSteps;
    if (transfer) ++counts_.transferSteps;
    if (!vent && !transfer) ++counts_.oddSteps;
    // Each mass written rounds once: what arrived and what left differ by no more than that.
    double rounding = 0.0;
    for (const auto* moved : {&gains, &losses})
        for (const Moved& m : *moved) rounding += roundingOf(m.before, m.after);
    const double gained = transfer ? gains[0].after - gains[0].before : 0.0;
    const double lost = vent || transfer ? losses[0].before - losses[0].after : 0.0;
    if (transfer) {
        const double imbalance = std::fabs(gained - lost);
        counts_.worstImbalance = std::max(counts_.worstImbalance, imbalance);
        if (imbalance > rounding) ++counts_.unbalancedSteps;
    }
    counts_.rounding += rounding;
    for (size_t i = 0; i < live_.size(); ++i) {
        const double now = live_[i].tank->mass;
        const double change = now - last_[i];
        TankAccount& account = accounts_[live_[i].account];
        if (change < 0.0) (vent ? account.vented : account.out) -= change;
        if (change > 0.0) account.in += change;
        // The running sum of what was vented rounds as well, and it is one term of the check.
        if (change < 0.0 && vent) counts_.rounding += roundingOf(account.vented, account.vented);
        account.after = now;
        last_[i] = now;
    }
    giver_.reset();
    receiver_.reset();
    if (vent || transfer) giver_ = tankOf(losses[0].live);
    if (transfer) receiver_ = tankOf(gains[0].live);
    lastMoved_ = std::max(gained, lost);
    if (vent || transfer)
        lastStep_ = {live_[losses[0].live].account,
                     transfer ? std::optional<size_t>(live_[gains[0].live].account) : std::nullopt, vent,
                     lastMoved_};
    watchPump(true);
    movedBefore_ = lastMoved_;
}

TankLedger::TankOf TankLedger::tankOf(size_t live) const {
    return {live_[live].vessel, static_cast<size_t>(live_[live].tank - live_[live].vessel->tanks.data())};
}

void TankLedger::watchPump(bool moved) {
    if (!giver_) return;
    if (moved) {
        // The pump stops on the step that empties the giving tank or fills the receiving one.
        if (giver_->tank().mass <= 0.0) {
            pumpStop_ = giver_->name() + " ran dry";
        } else if (receiver_ && receiver_->tank().mass >= receiver_->tank().capacity) {
            pumpStop_ = receiver_->name() + " is full";
        } else {
            return;
        }
        // Rounding in the steps before can leave a trace of propellant or room that takes one
        // more step, so the stop comes a step later than rate x time says: a last step far
        // smaller than the one before, and no more than the roundings so far can account for.
        if (lastMoved_ < 1e-6 * movedBefore_ && lastMoved_ <= counts_.rounding)
            pumpStop_ +=
                format(" (one step later than rate x time: rounding left %.2g kg for this step to move)",
                       lastMoved_);
        giver_.reset();
        receiver_.reset();
        return;
    }
    // Nothing moved after a transfer between two vessels that have since parted: the pump found
    // its source gone. Anything else (a key, a save) the log tells already.
    if (receiver_) {
        const sim::VesselRecord* a = giver_->vessel;
        const sim::VesselRecord* b = receiver_->vessel;
        const auto docked = [&] {
            return std::any_of(a->ports.begin(), a->ports.end(),
                               [&](const sim::DockPort& p) { return p.docked == b; });
        };
        if (a != b && (a->removed || b->removed)) {
            pumpStop_ = (a->removed ? a : b)->name + " was removed";
        } else if (a != b && !docked()) {
            pumpStop_ = a->name + " and " + b->name + " undocked";
        }
    }
    giver_.reset();
    receiver_.reset();
}

void TankLedger::removing(const sim::VesselRecord& vessel, double time) {
    beforeStep();
    char at[48];
    std::snprintf(at, sizeof at, "removed at %.2f s", time);
    std::vector<Live> kept;
    std::vector<double> keptLast;
    for (size_t i = 0; i < live_.size(); ++i) {
        if (live_[i].vessel == &vessel) {
            TankAccount& account = accounts_[live_[i].account];
            account.after = live_[i].tank->mass;
            account.removed = account.after;
            account.present = false;
            account.note = at;
        } else {
            kept.push_back(live_[i]);
            keptLast.push_back(last_[i]);
        }
    }
    live_ = std::move(kept);
    last_ = std::move(keptLast);
}

void TankLedger::leaving() {
    beforeStep();
    giver_.reset();  // its vessels go with the simulation
    receiver_.reset();
    for (const Live& l : live_) accounts_[l.account].after = l.tank->mass;
    live_.clear();
    last_.clear();
}

void TankLedger::loaded(sim::Simulation& simulation, const std::string& file, double time) {
    // Accounts of vessels the loaded scenario does not have are gone with the old simulation.
    std::vector<bool> seen(accounts_.size(), false);
    for (sim::VesselRecord* vessel : simulation.vessels()) {
        for (size_t a = 0; a < accounts_.size(); ++a) {
            if (accounts_[a].present && accounts_[a].vessel == vessel->name &&
                accounts_[a].index < static_cast<int>(vessel->tanks.size()))
                seen[a] = true;
        }
    }
    char at[64];
    std::snprintf(at, sizeof at, "not in %s (%.2f s)", file.c_str(), time);
    for (size_t a = 0; a < seen.size(); ++a) {
        if (accounts_[a].present && !seen[a]) {
            loadedChange_ -= accounts_[a].after;
            accounts_[a].present = false;
            accounts_[a].note = at;
        }
    }
    track(simulation, false, file);
}

void TankLedger::finish() {
    beforeStep();
    for (size_t i = 0; i < live_.size(); ++i) accounts_[live_[i].account].after = live_[i].tank->mass;
}

ConservationCheck TankLedger::check() const {
    ConservationCheck c = counts_;
    c.loaded = loadedChange_;
    double largest = 0.0;
    for (const TankAccount& a : accounts_) {
        if (!a.fromLoad) c.before += a.before;
        if (a.present) c.after += a.after;
        c.vented += a.vented;
        c.removed += a.removed;
        largest = std::max({largest, a.before, a.after});
    }
    c.difference = c.before + c.loaded - c.removed - c.vented - c.after;
    // What the steps' roundings can hide, and one rounding of the largest sum for each term
    // summed: four totals and two changes by loading per tank, and the four operations above.
    const double scale = std::max({c.before, c.after, c.before + std::fabs(c.loaded), largest});
    c.tolerance = c.rounding + roundingOf(scale, scale) *
                                   static_cast<double>(6 * static_cast<long long>(accounts_.size()) + 4);
    return c;
}

std::string formatTankTable(const std::vector<TankAccount>& accounts) {
    // Cells first, then each column as wide as its widest cell: masses of any size line up.
    // Capacities have the masses' three decimals: a tank of 5 g is not one of 0 kg.
    std::vector<std::vector<std::string>> rows;
    rows.push_back(
        {"Vessel", "Tank", "Capacity kg", "Before kg", "After kg", "In kg", "Out kg", "Vented kg"});
    double before = 0, after = 0, in = 0, outTotal = 0, vented = 0;
    for (const TankAccount& a : accounts) {
        rows.push_back({sim::printable(a.vessel), std::to_string(a.index + 1), format("%.3f", a.capacity),
                        a.fromLoad ? "-" : format("%.3f", a.before),
                        a.present ? format("%.3f", a.after) : "-", format("%.3f", a.in),
                        format("%.3f", a.out), format("%.3f", a.vented), sim::printable(a.note)});
        if (!a.fromLoad) before += a.before;
        if (a.present) after += a.after;
        in += a.in;
        outTotal += a.out;
        vented += a.vented;
    }
    rows.push_back({"Total", "", "", format("%.3f", before), format("%.3f", after), format("%.3f", in),
                    format("%.3f", outTotal), format("%.3f", vented)});
    std::vector<size_t> widths(8, 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    std::string out;
    for (const auto& row : rows) {
        // Appended piece by piece: GCC 12 at -O3 takes " " + string for an overlapping copy.
        std::string line = row[0];
        line.append(widths[0] - row[0].size(), ' ');
        for (size_t c = 1; c < widths.size(); ++c)
            line.append(1 + widths[c] - row[c].size(), ' ').append(row[c]);
        if (row.size() > widths.size() && !row.back().empty()) line.append(2, ' ').append(row.back());
        out.append(line).append(1, '\n');
    }
    return out;
}

std::string formatCheck(const ConservationCheck& c) {
    std::string terms = format("%.3f kg before", c.before);
    // Loading keeps six decimals of each level: a change too small to print is no news.
    if (std::fabs(c.loaded) >= 0.0005) terms += format(" %+.3f kg changed by loading", c.loaded);
    std::string rest = format(" = %.3f kg after", c.after) + format(" + %.3f kg vented", c.vented);
    if (c.removed != 0.0) rest += format(" + %.3f kg removed with vessels", c.removed);
    std::string out = format(
        "Conservation check: %s: %s%s (difference %.3g kg, tolerance %.3g kg; %lld steps: %lld moved "
        "propellant between tanks, %lld vented)",
        c.ok() ? "passed" : "FAILED", terms.c_str(), rest.c_str(), c.difference, c.tolerance, c.steps,
        c.transferSteps, c.ventSteps);
    if (c.unbalancedSteps)
        out += format("\n  %.0f transfer steps moved different amounts out of one tank and into the other",
                      static_cast<double>(c.unbalancedSteps)) +
               format(" (worst %.3g kg)", c.worstImbalance);
    if (c.oddSteps)
        out += format("\n  %.0f steps changed tanks in a way no pump mode does",
                      static_cast<double>(c.oddSteps));
    if (c.outsideChanges)
        out +=
            format("\n  %.0f tank masses changed outside a time step", static_cast<double>(c.outsideChanges));
    return out + "\n";
}

}  // namespace cli
