// Random sequences of everything that can happen around the instrument: keys, buttons, time
// steps of any length, redraws, docking, undocking, vessels leaving, saving and loading,
// displays opened and closed. After every action the tanks stay within their capacities, the
// propellant is conserved except for what Vent discarded or a vessel took with it, the mode
// and rate stay in their tables, and the host saw no bad call and got every status list back.
//
// The run prints its seed, a fixed one unless KESTRANE_INVARIANT_SEED gives another (CI's long
// run gives a random one). KESTRANE_INVARIANT_SEED repeats a run, KESTRANE_INVARIANT_SEQUENCES
// sets how many sequences run and KESTRANE_INVARIANT_FIRST from which one (a failure names
// the sequence, so one sequence alone can be repeated).
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/drawing/surface.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/display.h"
#include "sim/world/scenario_block.h"
#include "tests/module/module_test.h"
#include "tests/support/drawing.h"
#include "tests/support/invariants.h"
#include "tests/support/module_session.h"
#include "tests/support/pilot.h"
#include "tests/support/scenario_support.h"
#include "tests/support/seeded_run.h"
#include "transfer/pump_engine.h"

namespace {

struct Totals {
    uint64_t sequences = 0, actions = 0, steps = 0, runningSteps = 0, movingSteps = 0, saves = 0, loads = 0,
             removals = 0;
    double vented = 0.0;
};

constexpr int kMaxDisplays = 4;
constexpr double kInf = std::numeric_limits<double>::infinity();

// One random sequence over its own emulated simulation. Every action is described in a log,
// which a failure prints.
class Sequence {
public:
    Sequence(uint64_t seed, uint64_t index, Totals& totals) : totals_(totals) {
        std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32),
                          static_cast<uint32_t>(index), static_cast<uint32_t>(index >> 32)};
        rng_.seed(seq);
        start();
        const int vessels = pick(2, 5);
        for (int i = 0; i < vessels; ++i) addVessel();
        for (int i = pick(1, 4); i > 0; --i) dockRandom();
        for (int i = pick(1, kMaxDisplays); i > 0; --i) addDisplay();
        expected_ = invariants::total(invariants::snapshot(*sim_));
    }
    ~Sequence() { stop(); }

    // Runs `actions` random actions; returns what went wrong, or "".
    std::string run(int actions) {
        for (int i = 0; i < actions; ++i) {
            ++totals_.actions;
            std::string violation = randomAction();
            if (violation.empty()) violation = invariants::all(*sim_);
            if (violation.empty()) violation = ledger();
            if (!violation.empty()) return violation;
        }
        return "";
    }

    std::string log() const {
        std::string out;
        for (const std::string& line : log_) out += "  " + line + "\n";
        return out;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    double uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(rng_);
    }
    template <typename T>
    T* any(const std::vector<T*>& items) {
        return items.empty() ? nullptr
                             : items[static_cast<size_t>(pick(0, static_cast<int>(items.size()) - 1))];
    }
    void note(const std::string& line) {
        log_.push_back(line);
        if (log_.size() > 40) log_.pop_front();
    }

    void start() {
        session_ = std::make_unique<test::ModuleSession>();
        sim_ = &session_->sim;
        sim_->calls.logging = false;
    }
    void stop() {
        session_.reset();
        sim_ = nullptr;
    }

    // A mass for a tank: often empty or full, where the limits are tested.
    double massFor(double capacity) {
        switch (pick(0, 4)) {
            case 0:
                return 0.0;
            case 1:
                return capacity;
            default:
                return uniform(0.0, capacity);
        }
    }
    void addVessel() {
        sim::VesselSpec wanted{"V" + std::to_string(nextVessel_++),
                               "Class" + std::to_string(nextVessel_),
                               {},
                               static_cast<unsigned>(chance(0.15) ? 0 : pick(1, 3))};
        for (int t = chance(0.1) ? 0 : pick(1, 4); t > 0; --t) {
            const double capacity = chance(0.1) ? 0.0 : std::pow(10.0, uniform(-1.0, 5.0));
            wanted.tanks.push_back({capacity, massFor(capacity)});
        }
        sim::VesselRecord& v = sim_->addVessel(wanted);
        for (const sim::Tank& t : wanted.tanks) expected_ += t.mass;
        peak_ = std::max(peak_, std::fabs(expected_));
        ++roundings_;
        note("add vessel " + v.name + " (" + std::to_string(wanted.tanks.size()) + " tanks, " +
             std::to_string(wanted.ports) + " ports)");
    }
    // The first of the simulator's display ids that no display has: a saved file names them so.
    std::string freeDisplayId() {
        for (const char* id : {"Left", "Right", "3", "4", "5", "6"}) {
            if (!sim_->findDisplay(id)) return id;
        }
        return "12";
    }
    void addDisplay() {
        sim::VesselRecord* v = any(sim_->vessels());
        if (!v || sim_->displays().size() >= kMaxDisplays) return;
        static constexpr unsigned kSizes[][2] = {{512, 512}, {256, 200}, {1, 1}, {37, 23}};
        const auto& size = kSizes[pick(0, 3)];
        sim::Display& d = sim_->addDisplay(freeDisplayId(), *v, size[0], size[1]);
        const bool open = chance(0.85);
        if (open) d.openMode(kModeName);
        note("add display " + d.name() + " on " + v->name + (open ? ", mode open" : ""));
    }
    void dockRandom() {
        for (int attempt = 0; attempt < 4; ++attempt) {
            sim::VesselRecord* a = any(sim_->vessels());
            sim::VesselRecord* b = any(sim_->vessels());
            if (!a || !b || a->ports.empty() || b->ports.empty()) continue;
            const unsigned pa = static_cast<unsigned>(pick(0, static_cast<int>(a->ports.size()) - 1));
            const unsigned pb = static_cast<unsigned>(pick(0, static_cast<int>(b->ports.size()) - 1));
            if (sim_->dock(*a, pa, *b, pb)) {
                note("dock " + a->name + "." + std::to_string(pa) + " " + b->name + "." + std::to_string(pb));
                return;
            }
        }
    }

    double stepLength() {
        switch (pick(0, 29)) {
            case 0:
                return 0.0;
            case 1:
                return uniform(0.0, 1e-6);
            case 2:
                return uniform(1e3, 1e9);
            case 3:
                return std::numeric_limits<double>::max();
            case 4:
                return -uniform(0.0, 100.0);
            case 5:
                return chance(0.5) ? kInf : -kInf;
            case 6:
                return std::numeric_limits<double>::quiet_NaN();
            default:
                return std::pow(10.0, uniform(-3.0, 1.5));
        }
    }

    // Propellant bookkeeping over the whole sequence: what is in the tanks is what was there,
    // less what was vented and what left with removed vessels, to a few ulps per step.
    std::string ledger() {
        // Rounding is relative to the largest total the ledger has carried: propellant that left
        // with a vessel was subtracted at that magnitude.
        // Summing the tanks rounds once per tank as well.
        const invariants::Masses now = invariants::snapshot(*sim_);
        const double total = invariants::total(now);
        peak_ = std::max({peak_, total, std::fabs(expected_)});
        const double roundings = static_cast<double>(roundings_ + now.size() + 1);
        const double tolerance = roundings * 4.0 * std::numeric_limits<double>::epsilon() * peak_;
        if (!(std::fabs(total - expected_) <= tolerance)) {
            return "propellant total " + std::to_string(total) + " where " + std::to_string(expected_) +
                   " was expected";
        }
        return "";
    }

    // An action that must move no propellant.
    template <typename Action>
    std::string still(const std::string& what, Action&& action) {
        note(what);
        const invariants::Masses before = invariants::snapshot(*sim_);
        const int64_t brushes = sim::GdiObjects::live();
        action();
        std::string v = invariants::nothingMoved(before);
        if (v.empty()) v = invariants::brushesDeleted(brushes);
        return v;
    }

    std::string randomAction() {
        sim::Display* d = any(sim_->displays());
        const std::string on = d ? " on " + d->name() : "";
        const int kind = pick(0, 99);
        if (kind < 8) return pilot(d);
        if (kind < 36) {  // keys, the rate keys most often, so that transfers run
            struct Weighted {
                DWORD key;
                int weight;
            };
            static constexpr Weighted kKeys[] = {
                {kKeyMode, 10},       {kKeyRateUp, 30},  {kKeyRateDown, 5}, {kKeyTargetTank, 10},
                {kKeySourceTank, 15}, {kKeyDockPort, 8}, {kKeyHelp, 4},     {0x21, 3}};
            int roll = pick(0, 84);
            DWORD key = 0;
            for (const Weighted& w : kKeys) {
                if (key == 0 && roll < w.weight) key = w.key;
                roll -= w.weight;
            }
            return still("key " + std::to_string(key) + on, [&] {
                if (d) d->key(key);
            });
        }
        if (kind < 40) {
            const int button = pick(-1, 7);
            const int event = pick(0, 5);
            return still("button " + std::to_string(button) + " event " + std::to_string(event) + on, [&] {
                if (d) d->button(button, event);
            });
        }
        if (kind < 74) return step();
        if (kind < 86) {
            return still("redraw" + on, [&] {
                sim::RecordingSurface surface(8, false);
                if (d) d->repaint(&surface);
            });
        }
        if (kind < 90) return still("dock", [&] { dockRandom(); });
        if (kind < 93) {
            sim::VesselRecord* a = any(sim_->vessels());
            return still("undock", [&] {
                if (!a || a->ports.empty()) return;
                const unsigned port = static_cast<unsigned>(pick(0, static_cast<int>(a->ports.size()) - 1));
                if (sim_->undock(*a, port)) note("  " + a->name + "." + std::to_string(port) + " undocked");
            });
        }
        if (kind < 94) return removeVessel();
        if (kind < 98) return displays();
        return saveAndMaybeLoad();
    }

    // What a pilot does to start a transfer: a mode, a port, the tanks, then the rate up.
    std::string pilot(sim::Display* d) {
        return still("pilot" + (d ? " on " + d->name() : ""), [&] {
            if (!d) return;
            const int modeKeys = pick(0, 3), portKeys = pick(0, 2);
            test::pressOnTheStatusPage(*d, [&] {
                for (int i = modeKeys; i > 0; --i) d->key(kKeyMode);
                for (int i = portKeys; i > 0; --i) d->key(kKeyDockPort);
            });
            for (int i = pick(0, 2); i > 0; --i) d->key(kKeyTargetTank);
            for (int i = pick(1, 3); i > 0; --i) d->key(kKeySourceTank);
            for (int i = pick(1, 3); i > 0; --i) d->key(kKeyRateUp);
            note("  mode " + std::to_string(transferState.pumpMode) + ", rate " +
                 std::to_string(transferState.pumpRate));
        });
    }

    std::string step() {
        const double dt = stepLength();
        note("step " + std::to_string(dt) + " (mode " + std::to_string(transferState.pumpMode) + ", rate " +
             std::to_string(transferState.pumpRate) + ")");
        const invariants::Masses before = invariants::snapshot(*sim_);
        const int32_t mode = transferState.pumpMode;
        const sim::VesselRecord* target =
            transferState.targetVessel ? sim_->record(transferState.targetHandle) : nullptr;
        double vented = 0.0;
        if (transferState.pumpRate != 0) ++totals_.runningSteps;
        sim_->step(dt);
        ++totals_.steps;
        ++roundings_;
        if (!invariants::changes(before).empty()) ++totals_.movingSteps;
        std::string v = invariants::stepConserved(before, mode, target, transferState.targetTank, vented);
        expected_ -= vented;
        totals_.vented += vented;
        return v;
    }

    std::string removeVessel() {
        sim::VesselRecord* v = any(sim_->vessels());
        if (!v) return "";
        note("remove " + v->name);
        double carried = 0.0;
        for (const sim::Tank& t : v->tanks) carried += t.mass;
        const invariants::Masses before = invariants::snapshot(*sim_);
        peak_ = std::max(peak_, std::fabs(expected_));
        sim_->removeVessel(*v);
        ++totals_.removals;
        expected_ -= carried;
        ++roundings_;
        std::string violation = invariants::nothingMoved(before);
        // Keep the sequence going with something to pump between.
        if (violation.empty() && sim_->vessels().size() < 2) addVessel();
        return violation;
    }

    std::string displays() {
        sim::Display* d = any(sim_->displays());
        switch (pick(0, 3)) {
            case 0:
                return still("add display", [&] { addDisplay(); });
            case 1:
                return still("close mode" + (d ? " on " + d->name() : ""), [&] {
                    if (d) d->closeMode();
                });
            case 2:
                return still("open mode" + (d ? " on " + d->name() : ""), [&] {
                    if (d) d->openMode(kModeName);
                });
            default:
                return still("remove display" + (d ? " " + d->name() : ""), [&] {
                    if (d) sim_->removeDisplay(*d);
                });
        }
    }

    // A save asks every instrument for its block and changes nothing; the loaded scenario then
    // has the same vessels with the same masses. Loading either restarts the simulation with
    // the module loaded anew, or ends the session and starts the next with the module still
    // loaded, as a pilot does from the simulator's Launchpad.
    std::string saveAndMaybeLoad() {
        note("save");
        ++totals_.saves;
        const invariants::Masses before = invariants::snapshot(*sim_);
        // A vessel removed since the last step or redraw is dropped by whatever looks at the
        // state next, the save included; beyond that the save changes nothing.
        dropRemovedVessels();
        const TransferState stateBefore = transferState;
        const sim::ScenarioDescription captured = sim::captureScenario(*sim_);
        if (std::string v = invariants::nothingMoved(before); !v.empty()) return v;
        if (!(transferState == stateBefore)) return "the save changed the transfer state";
        if (std::string v = invariants::all(*sim_); !v.empty()) return v;
        if (chance(0.4)) return "";

        // The file keeps each level to six decimals: those are the masses a load gives back.
        test::setSavedLevels(*sim_);
        std::map<std::string, std::vector<double>> saved;
        for (sim::VesselRecord* v : sim_->vessels()) {
            for (const sim::Tank& t : v->tanks) saved[v->name].push_back(t.mass);
        }
        std::string error;
        const std::optional<sim::ScenarioDescription> parsed =
            sim::parseScenario(sim::formatScenario(captured), "saved", error, test::classesOf(*sim_));
        if (!parsed) return "the saved scenario does not parse: " + error;
        const bool restart = chance(0.5);
        note(restart ? "load, module loaded anew" : "load as the next session");
        ++totals_.loads;
        if (restart) {
            stop();
            start();
        } else {
            sim_->endSession();
        }
        if (!sim::applyScenario(*parsed, *sim_, error)) return "the saved scenario does not load: " + error;
        std::map<std::string, std::vector<double>> loaded;
        for (sim::VesselRecord* v : sim_->vessels()) {
            for (const sim::Tank& t : v->tanks) loaded[v->name].push_back(t.mass);
        }
        if (loaded != saved) return "the loaded masses differ from the saved ones";
        // The ledger was checked before the save; the loaded total starts it afresh.
        expected_ = invariants::total(invariants::snapshot(*sim_));
        roundings_ = 0;
        peak_ = 1.0;
        return "";
    }

    Totals& totals_;
    std::mt19937_64 rng_;
    std::unique_ptr<test::ModuleSession> session_;
    sim::Simulation* sim_ = nullptr;
    std::deque<std::string> log_;
    int nextVessel_ = 1;
    double expected_ = 0.0;   // kg the tanks should hold
    double peak_ = 1.0;       // kg, the largest total the ledger has carried
    uint64_t roundings_ = 0;  // steps, additions and removals since the ledger was exact
};

