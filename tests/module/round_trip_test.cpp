// Save and reload as a property. A configuration a pilot can reach (keys, buttons, docking,
// undocking, time steps and redraws on one or two cockpit displays, focus switches, resizes, and
// an external display, stuck to its vessel or following the focus, so that the configuration may
// belong to another vessel than the cockpit's) is saved, loaded
// into a fresh emulator with the module loaded anew, and redrawn once. It must come back as an
// uninterrupted run has it after a redraw of its status page, and a transfer that was running
// must then move exactly the same masses, to the bit, as the uninterrupted run does from the
// levels the file holds (six decimals of each tank's capacity, as the simulator writes them).
//
// Saving changes nothing: the state after the save is the state before it, and a second
// display writes the same block as the first.
//
// The block cannot carry, by design: which page a display shows (a loaded display shows the
// status page, so the uninterrupted run is compared on its status page too); and the source
// tank index while there is no source vessel, which nothing reads.
//
// Each configuration is played twice from the same seed: once uninterrupted, once saved and
// loaded. The run prints its seed. KESTRANE_ROUNDTRIP_SEED repeats a run,
// KESTRANE_ROUNDTRIP_CONFIGURATIONS sets how many run (KESTRANE_ROUNDTRIP_FIRST from which one);
// without a seed the ordinary run takes a fixed one.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "display/page_words.h"
#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/drawing/surface.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/display.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/pilot.h"
#include "tests/support/scenario_support.h"
#include "tests/support/seeded_run.h"
#include "tests/support/vessels.h"
#include "transfer/transfer_state.h"

namespace {

// The transfer state with vessels by name, so that states of two simulations compare.
struct NamedState {
    std::string target, source;
    int32_t targetTank = 0, sourceTank = 0, dockPort = 0, pumpMode = 0, pumpRate = 0;

    static NamedState of(sim::Simulation& sim) {
        const TransferState& s = transferState;
        auto name = [&](OBJHANDLE h) { return h ? sim.record(h)->name : std::string(); };
        NamedState n{name(s.targetHandle), name(s.sourceHandle), s.targetTank, s.sourceTank,
                     s.dockPort,           s.pumpMode,           s.pumpRate};
        if (n.source.empty()) n.sourceTank = 0;  // means nothing without a source
        return n;
    }
    bool operator==(const NamedState&) const = default;
    std::string text() const {
        return "target " + target + "[" + std::to_string(targetTank) + "], source " +
               (source.empty() ? "none" : source + "[" + std::to_string(sourceTank) + "]") + ", port " +
               std::to_string(dockPort) + ", mode " + std::to_string(pumpMode) + ", rate " +
               std::to_string(pumpRate);
    }
};

void PrintTo(const NamedState& state, std::ostream* out) { *out << state.text(); }

using Masses = std::map<std::string, std::vector<double>>;

Masses massesOf(sim::Simulation& sim) {
    Masses out;
    for (sim::VesselRecord* v : sim.vessels()) {
        for (const sim::Tank& t : v->tanks) out[v->name].push_back(t.mass);
    }
    return out;
}

// What one configuration came to in one of the two runs.
struct Outcome {
    NamedState saved;        // as written: the state at the save point
    bool elsewhere = false;  // ... the configuration of another vessel than the cockpit's
    NamedState afterRedraw;  // after the one redraw of the first display
    NamedState atEnd;
    Masses end;
    bool moved = false;  // the continuation moved propellant
    std::string failure;
};

class Configuration {
public:
    Configuration(uint64_t seed, uint64_t index) {
        std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32),
                          static_cast<uint32_t>(index), static_cast<uint32_t>(index >> 32)};
        rng_.seed(seq);
    }
    ~Configuration() { stop(); }
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    // Builds the world, plays the pilot's actions, then either goes on uninterrupted or saves,
    // loads into a fresh emulator and goes on there.
    Outcome play(bool saveAndLoad) {
        Outcome out;
        start();
        build();
        for (int i = pick(4, 30); i > 0; --i) act();
        out.saved = NamedState::of(*sim_);
        out.elsewhere = !out.saved.target.empty() && out.saved.target != sim_->displays()[0]->vessel().name;
        if (saveAndLoad) {
            std::string error;
            const sim::ScenarioDescription captured = sim::captureScenario(*sim_);
            const std::string text = sim::formatScenario(captured);
            if (!(NamedState::of(*sim_) == out.saved)) {
                out.failure = "saving changed the state to " + NamedState::of(*sim_).text();
                return out;
            }
            for (const sim::ScenarioDisplay& d : captured.displays) {
                if (d.items != captured.displays.front().items) {
                    out.failure = "the displays wrote different blocks\n" + text;
                    return out;
                }
            }
            const sim::VesselCatalogue classes = test::classesOf(*sim_);
            stop();
            start();
            const std::optional<sim::ScenarioDescription> parsed =
                sim::parseScenario(text, "saved", error, classes);
            if (!parsed || !sim::applyScenario(*parsed, *sim_, error)) {
                out.failure = "the saved scenario does not load: " + error + "\n" + text;
                return out;
            }
        } else {
            test::setSavedLevels(*sim_);  // the file keeps levels to six decimals
        }
        // A loaded display shows its status page; the uninterrupted run leaves its help page for
        // it (drawing the help page changes nothing) and redraws.
        sim::Display& first = *sim_->displays()[0];
        if (test::showsHelpPage(test::redraw(first))) {
            if (saveAndLoad) {
                out.failure = "a loaded display shows the help page";
                return out;
            }
            first.key(kKeyHelp);
            redraw(first);
        }
        out.afterRedraw = NamedState::of(*sim_);
        const Masses before = massesOf(*sim_);
        for (int i = 0; i < 12; ++i) sim_->step(kSteps[static_cast<size_t>(pick(0, 3))]);
        out.end = massesOf(*sim_);
        out.moved = out.end != before;
        out.atEnd = NamedState::of(*sim_);
        if (sim_->calls.badCalls != 0) out.failure = "the host saw a bad call";
        stop();
        return out;
    }

    std::string log() const { return log_; }