// What the random sequences and the fuzzers found, kept as plain cases.
class RegressionTest : public test::SimTest {
protected:
    // Cross-feed from tank 1 into tank 0 at Low, one long step.
    const sim::VesselRecord& pump(sim::Tank receiving, sim::Tank giving) {
        sim::VesselRecord& v = test::addVessel(sim, "Ship", {receiving, giving});
        test::setUpFor(v);
        transferState.sourceTank = 1;
        transferState.pumpRate = 1;
        pumpStep(1000.0);
        return v;
    }
};

TEST_F(RegressionTest, AFilledTankHoldsExactlyItsCapacity) {
    // 0.03 + (0.3 - 0.03) rounds to one ulp above 0.3.
    const sim::VesselRecord& v = pump({0.3, 0.03}, {1000, 500});
    EXPECT_EQ(v.tanks[0].mass, 0.3);
    EXPECT_NEAR(v.tanks[0].mass + v.tanks[1].mass, 500.03, 1e-12);
    EXPECT_EQ(transferState.pumpRate, 0);
}

TEST_F(RegressionTest, AGivingTankEmptiedByTheRoomLeftIsNotDrawnBelowZero) {
    // The room 0.3 - 0.29 rounds to more than the 0.01 the giving tank holds.
    const sim::VesselRecord& v = pump({0.3, 0.29}, {1000, 0.01});
    EXPECT_EQ(v.tanks[1].mass, 0.0);
    EXPECT_FALSE(std::signbit(v.tanks[1].mass));
    EXPECT_EQ(v.tanks[0].mass, 0.3);
    EXPECT_EQ(transferState.pumpRate, 0);
}