private:
    static constexpr double kSteps[] = {0.037, 0.25, 1.0, 3.0};

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    double uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(rng_);
    }
    template <typename T>
    T& any(const std::vector<T*>& items) {
        return *items[static_cast<size_t>(pick(0, static_cast<int>(items.size()) - 1))];
    }
    void note(const std::string& line) { log_ += "  " + line + "\n"; }

    // The module loaded anew each time, into a simulation of its own.
    void start() {
        session_ = std::make_unique<test::ModuleSession>();
        sim_ = &session_->sim;
        sim_->calls.logging = false;
    }
    void stop() {
        session_.reset();
        sim_ = nullptr;
    }

    sim::VesselSpec vessel(const std::string& name, int minTanks, int maxPorts) {
        sim::VesselSpec wanted{
            name, name + "Class", {}, static_cast<unsigned>(pick(name == "Own" ? 0 : 1, maxPorts))};
        for (int t = pick(minTanks, 4); t > 0; --t) {
            const double capacity = std::pow(10.0, uniform(1.0, 4.0));
            // Mostly room to give and to take, so that transfers run across the save; sometimes
            // empty or full, where the pump stops.
            const double mass = chance(0.15) ? (chance(0.5) ? 0.0 : capacity) : uniform(0.2, 0.8) * capacity;
            wanted.tanks.push_back({capacity, mass});
        }
        return wanted;
    }

    // "V1", "D0": appended, not prefixed, which GCC 12 at -O3 takes for an overlapping copy.
    static std::string named(char prefix, int number) {
        std::string name(1, prefix);
        name += std::to_string(number);
        return name;
    }

    void build() {
        log_.clear();
        own_ = &sim_->addVessel(vessel("Own", 1, 3));
        for (int i = pick(1, 3); i > 0; --i) sim_->addVessel(vessel(named('V', i), 0, 2));
        for (int i = pick(0, 3); i > 0; --i) dock();
        const int displays = pick(1, 2);
        for (int i = 0; i < displays; ++i) {
            sim_->addDisplay(i == 0 ? "Left" : "Right", *own_, 512, 512).openMode(kModeName);
        }
        note(std::to_string(sim_->vessels().size()) + " vessels, own has " +
             std::to_string(own_->tanks.size()) + " tanks and " + std::to_string(own_->ports.size()) +
             " ports, " + std::to_string(displays) + " displays");
        if (chance(0.5)) {
            sim::VesselRecord& on = any(sim_->vessels());
            sim::Display& ext = sim_->addDisplay("Ext1", on, 300, 300);
            ext.external = true;
            ext.pinned = chance(0.7);
            ext.openMode(kModeName);
            note("external display on " + on.name + (ext.pinned ? ", stuck" : ""));
        }
    }

    // The simulator's focus switch: the cockpit's displays, and an external one that is not
    // stuck, lose their instruments, then open again for the new focus.
    void focus(sim::VesselRecord& to) {
        note("focus " + to.name);
        std::vector<sim::Display*> moving;
        for (sim::Display* d : sim_->displays()) {
            if (!d->pinned) moving.push_back(d);
        }
        for (sim::Display* d : moving) d->closeMode();
        for (sim::Display* d : moving) {
            d->moveTo(to);
            d->openMode(kModeName);
        }
    }

    void dock() {
        sim::VesselRecord& other = any(sim_->vessels());
        if (&other == own_ || own_->ports.empty() || other.ports.empty()) return;
        const unsigned a = static_cast<unsigned>(pick(0, static_cast<int>(own_->ports.size()) - 1));
        const unsigned b = static_cast<unsigned>(pick(0, static_cast<int>(other.ports.size()) - 1));
        if (sim_->dock(*own_, a, other, b)) note("dock Own." + std::to_string(a) + " " + other.name);
    }

    void redraw(sim::Display& d) {
        sim::RecordingSurface surface(8, false);
        d.repaint(&surface);
    }

    void act() {
        sim::Display& d = any(sim_->displays());
        const int kind = pick(0, 99);
        if (kind < 25) {
            static constexpr DWORD kKeys[] = {kKeyMode,       kKeyRateUp,     kKeyRateUp,   kKeyRateDown,
                                              kKeyTargetTank, kKeySourceTank, kKeyDockPort, kKeyHelp};
            const DWORD key = kKeys[pick(0, 7)];
            note("key " + std::to_string(key) + " on " + d.name());
            d.key(key);
        } else if (kind < 35) {
            const int button = pick(0, kButtonCount - 1);
            note("button " + std::to_string(button) + " on " + d.name());
            d.button(button, 1);
        } else if (kind < 55) {
            pilot(d);
        } else if (kind < 62) {
            dock();
        } else if (kind < 68) {
            if (!own_->ports.empty()) {
                const unsigned port =
                    static_cast<unsigned>(pick(0, static_cast<int>(own_->ports.size()) - 1));
                if (sim_->undock(*own_, port)) note("undock Own." + std::to_string(port));
            }
        } else if (kind < 72) {
            focus(any(sim_->vessels()));
        } else if (kind < 76) {
            note("resize " + d.name());
            d.resize(static_cast<unsigned>(pick(200, 600)), static_cast<unsigned>(pick(200, 600)));
        } else if (kind < 85) {
            const double dt = kSteps[static_cast<size_t>(pick(0, 3))];
            note("step " + std::to_string(dt));
            sim_->step(dt);
        } else {
            note("redraw " + d.name());
            redraw(d);
        }
    }

    // What a pilot does to start a transfer: a mode, a port, a redraw, the tanks, the rate up.
    void pilot(sim::Display& d) {
        note("pilot on " + d.name());
        const int modeKeys = pick(0, 3), portKeys = pick(0, 2);
        test::pressOnTheStatusPage(d, [&] {
            for (int i = modeKeys; i > 0; --i) d.key(kKeyMode);
            for (int i = portKeys; i > 0; --i) d.key(kKeyDockPort);
        });
        for (int i = pick(0, 2); i > 0; --i) d.key(kKeyTargetTank);
        for (int i = pick(0, 2); i > 0; --i) d.key(kKeySourceTank);
        for (int i = pick(1, 3); i > 0; --i) d.key(kKeyRateUp);
        note("  " + NamedState::of(*sim_).text());
    }

    std::mt19937_64 rng_;
    std::unique_ptr<test::ModuleSession> session_;
    sim::Simulation* sim_ = nullptr;
    sim::VesselRecord* own_ = nullptr;
    std::string log_;
};

TEST(RoundTripTest, ReachableConfigurationsComeBackAfterSavingAndLoadingAndRunOnToTheSameMasses) {
    const auto [seed, first, count] =
        test::seededRun("round trip", "KESTRANE_ROUNDTRIP", "CONFIGURATIONS", 1500);

    uint64_t pumping = 0, moving = 0, elsewhere = 0;
    uint64_t byMode[kModeCount] = {}, byRate[kRateCount] = {};
    for (uint64_t i = first; i < first + count; ++i) {
        const std::string repeat = "seed " + std::to_string(seed) + ", configuration " + std::to_string(i) +
                                   " (repeat with KESTRANE_ROUNDTRIP_SEED=" + std::to_string(seed) +
                                   " KESTRANE_ROUNDTRIP_FIRST=" + std::to_string(i) +
                                   " KESTRANE_ROUNDTRIP_CONFIGURATIONS=1)";
        Configuration uninterrupted(seed, i), reloaded(seed, i);
        const Outcome a = uninterrupted.play(false);
        const Outcome b = reloaded.play(true);
        ASSERT_EQ(a.failure, "") << repeat << "\n" << uninterrupted.log();
        ASSERT_EQ(b.failure, "") << repeat << "\n" << reloaded.log();
        ASSERT_EQ(a.saved, b.saved) << "the two runs did not play alike; " << repeat;
        ASSERT_EQ(b.afterRedraw, a.afterRedraw)
            << repeat << "\n  saved:      " << b.saved.text() << "\n  reloaded:   " << b.afterRedraw.text()
            << "\n  expected:   " << a.afterRedraw.text() << "\n"
            << reloaded.log();
        ASSERT_EQ(b.end, a.end) << "the reloaded transfer moved other masses; " << repeat << "\n"
                                << reloaded.log();
        ASSERT_EQ(b.atEnd, a.atEnd) << repeat << "\n" << reloaded.log();
        if (a.elsewhere) ++elsewhere;
        if (a.saved.pumpRate != 0 && validRate(a.saved.pumpRate) && validMode(a.saved.pumpMode)) {
            ++pumping;
            if (a.moved) {
                ++moving;
                ++byMode[a.saved.pumpMode];
                ++byRate[a.saved.pumpRate];
            }
        }
    }
    clearTransferState();
    std::printf("round trip: %" PRIu64 " configurations, %" PRIu64 " saved while pumping, %" PRIu64
                " of them moving on after loading: %s %" PRIu64 ", %s %" PRIu64 ", %s %" PRIu64
                ", %s %" PRIu64 "; %s %" PRIu64 ", %s %" PRIu64 ", %s %" PRIu64 "; %" PRIu64
                " configurations of another vessel than the cockpit's\n",
                count, pumping, moving, kModeNames[0], byMode[0], kModeNames[1], byMode[1], kModeNames[2],
                byMode[2], kModeNames[3], byMode[3], kRateNames[1], byRate[1], kRateNames[2], byRate[2],
                kRateNames[3], byRate[3], elsewhere);
    // A run that never saved a moving transfer of some mode or rate would have tested little.
    if (count >= 1000) {
        for (int mode = 0; mode < kModeCount; ++mode) EXPECT_GT(byMode[mode], 0u) << kModeNames[mode];
        for (int rate = 1; rate < kRateCount; ++rate) EXPECT_GT(byRate[rate], 0u) << kRateNames[rate];
        EXPECT_GT(elsewhere, 0u) << "no configuration of another vessel than the cockpit's was saved";
    }
}

}  // namespace