TEST(InvariantRegressionTest, ACrossFeedBlockNamingAnotherVesselMovesNothingBetweenThem) {
    // Found by the scenario-block fuzzer: the block of a hand-edited file names an undocked
    // vessel as the cross-feed source.
    test::ModuleSession session;
    sim::Simulation& sim = session.sim;
    sim::VesselRecord& ship = test::addVessel(sim, "Ship", {{1000, 250}, {500, 500}}, 2);
    sim::VesselRecord& gone = test::addVessel(sim, "Gone", {{300, 1}, {300, 300}}, 1);
    sim::Display& d = sim.addDisplay("Main", ship, 512, 512);
    ASSERT_TRUE(d.openMode(kModeName));
    sim::ScenarioBlock block({"PUMPMODE 0", "PUMPRATE 3", "SOURCETANK 1:Gone"});
    d.readStatus(block);
    ASSERT_EQ(transferState.sourceVessel, test::iface(gone));
    pumpStep(1.0);
    EXPECT_EQ(ship.tanks[0].mass, 250.0);
    EXPECT_EQ(gone.tanks[1].mass, 300.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    clearTransferState();
}

TEST(InvariantTest, RandomSequencesKeepTanksPropellantStateAndHostCallsSound) {
    // A fixed seed, so that a failure comes back in the next run; CI's long run gives random ones.
    const auto [seed, first, count] =
        test::seededRun("invariant test", "KESTRANE_INVARIANT", "SEQUENCES", 2000);

    Totals totals;
    for (uint64_t i = first; i < first + count; ++i) {
        clearTransferState();
        Sequence sequence(seed, i, totals);
        ++totals.sequences;
        const std::string violation = sequence.run(100);
        ASSERT_EQ(violation, "") << "seed " << seed << ", sequence " << i
                                 << " (repeat with KESTRANE_INVARIANT_SEED=" << seed
                                 << " KESTRANE_INVARIANT_FIRST=" << i
                                 << " KESTRANE_INVARIANT_SEQUENCES=1); last actions:\n"
                                 << sequence.log();
    }
    clearTransferState();
    std::printf("invariant test: %" PRIu64 " sequences, %" PRIu64 " actions, %" PRIu64 " time steps (%" PRIu64
                " with the pump on, %" PRIu64 " moved propellant), %" PRIu64 " saves, %" PRIu64
                " loads, %" PRIu64 " vessels removed, %.1f kg vented\n",
                totals.sequences, totals.actions, totals.steps, totals.runningSteps, totals.movingSteps,
                totals.saves, totals.loads, totals.removals, totals.vented);
    // A run in which hardly anything moved would have tested little.
    if (totals.sequences >= 100) {
        EXPECT_GT(totals.movingSteps * 40, totals.steps);
    }
}

}  // namespace
